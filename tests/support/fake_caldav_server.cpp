// The in-memory CalDAV server of the sync tests.
#include "fake_caldav_server.h"

#include <set>

namespace {

std::string Between(const std::string& text, const std::string& open, const std::string& close,
                    std::size_t& from) {
    const std::size_t a = text.find(open, from);
    if (a == std::string::npos) {
        from = std::string::npos;
        return {};
    }
    const std::size_t b = text.find(close, a + open.size());
    if (b == std::string::npos) {
        from = std::string::npos;
        return {};
    }
    from = b + close.size();
    return text.substr(a + open.size(), b - a - open.size());
}

std::string Escape(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '<')
            out += "&lt;";
        else if (c == '&')
            out += "&amp;";
        else if (c == '>')
            out += "&gt;";
        else
            out += c;
    }
    return out;
}

std::string Unescape(std::string text) {
    for (const auto& [from, to] : {std::pair<std::string, std::string>{"&lt;", "<"},
                                   {"&gt;", ">"},
                                   {"&quot;", "\""},
                                   {"&amp;", "&"}}) {
        for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) {
            text.replace(at, from.size(), to);
        }
    }
    return text;
}

HttpResponse Reply(int status, std::string body = {}) {
    HttpResponse r;
    r.status = status;
    r.body = std::move(body);
    return r;
}

const char kHead[] = "<?xml version=\"1.0\"?><d:multistatus xmlns:d=\"DAV:\" "
                     "xmlns:c=\"urn:ietf:params:xml:ns:caldav\">";

std::string Ok(const std::string& props) {
    return "<d:propstat><d:prop>" + props + "</d:prop><d:status>HTTP/1.1 200 OK</d:status></d:propstat>";
}

} // namespace

std::vector<HttpResponse> FakeCalDavServer::SendAll(const std::vector<HttpRequest>& requests,
                                                    std::size_t maxBody, const std::atomic<bool>* stop) {
    batches.push_back(requests.size());
    std::vector<std::size_t> order;
    if (reorder) {
        order = reorder(requests.size());
    } else {
        for (std::size_t i = 0; i < requests.size(); ++i) {
            order.push_back(i);
        }
    }
    std::vector<HttpResponse> responses(requests.size());
    for (const std::size_t i : order) {
        if (stop && stop->load()) {
            responses[i].error = TransportError::kCut;
        } else {
            responses[i] = Send(requests[i], maxBody);
        }
    }
    return responses;
}

void FakeCalDavServer::Changed(const std::string& path) {
    m_log.push_back(path);
}

void FakeCalDavServer::Write(const std::string& path, std::string data) {
    m_resources[path] = Resource{std::move(data), "\"e" + std::to_string(++m_etags) + "\""};
    Changed(path);
}

void FakeCalDavServer::Remove(const std::string& path) {
    if (m_resources.erase(path)) {
        Changed(path);
    }
}

HttpResponse FakeCalDavServer::Send(const HttpRequest& request, std::size_t maxBody) {
    std::optional<Fault> fault;
    for (auto it = faults.begin(); it != faults.end();) {
        if (it->after-- == 0) {
            fault = *it;
            it = faults.erase(it);
        } else {
            ++it;
        }
    }
    if (fault) {
        if (fault->error == TransportError::kCut && fault->applyFirst) {
            Handle(request);
            return HttpResponse{TransportError::kCut, 0, {}, {}};
        }
        if (fault->error != TransportError::kNone) {
            return HttpResponse{fault->error, 0, {}, {}};
        }
        return Reply(fault->status, fault->body);
    }
    if (needsAuth) {
        return Reply(401);
    }
    if (HttpResponse instead; answer && answer(request, instead)) {
        return instead;
    }
    HttpResponse r = Handle(request);
    if (r.body.size() > maxBody) {
        return HttpResponse{TransportError::kTooLarge, 0, {}, {}};
    }
    return r;
}

