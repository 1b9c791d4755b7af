// The WebDAV multistatus replies (PROPFIND, REPORT) as plain data, read from XML events.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The properties a response's successful propstats hold.
struct DavProps {
    std::optional<std::string> etag; // quotes kept: an ETag goes back to the server as it came
    std::optional<std::string> calendarData;
    bool calendarDataTooLong = false; // there was calendar data, beyond kMaxDavText
    std::optional<std::string> displayName;
    bool isCollection = false;
    bool isCalendar = false;
    std::string principalHref;           // current-user-principal
    std::string homeSetHref;             // calendar-home-set
    std::vector<std::string> components; // supported-calendar-component-set, upper case
};

struct DavResponse {
    std::string href;
    int status = 0; // the response's own status (a removed member of a sync report: 404); 0 when none
    DavProps props;
};

struct Multistatus {
    std::vector<DavResponse> responses;
    std::string syncToken;
    std::string error; // empty when the reply was a well-formed multistatus
};

// A reply holds at most this many responses, and no text longer than this: larger is refused.
inline constexpr std::size_t kMaxDavResponses = 200000;
inline constexpr std::size_t kMaxDavText = 4u << 20;

Multistatus ReadMultistatus(std::string_view xml);
// The same, each response handed to `each` once it is read instead of kept in `responses`: a
// listing of every member is then never held both as responses and as the caller's own list. On
// an error the responses handed on so far are to be dropped.
Multistatus ReadMultistatus(std::string_view xml, const std::function<void(DavResponse&)>& each);
// The number of "HTTP/1.1 404 Not Found"; 0 when there is none.
int StatusOfLine(std::string_view line);
