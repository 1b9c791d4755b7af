// A CalDAV server in memory, reached through the HTTP transport seam: one user, one calendar home,
// ETags, RFC 6578 sync tokens, and faults on demand (cut connections, failing statuses, another
// device writing just before a PUT lands).
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "sync/caldav_client.h"

class FakeCalDavServer final : public HttpTransport {
  public:
    static constexpr char kOrigin[] = "http://127.0.0.1:5232";
    static constexpr char kHome[] = "/cal/user/";

    struct Resource {
        std::string data;
        std::string etag;
    };

    // A fault for the request `after` requests from now (0: the next one).
    struct Fault {
        int after = 0;
        TransportError error = TransportError::kNone; // kCut: see applyFirst
        int status = 0;                               // answered instead, the request not carried out
        bool applyFirst = false;                      // with kCut: the write is done, its reply lost
        std::string body;                             // with status 207: a reply of these bytes
    };

    HttpResponse Send(const HttpRequest& request, std::size_t maxBody) override;
    // The requests of a batch carried out in the order `reorder` gives (as they arrive from
    // connections of their own), else in the order sent; each batch's size is kept in `batches`.
    std::vector<HttpResponse> SendAll(const std::vector<HttpRequest>& requests, std::size_t maxBody,
                                      const std::atomic<bool>* stop = nullptr) override;

    // Another client writes (a phone): no preconditions, a new ETag, the change in the sync log.
    void Write(const std::string& path, std::string data);
    void Remove(const std::string& path);
    // The collection deleted and made again under the same name: empty, its old tokens unknown, or
    // (oldTokensListNothing) taken while it is still empty, listing nothing, as a server does whose
    // tokens name the content (every empty collection has the same one). path: where it is made
    // again (another client's choice); empty: not made again, so the next discovery makes it.
    void Recreate(bool oldTokensListNothing = false, const std::string& path = "same") {
        m_resources.clear();
        m_log.clear();
        m_lenientTokens = oldTokensListNothing;
        ++m_epoch;
        if (path != "same") {
            m_collection = path;
        }
    }
    const std::map<std::string, Resource>& Resources() const { return m_resources; }
    std::string CollectionPath() const { return m_collection; }

    bool supportsSync = true;
    std::size_t pageSize = 0; // when set, sync listings come in pages this long, marked by a 507
    bool etagOnPut = true;
    bool needsAuth = false; // every request answered 401
    std::vector<Fault> faults;
    // Runs once just before the next PUT or DELETE is carried out, with its path: another device
    // that gets there first.
    std::function<void(const std::string&)> beforeWrite;
    int writes = 0; // PUTs and DELETEs carried out
    std::function<std::vector<std::size_t>(std::size_t count)> reorder;
    std::vector<std::size_t> batches;
    // Asked first for every request that passed the faults: true when it answered in `reply`
    // instead of the server (a proxy that refuses large replies, one entry no reader takes).
    std::function<bool(const HttpRequest&, HttpResponse& reply)> answer;

  private:
    HttpResponse Handle(const HttpRequest& request);
    HttpResponse Propfind(const std::string& path, const HttpRequest& request);
    HttpResponse Report(const std::string& path, const HttpRequest& request);
    void Changed(const std::string& path);

    std::string m_collection;         // empty until MKCALENDAR
    std::string m_name = "Quillidar"; // its display name, as MKCALENDAR gave it
    std::map<std::string, Resource> m_resources;
    std::vector<std::string> m_log; // path changed at each revision, from revision 1
    int m_etags = 0;
    int m_epoch = 0; // in every token, so a collection made again knows none of the old ones
    bool m_lenientTokens = false;
};
