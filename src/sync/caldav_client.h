// The CalDAV requests the sync makes, over any HTTP transport: discovery of the collection, the
// listing of what changed, fetching entries, and conditional writes. Every reply is untrusted:
// sizes are limited by the transport, bodies read by the fuzzed readers.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class TransportError {
    kNone,
    kResolve,     // the host name has no address
    kConnect,     // refused, unreachable: the server is down
    kTimeout,     // no answer in time
    kCut,         // the connection closed in the middle of a request or a reply
    kCertificate, // the server's certificate was refused
    kRedirect,    // a redirect to another scheme or host, which is never followed
    kTooLarge,    // the reply was longer than the request allowed
};

struct HttpHeader {
    std::string name;
    std::string value;
};

struct HttpRequest {
    std::string method;
    std::string url;
    std::vector<HttpHeader> headers;
    std::string body;
};

struct HttpResponse {
    TransportError error = TransportError::kNone;
    int status = 0;
    std::vector<HttpHeader> headers;
    std::string body;

    // The first header of that name, in any case; empty when there is none.
    std::string Header(std::string_view name) const;
};

// One connection's worth of HTTP: the implementation keeps it alive between requests, follows
// redirects within the same scheme and host only, adds the credentials for the host they were
// given for, and gives up on any call after its timeout.
class HttpTransport {
  public:
    virtual ~HttpTransport() = default;
    virtual HttpResponse Send(const HttpRequest& request, std::size_t maxBody) = 0;
    // Requests that do not depend on one another, each answered in its own place as Send would
    // answer it, in any order, some at the same time where the transport can: a server that waits
    // on each reply's acknowledgement costs one wait for several. Here, one after another. A request
    // not yet sent when `stop` is set is answered kCut, unsent.
    virtual std::vector<HttpResponse> SendAll(const std::vector<HttpRequest>& requests, std::size_t maxBody,
                                              const std::atomic<bool>* stop = nullptr);
};

// What a sync run ended with, as the status line and the tray say it.
enum class SyncStatus {
    kOk,
    kOffline,        // no connection: DNS, refused, unreachable
    kTimeout,        // the server answers too slowly
    kCut,            // a connection closed in the middle
    kCertificate,    // the server's certificate was refused
    kRedirect,       // sent to another host or scheme
    kUnauthorized,   // 401: user name or password
    kForbidden,      // 403
    kCollectionGone, // 404 of the collection
    kConflict,       // 409
    kTooLarge,       // 413, or an entry too large to read
    kServerError,    // 5xx
    kServerFull,     // 507
    kBadReply,       // a malformed multistatus, or something no CalDAV server says
    kNoCalendar,     // the address names no CalDAV server, or it cannot hold a journal
};

// In plain words, for the status line.
std::string_view DescribeSyncStatus(SyncStatus status);
// True when trying again changes nothing until the user acts (password, address, certificate):
// shown once, not on every try.
bool NeedsUser(SyncStatus status);
// Seconds to wait before the next automatic try after `failures` failed runs in a row (from 1).
int BackoffSeconds(SyncStatus status, int failures);
// The status an HTTP reply or its transport failure stands for; kOk for 2xx.
SyncStatus StatusOfResponse(const HttpResponse& response);

// Replies longer than these are cut off by the transport and refused.
inline constexpr std::size_t kMaxListingBytes = 64u << 20;
inline constexpr std::size_t kMaxSmallReplyBytes = 1u << 20;
inline constexpr std::size_t kMultigetBatch = 50;
// Pages of one sync listing followed at most (a server that pages its answer marks it with 507).
inline constexpr int kMaxSyncPages = 1000;

inline constexpr char kCollectionName[] = "Quillidar";

struct MemberChange {
    std::string href; // a path on the server, as the server wrote it
    std::string etag; // empty for a removed member
    bool removed = false;
};

struct Listing {
    std::vector<MemberChange> changes;
    std::string token;      // the new sync token; empty when the server offers none
    bool complete = false;  // every member is listed, so one missing from it is gone
    bool etagsOnly = false; // the server answered no sync report: a PROPFIND listed the ETags
};

struct FetchedEntry {
    std::string href;
    std::string etag;
    std::optional<std::string> data; // nullopt: not there (removed), or too large (tooLarge)
    bool tooLarge = false;           // beyond what any reply or reader here takes: so until it changes
    bool unreadable = false;         // no reply that held it could be read, even alone: perhaps next time
};

