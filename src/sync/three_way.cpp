// The three-way rules of one day.
#include "sync/three_way.h"

#include "diary/note_join.h"
#include "diary/note_map.h"

namespace {

std::optional<std::string_view> Present(std::optional<std::string_view> text) {
    if (!text || IsBlankNote(*text)) {
        return std::nullopt;
    }
    return text;
}

DayDecision Both(std::string_view remote, std::string_view local) {
    const std::string joined = JoinNoteParts(remote, local);
    if (joined == remote) {
        return {DayAction::kPull, std::string(remote)}; // the server already holds what was typed here
    }
    if (HoldsNotePart(local, remote)) {
        return {DayAction::kPush, std::string(local)};
    }
    return {DayAction::kJoin, joined};
}

} // namespace

DayDecision DecideDay(std::optional<std::string_view> local, std::optional<std::string_view> remote,
                      std::optional<std::string_view> base) {
    local = Present(local);
    remote = Present(remote);
    base = Present(base);
    if (local == remote) {
        if (local == base) {
            return {DayAction::kNothing, std::string(local.value_or(""))};
        }
        return local ? DayDecision{DayAction::kAgree, std::string(*local)}
                     : DayDecision{DayAction::kForget, {}};
    }
    if (!base) {
        if (!remote) {
            return {DayAction::kPush, std::string(*local)};
        }
        if (!local) {
            return {DayAction::kPull, std::string(*remote)};
        }
        return Both(*remote, *local);
    }
    if (local == base) {
        return remote ? DayDecision{DayAction::kPull, std::string(*remote)}
                      : DayDecision{DayAction::kDeleteLocal, {}};
    }
    if (remote == base) {
        return local ? DayDecision{DayAction::kPush, std::string(*local)}
                     : DayDecision{DayAction::kDeleteRemote, {}};
    }
    // Changed on both sides. An emptied note against an edit keeps the edit.
    if (!local) {
        return {DayAction::kPull, std::string(*remote)};
    }
    if (!remote) {
        return {DayAction::kPush, std::string(*local)};
    }
    return Both(*remote, *local);
}

std::string RemoveNoteParts(std::string_view note, const std::vector<std::string>& parts) {
    std::string out(note);
    const std::string separator = kNotePartSeparator;
    for (const std::string& part : parts) {
        if (part.empty()) {
            continue;
        }
        for (;;) {
            if (out == part) {
                out.clear();
                break;
            }
            if (out.starts_with(part + separator)) {
                out.erase(0, part.size() + separator.size());
                continue;
            }
            if (out.ends_with(separator + part)) {
                out.resize(out.size() - part.size() - separator.size());
                continue;
            }
            const std::size_t at = out.find(separator + part + separator);
            if (at == std::string::npos) {
                break;
            }
            out.erase(at, separator.size() + part.size());
        }
    }
    return out;
}

std::string ComposeNote(std::string_view own, const std::vector<std::string>& entries,
                        std::vector<std::string>* appended) {
    std::string note(own);
    for (const std::string& text : entries) {
        std::string joined = IsBlankNote(note) ? text : JoinNoteParts(note, text);
        if (joined != note && appended) {
            appended->push_back(text);
        }
        note = std::move(joined);
    }
    return note;
}

std::string OwnTextOfNote(std::string_view note, std::string_view base,
                          const std::vector<std::string>& entries) {
    std::vector<std::string> appended;
    if (ComposeNote(base, entries, &appended) == note) {
        return std::string(base);
    }
    const std::string_view separator = kNotePartSeparator;
    std::vector<std::string_view> parts;
    for (std::string_view rest = note;;) {
        const std::size_t at = rest.find(separator);
        parts.push_back(rest.substr(0, at));
        if (at == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(at + separator.size());
    }
    for (auto entry = appended.rbegin(); entry != appended.rend(); ++entry) {
        for (std::size_t i = parts.size(); i-- > 0;) {
            if (parts[i] == *entry) {
                parts.erase(parts.begin() + static_cast<std::ptrdiff_t>(i));
                break;
            }
        }
    }
    std::string own;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        own.append(i ? separator : std::string_view()).append(parts[i]);
    }
    return own;
}
