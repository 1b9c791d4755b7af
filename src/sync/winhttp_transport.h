// HTTP for the sync over the system's WinHTTP, loaded from the system folder at run time so the
// programs go on importing only KnownDLLs.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "sync/caldav_client.h"

struct TransportOptions {
    std::string url;       // any URL of the server: its origin is the only one requests go to
    std::string user;      // UTF-8; empty: no credentials are sent
    std::string password;  // UTF-8; sent only to url's origin
    int timeoutMs = 30000; // per connect, send and receive
    // Per request, redirects included: a server that trickles its reply a byte at a time never
    // trips the per-operation timeouts, and would hold the run for ever.
    int deadlineMs = 300000;
};

class WinHttpTransport final : public HttpTransport {
  public:
    // nullptr, and why, when the URL is refused (not https, or http to anything but a loopback
    // address; no host) or WinHTTP cannot be had.
    static std::unique_ptr<WinHttpTransport> Open(const TransportOptions& options, SyncStatus& why);
    ~WinHttpTransport() override;
    HttpResponse Send(const HttpRequest& request, std::size_t maxBody) override;
    // Four at a time, each on its own thread and connection, each with its own deadline.
    std::vector<HttpResponse> SendAll(const std::vector<HttpRequest>& requests, std::size_t maxBody,
                                      const std::atomic<bool>* stop = nullptr) override;
    // A request past its deadline ends with kTimeout, and a write refused for its password with the
    // server's 401, even where the server closed on the unsent rest of the body.
    // From any thread: the call in flight and every later one end at once with kCut, so a sign-out
    // never waits on a slow server.
    void Cancel();

  private:
    struct Impl;
    explicit WinHttpTransport(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_impl;
};
