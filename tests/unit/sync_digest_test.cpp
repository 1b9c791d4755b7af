// Digest authentication's answer: MD5 against its published vectors and every padding edge, the
// answer against the published examples, and which challenges are answered at all.
#include <gtest/gtest.h>

#include "sync/http_digest.h"

namespace {

TEST(SyncDigest, Md5MatchesItsVectorsAtEveryPaddingEdge) {
    struct Case {
        std::string input;
        const char* hex;
    };
    const Case cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
        // The length's eight bytes fit after 55 and not after 56; a block ends at 64 and 120.
        {std::string(55, 'a'), "ef1772b6dff9a122358552954ad0df65"},
        {std::string(56, 'a'), "3b0c8ac703f828b04c6c197006d17218"},
        {std::string(63, 'a'), "b06521f39153d618550606be297466d5"},
        {std::string(64, 'a'), "014842d480b571495a4a0363793f7367"},
        {std::string(65, 'a'), "c743a45e0d2e6a95cb859adae0248435"},
        {std::string(119, 'a'), "8a7bd0732ed6a28ce75f6dabc90e1613"},
        {std::string(120, 'a'), "5f61c0ccad4cac44c75ff505e1f1e537"},
        {std::string(1000, 'a'), "cabe45dcc9ae5b66ba86600cca6b8ba8"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Md5Hex(c.input), c.hex) << c.input.size() << " bytes";
}

std::string ResponseOf(const std::string& authorization) {
    const std::size_t at = authorization.find("response=\"");
    return at == std::string::npos ? std::string() : authorization.substr(at + 10, 32);
}

TEST(SyncDigest, TheAnswerIsThePublishedOne) {
    struct Case {
        const char* name;
        std::vector<HttpHeader> reply;
        DigestAnswerInput in;
        const char* response;
        std::vector<const char*> parts; // what the header must also say
    };
    const Case cases[] = {
        {"the older RFC's example",
         {{"WWW-Authenticate",
           R"(Digest realm="testrealm@host.com", qop="auth,auth-int", )"
           R"(nonce="dcd98b7102dd2f0e8b11d0f600bfb0c093", opaque="5ccc069c403ebaf9f0171e9517f40e41")"}},
         {"GET", "/dir/index.html", "Mufasa", "Circle Of Life", "0a4f113b"},
         "6629fae49393a05397450978507c4ef1",
         {R"(username="Mufasa")", "qop=auth", "nc=00000001", R"(cnonce="0a4f113b")",
          R"(opaque="5ccc069c403ebaf9f0171e9517f40e41")", R"(uri="/dir/index.html")"}},
        {"the newer RFC's MD5 example",
         {{"WWW-Authenticate",
           R"(Digest realm="http-auth@example.org", qop="auth, auth-int", algorithm=MD5, )"
           R"(nonce="7ypf/xlj9XXwfDPEoM4URrv/xwf94BcCAzFZH4GiTo0v", )"
           R"(opaque="FQhe/qaU925kfnzjCev0ciny7QMkPqMAFRtzCUYo5tdS")"}},
         {"GET", "/dir/index.html", "Mufasa", "Circle of Life",
          "f2/wE4q74E6zIJEtWaHKaf5wv/H5QzzpXusqGemxURZJ"},
         "8ca523f5e9506fed4657c9700eebdbec",
         {"algorithm=MD5", R"(realm="http-auth@example.org")"}},
        {"MD5-sess",
         {{"WWW-Authenticate", R"(Digest realm="r", nonce="n", qop="auth", algorithm=MD5-sess)"}},
         {"PUT", "/c/d.ics", "me", "pw", "cn"},
         "f78f23e06208851aa76539d4ea39a3d1",
         {"algorithm=MD5-sess"}},
        {"no qop: the oldest form",
         {{"WWW-Authenticate", R"(Digest realm="r", nonce="n")"}},
         {"PROPFIND", "/", "me", "pw", "cn"},
         "5c77ffab406a145b05d5471c0b805037",
         {}},
        {"unquoted values, any case",
         {{"www-authenticate", "digest REALM=r, Nonce=n, QOP=auth, ALGORITHM=md5"}},
         {"PROPFIND", "/", "me", "pw", "cn"},
         "6b16c8e3cd032486d3ad87be0d9a0610",
         {}},
        {"Basic and Digest in one header",
         {{"WWW-Authenticate", R"(Basic realm="x", Digest realm="r", nonce="n", qop="auth")"}},
         {"PROPFIND", "/", "me", "pw", "cn"},
         "6b16c8e3cd032486d3ad87be0d9a0610",
         {}},
        {"SHA-256 first, MD5 in a second header",
         {{"WWW-Authenticate", R"(Digest realm="r", nonce="m", qop="auth", algorithm=SHA-256)"},
          {"WWW-Authenticate", R"(Digest realm="r", nonce="n", qop="auth", algorithm=MD5)"}},
         {"PROPFIND", "/", "me", "pw", "cn"},
         "6b16c8e3cd032486d3ad87be0d9a0610",
         {R"(nonce="n")"}},
        {"a quote in the realm",
         {{"WWW-Authenticate", R"(Digest realm="a\"b", nonce="n", qop="auth")"}},
         {"PROPFIND", "/", "me", "pw", "cn"},
         "0b395ce74dd745d371ee41c6cccdd1e2",
         {R"(realm="a\"b")"}},
        {"UTF-8 user and password",
         {{"WWW-Authenticate", R"(Digest realm="r", nonce="n", qop="auth")"}},
         {"PROPFIND", "/", "\xE6\x88\x91", "\xE5\xAF\x86\xE7\xA0\x81", "cn"},
         "f0ac80c6a13c57ed2d60970c2770cf40",
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<std::string> answer = AnswerDigest(c.reply, c.in);
        ASSERT_TRUE(answer.has_value());
        EXPECT_EQ(answer->rfind("Digest ", 0), 0u) << *answer;
        EXPECT_EQ(ResponseOf(*answer), c.response) << *answer;
        for (const char* part : c.parts)
            EXPECT_NE(answer->find(part), std::string::npos) << part << " in " << *answer;
    }
}

TEST(SyncDigest, WhatCannotBeAnsweredIsLeftAlone) {
    struct Case {
        const char* name;
        std::vector<HttpHeader> reply;
        const char* user;
    };
    const Case cases[] = {
        {"Basic only", {{"WWW-Authenticate", R"(Basic realm="x")"}}, "me"},
        {"no challenge at all", {{"Content-Type", "text/plain"}}, "me"},
        {"another algorithm",
         {{"WWW-Authenticate", R"(Digest realm="r", nonce="n", algorithm=SHA-256)"}},
         "me"},
        {"auth-int only", {{"WWW-Authenticate", R"(Digest realm="r", nonce="n", qop="auth-int")"}}, "me"},
        {"no nonce", {{"WWW-Authenticate", R"(Digest realm="r", qop="auth")"}}, "me"},
        {"a user name that would end the header",
         {{"WWW-Authenticate", R"(Digest realm="r", nonce="n", qop="auth")"}},
         "me\r\nX-Injected: 1"},
        {"a nonce that would",
         {{"WWW-Authenticate", "Digest realm=\"r\", nonce=\"n\x01\", qop=\"auth\""}},
         "me"},
        {"a stray sign and an unclosed quote", {{"WWW-Authenticate", R"(= Digest realm="r, nonce)"}}, "me"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(AnswerDigest(c.reply, {"PROPFIND", "/", c.user, "pw", "cn"}), std::nullopt);
    }
}

} // namespace
