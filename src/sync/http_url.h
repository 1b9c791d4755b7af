// The pieces of an http(s) URL the transport decides by: which origin a request goes to, whether
// plain http is allowed there, where a redirect leads, and the Basic credentials for the origin.
#pragma once

#include <optional>
#include <string>
#include <string_view>

struct HttpUrl {
    bool secure = true;
    std::string host; // lower case; an IPv6 address without its brackets
    int port = 443;
    std::string path; // from the first '/', with the query; "/" when the URL has none

    // Scheme, host and port: what a password and a redirect are held to.
    bool SameOrigin(const HttpUrl& other) const {
        return secure == other.secure && host == other.host && port == other.port;
    }
};

// nullopt for anything but an absolute http or https URL with a host, and for one that carries a
// user name or password (credentials never travel inside the address).
std::optional<HttpUrl> ParseHttpUrl(std::string_view url);

// "localhost", 127.0.0.0/8 in dotted decimal, or ::1: the only hosts plain http may go to.
bool IsLoopbackHost(std::string_view host);

// Where a Location header leads from `base`: an absolute URL, a path, or a path relative to base's
// folder. nullopt when it cannot be read.
std::optional<HttpUrl> ResolveLocation(const HttpUrl& base, std::string_view location);

// The value of an Authorization header for Basic credentials (RFC 7617, UTF-8).
std::string BasicAuthorization(std::string_view user, std::string_view password);
