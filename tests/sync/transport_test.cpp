// The WinHTTP transport and the Credential Manager store against the real system libraries under
// Wine: keep-alive, redirects, size limits, cuts, timeouts and Cancel, with a local test server.
//   transport_test ORIGIN_PORT OTHER_PORT TLS_PORT [gtest flags]
#include <windows.h>

#include <wincred.h>

#include <algorithm>

#include <gtest/gtest.h>

#include "sync/credentials_win.h"
#include "sync/winhttp_transport.h"

namespace {

int g_originPort = 0;
int g_otherPort = 0;
int g_tlsPort = 0;

// Narrow literals are GBK in this build; the transport and the store take UTF-8.
std::string U8(std::u8string_view text) {
    return std::string(reinterpret_cast<const char*>(text.data()), text.size());
}

bool OnWine() {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
}

std::string Origin() {
    return "http://127.0.0.1:" + std::to_string(g_originPort);
}

std::unique_ptr<WinHttpTransport> OpenOrigin(int timeoutMs = 10000, std::string user = "me",
                                             std::string password = "pw") {
    SyncStatus why = SyncStatus::kOk;
    auto transport = WinHttpTransport::Open({Origin() + "/", user, password, timeoutMs}, why);
    EXPECT_TRUE(transport) << static_cast<int>(why);
    return transport;
}

HttpResponse Get(HttpTransport& transport, const std::string& path, std::size_t maxBody = 1u << 20) {
    return transport.Send({"GET", Origin() + path, {}, {}}, maxBody);
}

TEST(WinHttpTransport, OpensOnlyHttpsOrLoopback) {
    struct Case {
        std::string url;
        bool opens;
    } cases[] = {
        {"https://192.0.2.1/dav/", true}, // https is checked at the first request, not here
        {"http://127.0.0.1:1/", true},
        {"http://127.3.2.1:1/", true},
        {"http://localhost:1/", true},
        {"http://[::1]:1/", true},
        {"http://192.0.2.1/", false},
        {"http://localhost.example.org/", false},
        {"http://127.0.0.1.example.org/", false},
        {"ftp://127.0.0.1/", false},
        {"https://user:pw@192.0.2.1/", false},
        {"not a url", false},
    };
    for (const Case& c : cases) {
        SyncStatus why = SyncStatus::kOk;
        const auto transport = WinHttpTransport::Open({c.url, "me", "pw", 1000}, why);
        EXPECT_EQ(transport != nullptr, c.opens) << c.url;
        EXPECT_EQ(why == SyncStatus::kOk, c.opens) << c.url;
    }
}

TEST(WinHttpTransport, Replies) {
    struct Case {
        std::string path;
        std::size_t maxBody;
        TransportError error;
        int status;       // when there is no error
        std::string body; // its beginning, when there is no error
    } cases[] = {
        {"/echo", 1000, TransportError::kNone, 200, "conn="},
        {"/here", 1000, TransportError::kNone, 200, "conn="},   // followed within the origin
        {"/away", 1000, TransportError::kRedirect, 0, ""},      // another port
        {"/away-host", 1000, TransportError::kRedirect, 0, ""}, // another host name
        {"/loop", 1000, TransportError::kRedirect, 0, ""},      // never ends
        {"/big", 4000, TransportError::kNone, 200, "bbbb"},     // exactly the limit
        {"/big", 3999, TransportError::kTooLarge, 0, ""},       // announced beyond it
        {"/big-chunked", 4000, TransportError::kNone, 200, "cccc"},
        {"/big-chunked", 3999, TransportError::kTooLarge, 0, ""}, // found beyond it while reading
        {"/cut", 1u << 20, TransportError::kCut, 0, ""},
        {"/cut-chunked", 1u << 20, TransportError::kCut, 0, ""},
        {"/status/401", 1000, TransportError::kNone, 401, "status"},
        {"/status/507", 1000, TransportError::kNone, 507, "status"},
        {"/missing", 1000, TransportError::kNone, 404, "no"},
        {"/digest", 1000, TransportError::kNone, 200, "digest ok"}, // answered for the origin
    };
    for (const Case& c : cases) {
        const auto transport = OpenOrigin();
        ASSERT_TRUE(transport);
        const HttpResponse r = Get(*transport, c.path, c.maxBody);
        if (c.path == "/cut-chunked" && OnWine()) {
            // Wine's WinHTTP takes a connection closed between chunks for the reply's end; the
            // multistatus reader refuses what is left of an XML reply, which is all the sync reads.
            EXPECT_EQ(r.error, TransportError::kNone);
            EXPECT_EQ(r.body, std::string(1000, 'c'));
            continue;
        }
        EXPECT_EQ(r.error, c.error) << c.path << " " << c.maxBody;
        if (c.error == TransportError::kNone) {
            EXPECT_EQ(r.status, c.status) << c.path;
            EXPECT_EQ(r.body.substr(0, c.body.size()), c.body) << c.path;
        } else {
            EXPECT_TRUE(r.body.empty()) << c.path;
        }
        // The transport goes on working after any of these.
        EXPECT_EQ(Get(*transport, "/echo").status, 200) << c.path;
    }
}

TEST(WinHttpTransport, OneConnectionForManyRequests) {
    const auto transport = OpenOrigin();
    ASSERT_TRUE(transport);
    std::string first;
    for (int i = 0; i < 20; ++i) {
        const std::string method = i % 2 ? "PUT" : "PROPFIND";
        const HttpResponse r =
            transport->Send({method, Origin() + "/echo", {{"Depth", "1"}}, std::string(i * 100, 'p')}, 1000);
        ASSERT_EQ(r.status, 200);
        const std::string conn = r.body.substr(0, r.body.find(' '));
        if (first.empty()) {
            first = conn;
        }
        EXPECT_EQ(conn, first) << "request " << i;
        EXPECT_NE(r.body.find("len=" + std::to_string(i * 100) + " method=" + method), std::string::npos)
            << r.body;
    }
}

TEST(WinHttpTransport, WritesGoAsManyAtOnceAsTheSyncMakes) {
    // A server that holds each reply a while: the requests of one SendAll overlap, never more of
    // them than the sync writes at a time, and each reply comes back in its own request's place.
    const auto transport = OpenOrigin();
    ASSERT_TRUE(transport);
    for (const std::size_t n : {std::size_t{1}, kWritesAtOnce - 1, kWritesAtOnce, 2 * kWritesAtOnce + 1}) {
        std::vector<HttpRequest> requests;
        for (std::size_t i = 0; i < n; ++i) {
            requests.push_back(
                {"PUT", Origin() + "/inflight/r" + std::to_string(i), {}, std::string(500, 'p')});
        }
        const std::vector<HttpResponse> replies = transport->SendAll(requests, 1000);
        ASSERT_EQ(replies.size(), n);
        for (std::size_t i = 0; i < n; ++i) {
            EXPECT_EQ(replies[i].status, 200) << n << " " << i;
            EXPECT_EQ(replies[i].body, "r" + std::to_string(i)) << n << " " << i;
        }
        EXPECT_EQ(Get(*transport, "/inflight-max").body, std::to_string(std::min(n, kWritesAtOnce))) << n;
    }
}

TEST(WinHttpTransport, CredentialsOnlyForTheOrigin) {
    const std::string basic = "auth=Basic bWU6cOWvhueggQ=="; // me:p密码
    struct Case {
        std::string user;
        std::string path;
        std::string auth; // what the origin's /echo saw
    } cases[] = {
        {"me", "/echo", basic},
        {"me", "/here", basic}, // a redirect within the origin keeps them
        {"", "/echo", "auth=-"},
    };
    for (const Case& c : cases) {
        const auto transport = OpenOrigin(10000, c.user, U8(u8"p密码"));
        ASSERT_TRUE(transport);
        const HttpResponse r = Get(*transport, c.path);
        EXPECT_NE(r.body.find(c.auth + " "), std::string::npos) << c.path << ": " << r.body;
    }
    // Refused redirects never reached the other origin, with or without the password.
    const auto transport = OpenOrigin();
    EXPECT_EQ(Get(*transport, "/away").error, TransportError::kRedirect);
    EXPECT_EQ(Get(*transport, "/hits").body, "0");
    // And a request for another origin is never sent at all.
    const HttpResponse other =
        transport->Send({"GET", "http://127.0.0.1:" + std::to_string(g_otherPort) + "/echo", {}, {}}, 1000);
    EXPECT_EQ(other.error, TransportError::kRedirect);
    EXPECT_EQ(Get(*transport, "/hits").body, "0");
}

TEST(WinHttpTransport, ReadsHeaders) {
    const auto transport = OpenOrigin();
    const HttpResponse r = Get(*transport, "/headers");
    ASSERT_EQ(r.status, 200);
    EXPECT_EQ(r.Header("x-one"), "spaced value");
    EXPECT_EQ(r.Header("ETag"), "\"e1\"");
    EXPECT_EQ(r.Header("Content-Length"), "1");
}

TEST(WinHttpTransport, NetworkFaults) {
    // A port nothing listens on: the other server's port after it is known to be closed is not
    // certain, so a reserved one on loopback is used.
    struct Case {
        std::string url;
        int timeoutMs;
        TransportError error;
    } cases[] = {
        {Origin() + "/slow", 500, TransportError::kTimeout},
        {"http://127.0.0.1:1/", 2000, TransportError::kConnect},
        {"https://quillidar-test.invalid/", 5000, TransportError::kResolve},
        // A certificate no system trusts: refused, whatever the server would have answered.
        {"https://127.0.0.1:" + std::to_string(g_tlsPort) + "/echo", 5000, TransportError::kCertificate},
    };
    for (const Case& c : cases) {
        SyncStatus why;
        const auto transport = WinHttpTransport::Open({c.url, "", "", c.timeoutMs}, why);
        ASSERT_TRUE(transport);
        const ULONGLONG start = ::GetTickCount64();
        const HttpResponse r = transport->Send({"GET", c.url, {}, {}}, 1000);
        EXPECT_EQ(r.error, c.error) << c.url;
        EXPECT_LT(::GetTickCount64() - start, static_cast<ULONGLONG>(c.timeoutMs + 1500)) << c.url;
    }
}

TEST(WinHttpTransport, EveryRequestHasADeadline) {
    // Each byte comes well within the per-operation timeout, the whole reply never within the
    // request's deadline.
    struct Case {
        std::string path;
    } cases[] = {{"/trickle-head"}, {"/trickle-body"}, {"/slow"}};
    for (const Case& c : cases) {
        SyncStatus why;
        TransportOptions options{Origin() + "/", "", "", 2000};
        options.deadlineMs = 1500;
        const auto transport = WinHttpTransport::Open(options, why);
        ASSERT_TRUE(transport);
        const ULONGLONG start = ::GetTickCount64();
        const HttpResponse r = Get(*transport, c.path);
        EXPECT_EQ(r.error, TransportError::kTimeout) << c.path;
        EXPECT_LT(::GetTickCount64() - start, 3000u) << c.path;
        // The transport goes on working after an abandoned request.
        EXPECT_EQ(Get(*transport, "/echo").status, 200) << c.path;
    }
}

TEST(WinHttpTransport, RefusedPasswordIsA401EveryTime) {
    // The server answers 401 on the headers and closes on a body it never read: the send of the
    // body meets a reset, and the 401 must still be what the caller hears.
    for (const std::size_t size :
         {std::size_t(0), std::size_t(100), std::size_t(64u << 10), std::size_t(2u << 20)}) {
        for (int attempt = 0; attempt < 3; ++attempt) {
            const auto transport = OpenOrigin(3000, "me", "wrong");
            ASSERT_TRUE(transport);
            const HttpResponse r =
                transport->Send({"PUT", Origin() + "/refuse", {}, std::string(size, 'b')}, 1000);
            EXPECT_EQ(r.error, TransportError::kNone) << size << " try " << attempt;
            EXPECT_EQ(r.status, 401) << size << " try " << attempt;
        }
    }
    // A cut that is not a refusal stays a cut.
    const auto transport = OpenOrigin();
    EXPECT_EQ(transport->Send({"PUT", Origin() + "/cut", {}, std::string(100, 'b')}, 1u << 20).error,
              TransportError::kCut);
}

TEST(WinHttpTransport, ADigestOnlyServerIsAnsweredOnceAndAWrongPasswordStaysRefused) {
    struct Case {
        const char* user;
        const char* password;
        const char* method;
        std::size_t body;
        int status;
    };
    const Case cases[] = {
        {"me", "pw", "GET", 0, 200},       {"me", "pw", "PUT", 5000, 200}, // the body sent again
        {"me", "pw", "PROPFIND", 10, 200}, {"me", "wrong", "GET", 0, 401}, {"someone", "pw", "PUT", 100, 401},
    };
    for (const Case& c : cases) {
        const auto transport = OpenOrigin(5000, c.user, c.password);
        ASSERT_TRUE(transport);
        const HttpResponse r =
            transport->Send({c.method, Origin() + "/digest", {}, std::string(c.body, 'd')}, 1000);
        EXPECT_EQ(r.error, TransportError::kNone) << c.user << " " << c.method;
        EXPECT_EQ(r.status, c.status) << c.user << " " << c.method;
    }
}

struct SlowCall {
    WinHttpTransport* transport = nullptr;
    HttpResponse response;
    ULONGLONG took = 0;
};

DWORD WINAPI CallSlow(void* parameter) {
    auto* call = static_cast<SlowCall*>(parameter);
    const ULONGLONG start = ::GetTickCount64();
    call->response = Get(*call->transport, "/slow");
    call->took = ::GetTickCount64() - start;
    return 0;
}

TEST(WinHttpTransport, CancelEndsTheCallInFlightAndEveryLaterOne) {
    const auto transport = OpenOrigin(20000);
    ASSERT_TRUE(transport);
    SlowCall call{transport.get(), {}, 0};
    HANDLE thread = ::CreateThread(nullptr, 0, CallSlow, &call, 0, nullptr);
    ASSERT_TRUE(thread);
    ::Sleep(300);
    const ULONGLONG cancelled = ::GetTickCount64();
    transport->Cancel();
    ASSERT_EQ(::WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    ::CloseHandle(thread);
    EXPECT_EQ(call.response.error, TransportError::kCut);
    EXPECT_LT(::GetTickCount64() - cancelled, 1000u);
    EXPECT_LT(call.took, 2500u); // the server answers after 3 s
    const ULONGLONG start = ::GetTickCount64();
    EXPECT_EQ(Get(*transport, "/echo").error, TransportError::kCut);
    EXPECT_LT(::GetTickCount64() - start, 100u);
}

TEST(WinCredentialStore, RoundTrip) {
    WinCredentialStore store;
    const std::string target = "quillidar-test:http://127.0.0.1:" + std::to_string(g_originPort) + "/ me";
    struct Case {
        std::string secret;
    } cases[] = {
        {U8(u8"日记的密码 ünïcode")}, {"a"}, {std::string("nul\0inside", 10)}, {std::string(512, 'k')}};
    for (const Case& c : cases) {
        ASSERT_TRUE(store.Save(target, "me", c.secret));
        EXPECT_EQ(store.Load(target), c.secret);
    }
    EXPECT_FALSE(store.Load(target + "2"));
    EXPECT_TRUE(store.Remove(target));
    EXPECT_FALSE(store.Load(target));
    EXPECT_TRUE(store.Remove(target)); // already gone is what was asked for
    EXPECT_FALSE(store.Save(target, "me", std::string(CRED_MAX_CREDENTIAL_BLOB_SIZE + 1, 'x')));
}

} // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (argc < 4) {
        fprintf(stderr, "usage: transport_test ORIGIN_PORT OTHER_PORT TLS_PORT\n");
        return 2;
    }
    g_originPort = atoi(argv[1]);
    g_otherPort = atoi(argv[2]);
    g_tlsPort = atoi(argv[3]);
    return RUN_ALL_TESTS();
}
