// What one day's sync is to do, planned from what the run knows before any write: the three-way
// decision on the texts, and the one request that carries it out. Pure, so that every situation a
// day can be in is a row of a table; the run carries the plans out, several writes at a time.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "sync/three_way.h"

// What the server holds of one of our days, as far as the run knows.
struct RemoteDay {
    std::optional<std::string> text; // nullopt: no entry on the server
    std::string etag;
    std::string href;
    std::string newDay; // the resource's X-QUILLIDAR-NEW-DAY mark, kNoDayMark for none
};

enum class DayWrite {
    kNone,    // nothing is sent: the decision changes the note or the state only
    kCreate,  // PUT with If-None-Match: *, bearing a new upload mark
    kReplace, // PUT with If-Match: the entry's ETag
    kDelete,  // DELETE with If-Match: the entry's ETag
    kReread,  // a write is due but the entry's ETag is not known: it is read again first
};

struct DaySides {
    std::string own;                 // the note's own text, other clients' entries taken out
    std::optional<std::string> base; // the text agreed with the server; nullopt: never agreed
    std::string made;                // the mark of the resource the base was agreed with; empty: not kept
    RemoteDay remote;
};

struct DayPlan {
    DayDecision decision;
    // The base the decision was made with: dropped when the server's entry was made anew by a
    // writer that never saw it, so a plan made again after a 412 starts from the same footing.
    std::optional<std::string> base;
    DayWrite write = DayWrite::kNone;
    std::string keptMark; // kReplace: the mark the new text carries on; empty for none
};

DayPlan PlanDay(const DaySides& sides);

// A mark as this program writes it: the text's checksum, and after a '-' what tells one upload from
// another of the same words.
bool IsDayMark(std::string_view mark);
// The mark of a day this PC uploads anew: the text's checksum and a random part, so that two PCs
// uploading the same words still leave marks of their own.
std::string UploadMark(std::string_view text, std::int64_t stamp);