HttpResponse FakeCalDavServer::Handle(const HttpRequest& request) {
    const std::string path = CalDavClient::PathOfUrl(request.url);
    if (request.url.rfind(kOrigin, 0) != 0) {
        return HttpResponse{TransportError::kResolve, 0, {}, {}};
    }
    if (request.method == "PROPFIND") {
        return Propfind(path, request);
    }
    if (request.method == "REPORT") {
        return Report(path, request);
    }
    if (request.method == "MKCALENDAR") {
        if (path.rfind(kHome, 0) != 0 || !m_collection.empty()) {
            return Reply(405);
        }
        m_collection = path;
        std::size_t from = 0;
        const std::string name = Between(request.body, "<d:displayname>", "</d:displayname>", from);
        m_name = name.empty() ? "Quillidar" : Unescape(name);
        return Reply(201);
    }
    const bool inCollection =
        !m_collection.empty() && path.rfind(m_collection, 0) == 0 && path != m_collection;
    if (request.method == "PUT" || request.method == "DELETE") {
        if (!inCollection) {
            return Reply(404);
        }
        if (beforeWrite) {
            auto hook = std::move(beforeWrite);
            beforeWrite = nullptr;
            hook(path);
        }
        std::string ifMatch, ifNoneMatch;
        for (const HttpHeader& h : request.headers) {
            if (h.name == "If-Match")
                ifMatch = h.value;
            if (h.name == "If-None-Match")
                ifNoneMatch = h.value;
        }
        const auto it = m_resources.find(path);
        if ((ifNoneMatch == "*" && it != m_resources.end()) ||
            (!ifMatch.empty() && (it == m_resources.end() || it->second.etag != ifMatch))) {
            return Reply(412);
        }
        if (request.method == "DELETE") {
            if (it == m_resources.end()) {
                return Reply(404);
            }
            Remove(path);
            ++writes;
            return Reply(204);
        }
        Write(path, request.body);
        ++writes;
        HttpResponse r = Reply(it == m_resources.end() ? 201 : 204);
        if (etagOnPut) {
            r.headers.push_back({"ETag", m_resources[path].etag});
        }
        return r;
    }
    return Reply(405);
}

HttpResponse FakeCalDavServer::Propfind(const std::string& path, const HttpRequest& request) {
    std::string depth = "0";
    for (const HttpHeader& h : request.headers) {
        if (h.name == "Depth")
            depth = h.value;
    }
    const std::string principal =
        "<d:current-user-principal><d:href>/principals/user/</d:href></d:current-user-principal>";
    if (path == "/" || path == "/.well-known/caldav") {
        return Reply(207, std::string(kHead) + "<d:response><d:href>" + path + "</d:href>" +
                              Ok(principal + "<d:resourcetype><d:collection/></d:resourcetype>") +
                              "</d:response></d:multistatus>");
    }
    if (path == "/principals/user/") {
        return Reply(207, std::string(kHead) + "<d:response><d:href>" + path + "</d:href>" +
                              Ok(std::string("<c:calendar-home-set><d:href>") + kHome +
                                 "</d:href></c:calendar-home-set>") +
                              "</d:response></d:multistatus>");
    }
    const std::string collectionProps = "<d:resourcetype><d:collection/><c:calendar/></"
                                        "d:resourcetype><d:displayname>" +
                                        Escape(m_name) +
                                        "</d:displayname>"
                                        "<c:supported-calendar-component-set><c:comp "
                                        "name=\"VJOURNAL\"/></c:supported-calendar-component-set>";
    if (path == kHome) {
        std::string body = std::string(kHead) + "<d:response><d:href>" + path + "</d:href>" +
                           Ok("<d:resourcetype><d:collection/></d:resourcetype>") + "</d:response>";
        // Another client's calendar, which discovery must pass by.
        body += "<d:response><d:href>/cal/user/events/</d:href>" +
                Ok("<d:resourcetype><d:collection/><c:calendar/></d:resourcetype><d:displayname>Quillidar</"
                   "d:displayname>"
                   "<c:supported-calendar-component-set><c:comp "
                   "name=\"VEVENT\"/></c:supported-calendar-component-set>") +
                "</d:response>";
        if (depth == "1" && !m_collection.empty()) {
            body +=
                "<d:response><d:href>" + m_collection + "</d:href>" + Ok(collectionProps) + "</d:response>";
        }
        return Reply(207, body + "</d:multistatus>");
    }
    if (!m_collection.empty() && path == m_collection) {
        std::string body = std::string(kHead) + "<d:response><d:href>" + path + "</d:href>" +
                           Ok(collectionProps) + "</d:response>";
        if (depth == "1") {
            for (const auto& [p, r] : m_resources) {
                body += "<d:response><d:href>" + p + "</d:href>" +
                        Ok("<d:getetag>" + Escape(r.etag) + "</d:getetag>") + "</d:response>";
            }
        }
        return Reply(207, body + "</d:multistatus>");
    }
    if (const auto it = m_resources.find(path); it != m_resources.end() && depth == "0") {
        return Reply(207, std::string(kHead) + "<d:response><d:href>" + path + "</d:href>" +
                              Ok("<d:getetag>" + Escape(it->second.etag) + "</d:getetag>") +
                              "</d:response></d:multistatus>");
    }
    return Reply(404);
}

