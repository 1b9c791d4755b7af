// CalDAV over an HTTP transport: requests, the replies' statuses, discovery and listings.
#include "sync/caldav_client.h"

#include <map>

#include <algorithm>

#include "sync/ical_text.h"
#include "sync/multistatus.h"
#include "text/text_codec.h"

namespace {

constexpr std::string_view kXmlHead = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";

std::string Origin(std::string_view url) {
    const std::size_t scheme = url.find("://");
    if (scheme == std::string_view::npos) {
        return {};
    }
    const std::size_t path = url.find('/', scheme + 3);
    return std::string(url.substr(0, path));
}

std::string WithSlash(std::string url) {
    if (url.empty() || url.back() != '/') {
        url += '/';
    }
    return url;
}

std::string XmlEscape(std::string_view text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '&':
            out += "&amp;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

bool HoldsJournals(const DavProps& props) {
    return props.components.empty() ||
           std::find(props.components.begin(), props.components.end(), "VJOURNAL") != props.components.end();
}

} // namespace

std::string HttpResponse::Header(std::string_view name) const {
    for (const HttpHeader& h : headers) {
        if (UpperAscii(h.name) == UpperAscii(name)) {
            return h.value;
        }
    }
    return {};
}

std::string_view DescribeSyncStatus(SyncStatus status) {
    switch (status) {
    case SyncStatus::kOk:
        return "synced";
    case SyncStatus::kOffline:
        return "the server cannot be reached";
    case SyncStatus::kTimeout:
        return "the server did not answer in time";
    case SyncStatus::kCut:
        return "the connection was cut";
    case SyncStatus::kCertificate:
        return "the server's certificate was refused";
    case SyncStatus::kRedirect:
        return "the server sent the sync to another address, which was not followed";
    case SyncStatus::kUnauthorized:
        return "the user name or password was refused";
    case SyncStatus::kForbidden:
        return "the server does not allow this account to do that";
    case SyncStatus::kCollectionGone:
        return "the diary's collection is gone from the server";
    case SyncStatus::kConflict:
        return "the server refused a change as conflicting";
    case SyncStatus::kTooLarge:
        return "an entry is too large";
    case SyncStatus::kServerError:
        return "the server failed";
    case SyncStatus::kServerFull:
        return "the server has no room left";
    case SyncStatus::kBadReply:
        return "the server's reply could not be read";
    case SyncStatus::kNoCalendar:
        return "no calendar server that can hold a diary at that address";
    }
    return "unknown";
}

bool NeedsUser(SyncStatus status) {
    switch (status) {
    case SyncStatus::kCertificate:
    case SyncStatus::kRedirect:
    case SyncStatus::kUnauthorized:
    case SyncStatus::kForbidden:
    case SyncStatus::kCollectionGone:
    case SyncStatus::kNoCalendar:
        return true;
    default:
        return false;
    }
}

int BackoffSeconds(SyncStatus status, int failures) {
    if (status == SyncStatus::kOk || failures <= 0) {
        return 0;
    }
    if (NeedsUser(status) || status == SyncStatus::kServerFull) {
        return 3600; // trying sooner changes nothing; a change of the settings tries at once
    }
    // 30 s, doubling to at most half an hour: a server that is down is not hammered, and one that
    // comes back is found again soon.
    const int shift = std::min(failures - 1, 6);
    return std::min(30 << shift, 1800);
}

SyncStatus StatusOfResponse(const HttpResponse& r) {
    switch (r.error) {
    case TransportError::kNone:
        break;
    case TransportError::kResolve:
    case TransportError::kConnect:
        return SyncStatus::kOffline;
    case TransportError::kTimeout:
        return SyncStatus::kTimeout;
    case TransportError::kCut:
        return SyncStatus::kCut;
    case TransportError::kCertificate:
        return SyncStatus::kCertificate;
    case TransportError::kRedirect:
        return SyncStatus::kRedirect;
    case TransportError::kTooLarge:
        return SyncStatus::kTooLarge;
    }
    if (r.status >= 200 && r.status < 300) {
        return SyncStatus::kOk;
    }
    switch (r.status) {
    case 401:
        return SyncStatus::kUnauthorized;
    case 403:
        return SyncStatus::kForbidden;
    case 404:
    case 410:
        return SyncStatus::kCollectionGone;
    case 409:
        return SyncStatus::kConflict;
    case 413:
        return SyncStatus::kTooLarge;
    case 507:
        return SyncStatus::kServerFull;
    default:
        return r.status >= 500 ? SyncStatus::kServerError : SyncStatus::kBadReply;
    }
}

std::string CalDavClient::PathOfUrl(std::string_view url) {
    const std::string origin = Origin(url);
    if (origin.empty()) {
        return std::string(url);
    }
    const std::string_view path = url.substr(origin.size());
    return path.empty() ? "/" : std::string(path);
}

std::string CalDavClient::UrlOfHref(const std::string& collectionUrl, std::string_view href) {
    if (href.find("://") != std::string_view::npos) {
        return Origin(href) == Origin(collectionUrl) ? std::string(href) : std::string();
    }
    if (!href.empty() && href[0] == '/') {
        return Origin(collectionUrl) + std::string(href);
    }
    return WithSlash(collectionUrl) + std::string(href);
}

HttpResponse CalDavClient::Send(std::string method, const std::string& url, std::vector<HttpHeader> headers,
                                std::string body, std::size_t maxBody) {
    ++m_requests;
    HttpRequest request{std::move(method), url, std::move(headers), std::move(body)};
    return m_transport.Send(request, maxBody);
}

SyncStatus CalDavClient::Propfind(const std::string& url, int depth, std::string_view props,
                                  Multistatus& reply, const std::function<void(DavResponse&)>& each) {
    const HttpResponse r =
        Send("PROPFIND", url,
             {{"Depth", std::to_string(depth)}, {"Content-Type", "application/xml; charset=utf-8"}},
             std::string(kXmlHead) +
                 "<d:propfind xmlns:d=\"DAV:\" xmlns:c=\"urn:ietf:params:xml:ns:caldav\"><d:prop>" +
                 std::string(props) + "</d:prop></d:propfind>",
             depth == 0 ? kMaxSmallReplyBytes : kMaxListingBytes);
    const SyncStatus status = StatusOfResponse(r);
    if (status != SyncStatus::kOk) {
        return status;
    }
    reply = ReadMultistatus(r.body, each);
    return reply.error.empty() ? SyncStatus::kOk : SyncStatus::kBadReply;
}

SyncStatus CalDavClient::Discover(std::string_view serverUrl, std::string& collectionUrl,
                                  std::string_view displayName) {
    const std::string start(serverUrl);
    if (Origin(start).empty()) {
        return SyncStatus::kNoCalendar;
    }
    std::string home;
    const SyncStatus status = FindHome(start, home, collectionUrl);
    if (status != SyncStatus::kOk || home.empty()) {
        return status; // a fault, or the address was the collection itself
    }
    const std::string homeUrl = WithSlash(UrlOfHref(start, home));
    if (homeUrl == "/") {
        return SyncStatus::kRedirect;
    }
    return FindOrMake(homeUrl, displayName, collectionUrl);
}

SyncStatus CalDavClient::FindHome(const std::string& start, std::string& home, std::string& collectionUrl) {
    constexpr std::string_view kProps = "<d:current-user-principal/><d:resourcetype/><d:displayname/>"
                                        "<c:calendar-home-set/><c:supported-calendar-component-set/>";
    // The address itself may be the collection, the home or the principal.
    Multistatus reply;
    SyncStatus status = Propfind(start, 0, kProps, reply);
    if (status == SyncStatus::kUnauthorized || status == SyncStatus::kOffline ||
        status == SyncStatus::kTimeout || status == SyncStatus::kCertificate || status == SyncStatus::kCut) {
        return status;
    }
    DavProps here =
        status == SyncStatus::kOk && !reply.responses.empty() ? reply.responses[0].props : DavProps{};
    if (here.isCalendar && HoldsJournals(here)) {
        collectionUrl = WithSlash(start);
        return SyncStatus::kOk;
    }
    home = here.homeSetHref;
    std::string principal = here.principalHref;
    if (home.empty() && principal.empty()) {
        // RFC 6764: the well-known address leads to the context path (the transport follows the
        // redirect while it stays on this host).
        status = Propfind(Origin(start) + "/.well-known/caldav", 0, kProps, reply);
        if (status == SyncStatus::kUnauthorized) {
            return status;
        }
        if (status == SyncStatus::kOk && !reply.responses.empty()) {
            principal = reply.responses[0].props.principalHref;
            home = reply.responses[0].props.homeSetHref;
        }
    }
    if (home.empty() && !principal.empty()) {
        const std::string url = UrlOfHref(start, principal);
        if (url.empty()) {
            return SyncStatus::kRedirect;
        }
        status = Propfind(url, 0, "<c:calendar-home-set/>", reply);
        if (status != SyncStatus::kOk) {
            return status == SyncStatus::kCollectionGone ? SyncStatus::kNoCalendar : status;
        }
        if (!reply.responses.empty()) {
            home = reply.responses[0].props.homeSetHref;
        }
    }
    return home.empty() ? SyncStatus::kNoCalendar : SyncStatus::kOk;
}

SyncStatus CalDavClient::FindOrMake(const std::string& homeUrl, std::string_view displayName,
                                    std::string& collectionUrl) {
    Multistatus reply;
    SyncStatus status =
        Propfind(homeUrl, 1, "<d:resourcetype/><d:displayname/><c:supported-calendar-component-set/>", reply);
    if (status != SyncStatus::kOk) {
        return status;
    }
    for (const DavResponse& r : reply.responses) {
        if (r.props.isCalendar && HoldsJournals(r.props) && r.props.displayName == displayName) {
            const std::string url = UrlOfHref(homeUrl, r.href);
            if (!url.empty()) {
                collectionUrl = WithSlash(url);
                return SyncStatus::kOk;
            }
        }
    }
    // The default name keeps its short path; another one is spelled out, so two names never meet
    // on one path and no name needs escaping in it.
    const std::string url = homeUrl +
                            (displayName == kCollectionName ? std::string("quillidar")
                                                            : "quillidar-" + text_codec::HexOf(displayName)) +
                            "/";
    const HttpResponse made =
        Send("MKCALENDAR", url, {{"Content-Type", "application/xml; charset=utf-8"}},
             std::string(kXmlHead) +
                 "<c:mkcalendar xmlns:d=\"DAV:\" xmlns:c=\"urn:ietf:params:xml:ns:caldav\"><d:set><d:prop>"
                 "<d:displayname>" +
                 XmlEscape(displayName) +
                 "</d:displayname><c:supported-calendar-component-set><c:comp name=\"VJOURNAL\"/>"
                 "</c:supported-calendar-component-set></d:prop></d:set></c:mkcalendar>",
             kMaxSmallReplyBytes);
    status = StatusOfResponse(made);
    if (status == SyncStatus::kOk) {
        collectionUrl = url;
    }
    return status;
}

namespace {

// A token listing answered so that a listing of every ETag is what to do instead: no sync support,
// a token the server no longer knows, or (500) one it fails on because it made the collection again.
// A server that is really down fails that listing too.
bool TokenRefused(int status, bool hadToken) {
    switch (status) {
    case 400:
    case 403:
    case 405:
    case 409:
    case 412:
    case 501:
        return true;
    case 500:
        return hadToken;
    default:
        return false;
    }
}

} // namespace

SyncStatus CalDavClient::ListChanges(const std::string& collectionUrl, const std::string& token,
                                     Listing& listing) {
    listing = {};
    const std::string self = PathOfUrl(collectionUrl);
    // A server may answer a long listing in pages: the collection's own response says 507 and the
    // token is where the next page starts. Taking one page for the whole would make the members of
    // the others look removed.
    std::map<std::string, std::size_t> seen; // href: its place in listing.changes
    std::string from = token;
    for (int page = 0; page < kMaxSyncPages; ++page) {
        const HttpResponse r = Send(
            "REPORT", collectionUrl, {{"Depth", "1"}, {"Content-Type", "application/xml; charset=utf-8"}},
            std::string(kXmlHead) + "<d:sync-collection xmlns:d=\"DAV:\"><d:sync-token>" + XmlEscape(from) +
                "</d:sync-token><d:sync-level>1</d:sync-level><d:prop><d:getetag/></d:prop>"
                "</d:sync-collection>",
            kMaxListingBytes);
        const SyncStatus status = StatusOfResponse(r);
        if (status != SyncStatus::kOk) {
            if (page > 0) {
                return status; // the listing stopped half way: the next run starts again
            }
            if (!TokenRefused(r.status, !from.empty())) {
                return status;
            }
            break; // no sync support, or a token the server no longer knows
        }
        // Taken as they are read; what a page brought is dropped again when the page proves no
        // sync report, or unreadable.
        const std::size_t had = listing.changes.size();
        bool truncated = false;
        const Multistatus reply = ReadMultistatus(r.body, [&](DavResponse& member) {
            if (member.href.empty()) {
                return;
            }
            if (WithSlash(PathOfUrl(member.href)) == self) {
                truncated = truncated || member.status == 507;
                return;
            }
            MemberChange change;
            if (member.status == 404 || member.status == 410) {
                change = {std::move(member.href), {}, true};
            } else if (member.props.etag) {
                change = {std::move(member.href), std::move(*member.props.etag), false};
            } else {
                return;
            }
            const auto [at, fresh] = seen.emplace(change.href, listing.changes.size());
            if (fresh) {
                listing.changes.push_back(std::move(change));
            } else {
                listing.changes[at->second] = std::move(change); // a later page knows better
            }
        });
        if (!reply.error.empty()) {
            return SyncStatus::kBadReply;
        }
        if (reply.syncToken.empty()) {
            if (page > 0) {
                return SyncStatus::kBadReply;
            }
            listing.changes.resize(had);
            break; // a reply without a token is no sync report: list the ETags instead
        }
        listing.token = reply.syncToken;
        if (!truncated) {
            listing.complete = token.empty();
            return SyncStatus::kOk;
        }
        if (reply.syncToken == from) {
            return SyncStatus::kBadReply; // a page that leads nowhere
        }
        from = reply.syncToken;
    }
    if (!listing.token.empty()) {
        return SyncStatus::kBadReply; // more pages than any diary needs
    }
    // No sync support (403, 405, 501), or a token the server no longer knows (403/409 with
    // valid-sync-token): every ETag, once.
    const SyncStatus listed = ListEtags(collectionUrl, listing);
    listing.etagsOnly = token.empty();
    return listed;
}

SyncStatus CalDavClient::ListEtags(const std::string& collectionUrl, Listing& listing) {
    listing = {};
    Multistatus reply;
    const std::string self = PathOfUrl(collectionUrl);
    const SyncStatus status =
        Propfind(collectionUrl, 1, "<d:getetag/><d:resourcetype/>", reply, [&](DavResponse& member) {
            if (!member.href.empty() && !member.props.isCollection &&
                WithSlash(PathOfUrl(member.href)) != self) {
                listing.changes.push_back({std::move(member.href), member.props.etag.value_or(""), false});
            }
        });
    if (status != SyncStatus::kOk) {
        listing = {};
        return status;
    }
    listing.complete = true;
    return SyncStatus::kOk;
}

SyncStatus CalDavClient::Fetch(const std::string& collectionUrl, const std::vector<std::string>& hrefs,
                               std::vector<FetchedEntry>& fetched) {
    fetched.clear();
    fetched.reserve(hrefs.size());
    std::size_t read = 0;
    for (std::size_t at = 0; at < hrefs.size(); at += kMultigetBatch) {
        const std::size_t end = std::min(hrefs.size(), at + kMultigetBatch);
        const std::size_t had = fetched.size();
        const SyncStatus status = FetchSplitting(collectionUrl, hrefs, at, end, fetched);
        if (status != SyncStatus::kOk) {
            return status;
        }
        for (std::size_t i = had; i < fetched.size(); ++i) {
            read += !fetched[i].unreadable && !fetched[i].tooLarge;
        }
        // Not one entry of a whole batch readable, and none before it: the server's replies are
        // what cannot be read, not an entry of it.
        if (read == 0 && fetched.size() - had == end - at && end - at > 1) {
            fetched.resize(had);
            return SyncStatus::kBadReply;
        }
    }
    return SyncStatus::kOk;
}

SyncStatus CalDavClient::FetchSplitting(const std::string& collectionUrl,
                                        const std::vector<std::string>& hrefs, std::size_t at,
                                        std::size_t end, std::vector<FetchedEntry>& fetched) {
    std::string body = std::string(kXmlHead) +
                       "<c:calendar-multiget xmlns:d=\"DAV:\" xmlns:c=\"urn:ietf:params:xml:ns:caldav\">"
                       "<d:prop><d:getetag/><c:calendar-data/></d:prop>";
    for (std::size_t i = at; i < end; ++i) {
        body += "<d:href>" + XmlEscape(hrefs[i]) + "</d:href>";
    }
    body += "</c:calendar-multiget>";
    HttpResponse r =
        Send("REPORT", collectionUrl, {{"Depth", "1"}, {"Content-Type", "application/xml; charset=utf-8"}},
             std::move(body), kMaxListingBytes);
    SyncStatus status = StatusOfResponse(r);
    Multistatus reply;
    if (status == SyncStatus::kOk) {
        reply = ReadMultistatus(r.body);
        if (!reply.error.empty()) {
            status = SyncStatus::kBadReply;
        }
    }
    r.body.clear();
    r.body.shrink_to_fit();
    // A reply too large or unreadable is one entry's doing, or many entries' together: halves are
    // asked for until the one that cannot be taken stands alone, and is left out. Any other
    // failure is the connection's or the server's, and ends the fetch.
    if (status == SyncStatus::kTooLarge || status == SyncStatus::kBadReply) {
        if (end - at > 1) {
            const std::size_t middle = at + (end - at) / 2;
            const SyncStatus first = FetchSplitting(collectionUrl, hrefs, at, middle, fetched);
            return first != SyncStatus::kOk ? first
                                            : FetchSplitting(collectionUrl, hrefs, middle, end, fetched);
        }
        FetchedEntry entry;
        entry.href = hrefs[at];
        entry.tooLarge = status == SyncStatus::kTooLarge;
        entry.unreadable = status == SyncStatus::kBadReply;
        fetched.push_back(std::move(entry));
        return SyncStatus::kOk;
    }
    if (status != SyncStatus::kOk) {
        return status;
    }
    std::map<std::string, DavResponse*> byPath;
    for (DavResponse& member : reply.responses) {
        if (member.status == 0 || member.status == 200) {
            byPath.emplace(PathOfUrl(member.href), &member);
        }
    }
    for (std::size_t i = at; i < end; ++i) {
        FetchedEntry entry;
        entry.href = hrefs[i];
        if (const auto found = byPath.find(PathOfUrl(hrefs[i])); found != byPath.end()) {
            DavProps& props = found->second->props;
            entry.etag = props.etag.value_or("");
            entry.data = std::move(props.calendarData);
            entry.tooLarge = props.calendarDataTooLong;
        }
        fetched.push_back(std::move(entry));
    }
    return SyncStatus::kOk;
}

namespace {

HttpRequest RequestOfWrite(const MemberWrite& write) {
    if (!write.body) {
        return {"DELETE", write.url, {{"If-Match", write.etag.value_or("")}}, {}};
    }
    std::vector<HttpHeader> headers{{"Content-Type", "text/calendar; charset=utf-8"}};
    if (write.etag) {
        headers.push_back({"If-Match", *write.etag});
    } else {
        headers.push_back({"If-None-Match", "*"});
    }
    return {"PUT", write.url, std::move(headers), *write.body};
}

MemberWritten WrittenOfResponse(const HttpResponse& r) {
    return {StatusOfResponse(r), r.error == TransportError::kNone ? r.status : 0, r.Header("ETag")};
}

} // namespace

std::vector<HttpResponse> HttpTransport::SendAll(const std::vector<HttpRequest>& requests,
                                                 std::size_t maxBody, const std::atomic<bool>* stop) {
    std::vector<HttpResponse> responses;
    responses.reserve(requests.size());
    for (const HttpRequest& request : requests) {
        if (stop && stop->load()) {
            responses.emplace_back().error = TransportError::kCut;
        } else {
            responses.push_back(Send(request, maxBody));
        }
    }
    return responses;
}

SyncStatus CalDavClient::Put(const std::string& url, const std::string& body,
                             const std::optional<std::string>& etag, int& httpStatus, std::string& newEtag) {
    const std::vector<MemberWritten> written = WriteAll({{url, body, etag}});
    httpStatus = written[0].httpStatus;
    newEtag = written[0].etag;
    return written[0].status;
}

SyncStatus CalDavClient::Delete(const std::string& url, const std::string& etag, int& httpStatus) {
    const std::vector<MemberWritten> written = WriteAll({{url, std::nullopt, etag}});
    httpStatus = written[0].httpStatus;
    return written[0].status;
}

std::vector<MemberWritten> CalDavClient::WriteAll(const std::vector<MemberWrite>& writes,
                                                  const std::atomic<bool>* stop) {
    std::vector<HttpRequest> requests;
    requests.reserve(writes.size());
    for (const MemberWrite& write : writes) {
        requests.push_back(RequestOfWrite(write));
    }
    m_requests += static_cast<int>(requests.size());
    const std::vector<HttpResponse> responses =
        requests.size() == 1 ? std::vector<HttpResponse>{m_transport.Send(requests[0], kMaxSmallReplyBytes)}
                             : m_transport.SendAll(requests, kMaxSmallReplyBytes, stop);
    std::vector<MemberWritten> written;
    written.reserve(writes.size());
    for (std::size_t i = 0; i < writes.size(); ++i) {
        written.push_back(i < responses.size() ? WrittenOfResponse(responses[i])
                                               : MemberWritten{SyncStatus::kCut, 0, {}});
    }
    return written;
}

SyncStatus CalDavClient::EtagOf(const std::string& url, std::optional<std::string>& etag) {
    etag.reset();
    Multistatus reply;
    const SyncStatus status = Propfind(url, 0, "<d:getetag/>", reply);
    if (status == SyncStatus::kCollectionGone) {
        return SyncStatus::kOk; // not there
    }
    if (status != SyncStatus::kOk) {
        return status;
    }
    for (const DavResponse& r : reply.responses) {
        if (r.props.etag && r.status != 404 && r.status != 410) {
            etag = r.props.etag;
            break;
        }
    }
    return SyncStatus::kOk;
}