// One conditional write of a member, as Put or Delete makes it.
struct MemberWrite {
    std::string url;
    std::optional<std::string> body; // the new resource; nullopt: DELETE
    std::optional<std::string> etag; // If-Match; nullopt with a body: If-None-Match: * (a new resource)
};

struct MemberWritten {
    SyncStatus status = SyncStatus::kOk;
    int httpStatus = 0; // the reply's, 0 when none came (412: another device got there first)
    std::string etag;   // the ETag a PUT's reply gave, if any
};

// Writes carried out at the same time, at most this many. Under Wine each write on a kept-alive
// connection waits out the server's delayed acknowledgement (about 45 ms), so the push's pace is this
// many writes per wait; more would ask too much of a small server at once.
inline constexpr std::size_t kWritesAtOnce = 8;

class CalDavClient {
  public:
    explicit CalDavClient(HttpTransport& transport) : m_transport(transport) {}

    // Finds the user's collection of that display name that holds journals, or makes it; from an
    // address that names the server, a principal, a calendar home or the collection itself.
    SyncStatus Discover(std::string_view serverUrl, std::string& collectionUrl,
                        std::string_view displayName = kCollectionName);
    // RFC 6578: the members changed since the token (all of them for an empty token). A server
    // without sync, or one that no longer knows the token, gets a PROPFIND of every ETag instead.
    SyncStatus ListChanges(const std::string& collectionUrl, const std::string& token, Listing& listing);
    // PROPFIND Depth 1 of every member's ETag.
    SyncStatus ListEtags(const std::string& collectionUrl, Listing& listing);
    // calendar-multiget of the hrefs, in batches; every href asked for gets an entry. A batch whose
    // reply is too large or cannot be read is asked for again in halves, down to single entries;
    // one that fails alone comes back tooLarge or unreadable, and the others are read.
    SyncStatus Fetch(const std::string& collectionUrl, const std::vector<std::string>& hrefs,
                     std::vector<FetchedEntry>& fetched);
    // The ETag of one member (PROPFIND Depth 0); nullopt when the server has no such member.
    SyncStatus EtagOf(const std::string& url, std::optional<std::string>& etag);
    // PUT with If-Match: etag, or If-None-Match: * when etag is nullopt (a new resource). httpStatus
    // is the reply's (412 when another device got there first); newEtag the ETag it gave, if any.
    SyncStatus Put(const std::string& url, const std::string& body, const std::optional<std::string>& etag,
                   int& httpStatus, std::string& newEtag);
    // DELETE with If-Match.
    SyncStatus Delete(const std::string& url, const std::string& etag, int& httpStatus);
    // Writes of different members, sent together (HttpTransport::SendAll); each gets its own
    // result, in the order given, whatever became of the others.
    std::vector<MemberWritten> WriteAll(const std::vector<MemberWrite>& writes,
                                        const std::atomic<bool>* stop = nullptr);

    // The URL of a member's href (a path, or a whole URL of the same origin); empty when the href
    // points to another origin, which is never followed.
    static std::string UrlOfHref(const std::string& collectionUrl, std::string_view href);
    // The path of a URL: "/dav/cal/" of "https://h:8443/dav/cal/".
    static std::string PathOfUrl(std::string_view url);

    int Requests() const { return m_requests; }

  private:
    HttpResponse Send(std::string method, const std::string& url, std::vector<HttpHeader> headers,
                      std::string body, std::size_t maxBody);
    // With `each`, the responses are handed to it as they are read rather than kept in the reply.
    SyncStatus Propfind(const std::string& url, int depth, std::string_view props, struct Multistatus& reply,
                        const std::function<void(struct DavResponse&)>& each = {});
    // The calendar home an address leads to (a principal, the well-known address), or the
    // collection itself when the address names it (home left empty).
    SyncStatus FindHome(const std::string& start, std::string& home, std::string& collectionUrl);
    // The home's journal collection of that display name, made when there is none.
    SyncStatus FindOrMake(const std::string& homeUrl, std::string_view displayName,
                          std::string& collectionUrl);
    SyncStatus FetchSplitting(const std::string& collectionUrl, const std::vector<std::string>& hrefs,
                              std::size_t at, std::size_t end, std::vector<FetchedEntry>& fetched);

    HttpTransport& m_transport;
    int m_requests = 0;
};
