// HTTP Digest authentication's answer to a server's challenge, computed here because the system's
// WinHTTP does not always give one (Wine's knows no Digest). MD5 and MD5-sess, with qop "auth" or
// the older form without qop; anything else is left to the system.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sync/caldav_client.h"

// The digest of `bytes` as 32 lower-case hex digits.
std::string Md5Hex(std::string_view bytes);

struct DigestAnswerInput {
    std::string_view method;
    std::string_view uri; // the request target as sent: path and query
    std::string_view user;
    std::string_view password;
    std::string_view cnonce; // the client's nonce, fresh for each answer
};

// The Authorization value answering the first Digest challenge among the reply's WWW-Authenticate
// headers that can be answered; nullopt when none can (another algorithm, auth-int only, no nonce,
// or a user name or value that would break the header).
std::optional<std::string> AnswerDigest(const std::vector<HttpHeader>& replyHeaders,
                                        const DigestAnswerInput& in);
