// Where the transport may send a request: origins, loopback-only plain http, redirect targets, and
// the Basic credentials.
#include <gtest/gtest.h>

#include "sync/http_url.h"

namespace {

TEST(SyncHttpUrl, Parses) {
    struct Case {
        const char* url;
        bool ok;
        bool secure = false;
        const char* host = "";
        int port = 0;
        const char* path = "";
    } cases[] = {
        {"https://dav.example.org/cal/", true, true, "dav.example.org", 443, "/cal/"},
        {"HTTPS://DAV.Example.ORG", true, true, "dav.example.org", 443, "/"},
        {"http://127.0.0.1:5232/a?b=c#frag", true, false, "127.0.0.1", 5232, "/a?b=c"},
        {"https://[::1]:8443/x", true, true, "::1", 8443, "/x"},
        {"https://h:443/", true, true, "h", 443, "/"},
        {"https://h?q", true, true, "h", 443, "/?q"},
        {"https://user:pw@h/", false},
        {"https://h@evil.example/", false},
        {"ftp://h/", false},
        {"h/cal/", false},
        {"https:///cal/", false},
        {"https://h:0/", false},
        {"https://h:65536/", false},
        {"https://h:12a/", false},
        {"https://h:/", false},
        {"https://[::1/", false},
        {"https://[::1]x/", false},
        {"https://h h/", false},
    };
    for (const Case& c : cases) {
        const auto url = ParseHttpUrl(c.url);
        ASSERT_EQ(url.has_value(), c.ok) << c.url;
        if (c.ok) {
            EXPECT_EQ(url->secure, c.secure) << c.url;
            EXPECT_EQ(url->host, c.host) << c.url;
            EXPECT_EQ(url->port, c.port) << c.url;
            EXPECT_EQ(url->path, c.path) << c.url;
        }
    }
}

TEST(SyncHttpUrl, LoopbackOnly) {
    struct Case {
        const char* host;
        bool loopback;
    } cases[] = {
        {"localhost", true},       {"LocalHost", true},   {"127.0.0.1", true},
        {"127.255.3.4", true},     {"::1", true},         {"0:0:0:0:0:0:0:1", true},
        {"128.0.0.1", false},      {"127.0.0", false},    {"127.0.0.1.5", false},
        {"127.0.0.256", false},    {"127.0.0.1x", false}, {"127.0.0.1.evil.org", false},
        {"localhost.evil", false}, {"192.0.2.1", false},  {"", false},
        {"127..0.1", false},       {"::2", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsLoopbackHost(c.host), c.loopback) << c.host;
    }
}

TEST(SyncHttpUrl, RedirectTargets) {
    const HttpUrl base = *ParseHttpUrl("https://dav.example.org/cal/user/x.ics?y");
    struct Case {
        const char* location;
        bool sameOrigin;
        const char* path = ""; // when it is the same origin
    } cases[] = {
        {"/dav/", true, "/dav/"},
        {"other.ics", true, "/cal/user/other.ics"},
        {"../up/", true, "/cal/user/../up/"},
        {"https://dav.example.org:443/z", true, "/z"},
        {"https://DAV.example.org/z#f", true, "/z"},
        {"http://dav.example.org/z", false},       // scheme
        {"https://dav.example.org:8443/z", false}, // port
        {"https://evil.example/z", false},         // host
        {"//evil.example/z", false},               // host, scheme-relative
        {"https://dav.example.org@evil.example/", false},
    };
    for (const Case& c : cases) {
        const auto target = ResolveLocation(base, c.location);
        const bool same = target && target->SameOrigin(base);
        EXPECT_EQ(same, c.sameOrigin) << c.location;
        if (same) {
            EXPECT_EQ(target->path, c.path) << c.location;
        }
    }
    EXPECT_FALSE(ResolveLocation(base, ""));
}

TEST(SyncHttpUrl, BasicCredentials) {
    struct Case {
        const char* user;
        const char* password;
        const char* header;
    } cases[] = {
        {"Aladdin", "open sesame", "Basic QWxhZGRpbjpvcGVuIHNlc2FtZQ=="}, // RFC 7617
        {"test", "123\xC2\xA3", "Basic dGVzdDoxMjPCow=="},                // RFC 7617, UTF-8
        {"a", "", "Basic YTo="},
        {"ab", "", "Basic YWI6"},
        {"", "", "Basic Og=="},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(BasicAuthorization(c.user, c.password), c.header) << c.user;
    }
}

} // namespace
