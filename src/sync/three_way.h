// What one day's sync does, decided from three texts: the local note, the server's, and the text
// both sides last agreed on. Pure: the engine carries the decision out.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class DayAction {
    kNothing,      // both sides hold the agreed text
    kAgree,        // both hold the same new text: only the agreed text moves
    kForget,       // both sides have no note any more: the agreed text goes
    kPull,         // the server's text becomes the local note
    kPush,         // the local note goes to the server
    kJoin,         // both changed: both texts, joined, go to both sides
    kDeleteLocal,  // emptied on the server, unchanged here
    kDeleteRemote, // emptied here, unchanged on the server
};

struct DayDecision {
    DayAction action = DayAction::kNothing;
    std::string text; // what both sides hold afterwards; empty when the day has no note

    friend bool operator==(const DayDecision&, const DayDecision&) = default;
};

// nullopt, an empty text and a blank one (white space only) all mean "no note". base is nullopt
// when the two sides never agreed on the day. Nothing typed on either side is dropped: a note
// emptied on one side and edited on the other keeps the edit, and two edits are joined as the
// append merge joins them, the server's text first. Deciding again on the result gives kNothing.
DayDecision DecideDay(std::optional<std::string_view> local, std::optional<std::string_view> remote,
                      std::optional<std::string_view> base);

// The note without the parts that equal one of `parts` (whole separator-delimited runs).
std::string RemoveNoteParts(std::string_view note, const std::vector<std::string>& parts);

// The note a day shows: its own text, then each other client's entry joined as the append merge
// joins; `appended` gets the entries that added a part (one the note already held adds none).
std::string ComposeNote(std::string_view own, const std::vector<std::string>& entries,
                        std::vector<std::string>* appended = nullptr);
// The own text of a note that was shown as ComposeNote(base, entries) and may have been edited
// since: the base while the note is unchanged, else the note less the parts the entries appended,
// each once and from the end, where they were put. A part typed here that only reads like an
// entry's text is never taken for it.
std::string OwnTextOfNote(std::string_view note, std::string_view base,
                          const std::vector<std::string>& entries);