HttpResponse FakeCalDavServer::Report(const std::string& path, const HttpRequest& request) {
    if (m_collection.empty() || path != m_collection) {
        return Reply(404);
    }
    std::string body = kHead;
    if (request.body.find("sync-collection") != std::string::npos) {
        if (!supportsSync) {
            return Reply(403);
        }
        std::size_t from = 0;
        std::string token = Between(request.body, "<d:sync-token>", "</d:sync-token>", from);
        // A page's token is where its listing began, '+' and how much of it was sent.
        std::size_t sent = 0;
        if (const std::size_t plus = token.find('+'); plus != std::string::npos) {
            sent = std::stoul(token.substr(plus + 1));
            token.resize(plus);
        }
        std::size_t since = 0;
        if (!token.empty()) {
            const std::string prefix = "tok-" + std::to_string(m_epoch) + "-";
            if (m_lenientTokens && m_log.empty() && token.rfind("tok-", 0) == 0 &&
                token.rfind(prefix, 0) != 0) {
                since = 0; // an old collection's token, taken while the new one is as empty as any
            } else if (token.rfind(prefix, 0) != 0 ||
                       std::stoul(token.substr(prefix.size())) > m_log.size()) {
                return Reply(403, std::string(kHead) + "</d:multistatus>"); // valid-sync-token
            } else {
                since = std::stoul(token.substr(prefix.size()));
            }
        }
        std::set<std::string> changed(m_log.begin() + static_cast<std::ptrdiff_t>(since), m_log.end());
        if (token.empty()) {
            changed.clear();
            for (const auto& [p, r] : m_resources)
                changed.insert(p);
        }
        std::size_t place = 0;
        for (const std::string& p : changed) {
            if (place++ < sent) {
                continue;
            }
            if (pageSize != 0 && place > sent + pageSize) {
                return Reply(207, body + "<d:response><d:href>" + m_collection +
                                      "</d:href><d:status>HTTP/1.1 507 Insufficient Storage</d:status>"
                                      "</d:response><d:sync-token>" +
                                      token + "+" + std::to_string(sent + pageSize) +
                                      "</d:sync-token></d:multistatus>");
            }
            const auto it = m_resources.find(p);
            if (it == m_resources.end()) {
                body += "<d:response><d:href>" + p +
                        "</d:href><d:status>HTTP/1.1 404 Not Found</d:status></d:response>";
            } else {
                body += "<d:response><d:href>" + p + "</d:href>" +
                        Ok("<d:getetag>" + Escape(it->second.etag) + "</d:getetag>") + "</d:response>";
            }
        }
        return Reply(207, body + "<d:sync-token>tok-" + std::to_string(m_epoch) + "-" +
                              std::to_string(m_log.size()) + "</d:sync-token></d:multistatus>");
    }
    std::size_t from = 0;
    for (;;) {
        const std::string href = Unescape(Between(request.body, "<d:href>", "</d:href>", from));
        if (from == std::string::npos) {
            break;
        }
        const auto it = m_resources.find(CalDavClient::PathOfUrl(href));
        if (it == m_resources.end()) {
            body += "<d:response><d:href>" + Escape(href) +
                    "</d:href><d:status>HTTP/1.1 404 Not Found</d:status></d:response>";
        } else {
            body += "<d:response><d:href>" + Escape(href) + "</d:href>" +
                    Ok("<d:getetag>" + Escape(it->second.etag) + "</d:getetag><c:calendar-data>" +
                       Escape(it->second.data) + "</c:calendar-data>") +
                    "</d:response>";
        }
    }
    return Reply(207, body + "</d:multistatus>");
}
