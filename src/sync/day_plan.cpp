// One day's plan: the mark rule, the three-way decision and the request that carries it out.
#include "sync/day_plan.h"

#include <algorithm>
#include <cstdint>
#include <random>

#include "sync/day_resource.h"
#include "sync/sync_state.h"

namespace {

bool IsHex(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    });
}

// Made by a writer that never saw the text agreed here (a collection made again, this day uploaded
// anew), perhaps edited since: no edit of the agreed text. Without the agreed resource's mark (a
// state of an older version), only a resource still as it was made tells.
bool MadeWithoutTheBase(const DaySides& sides) {
    const RemoteDay& remote = sides.remote;
    if (sides.base && sides.made == kForgottenMark) {
        return true;
    }
    const bool marked = !remote.newDay.empty() && remote.newDay != kNoDayMark;
    if (!sides.base || !remote.text || *remote.text == *sides.base || !marked) {
        return false;
    }
    return sides.made.empty() ? remote.newDay.substr(0, 16) == NewDayMark(*remote.text)
                              : remote.newDay != sides.made;
}

} // namespace

std::string UploadMark(std::string_view text, std::int64_t stamp) {
    thread_local std::uint64_t made = [] {
        std::random_device device;
        return (static_cast<std::uint64_t>(device()) << 32) ^ device();
    }();
    made = made * 6364136223846793005ull + 1442695040888963407ull + static_cast<std::uint64_t>(stamp);
    char salt[17];
    for (int i = 0; i < 16; ++i) {
        salt[i] = "0123456789abcdef"[(made >> (60 - 4 * i)) & 15];
    }
    salt[16] = 0;
    return NewDayMark(text) + "-" + salt;
}

bool IsDayMark(std::string_view mark) {
    return (mark.size() == 16 || (mark.size() == 33 && mark[16] == '-' && IsHex(mark.substr(17)))) &&
           IsHex(mark.substr(0, 16));
}

DayPlan PlanDay(const DaySides& sides) {
    DayPlan plan;
    plan.base = MadeWithoutTheBase(sides) ? std::nullopt : sides.base;
    plan.decision = DecideDay(sides.own, sides.remote.text, plan.base);
    const DayAction action = plan.decision.action;
    if (action != DayAction::kPush && action != DayAction::kJoin && action != DayAction::kDeleteRemote) {
        return plan;
    }
    const RemoteDay& remote = sides.remote;
    const bool exists = remote.text.has_value();
    if (exists && remote.etag.empty()) {
        plan.write = DayWrite::kReread;
    } else if (action == DayAction::kDeleteRemote) {
        plan.write = DayWrite::kDelete;
    } else if (!exists) {
        plan.write = DayWrite::kCreate;
    } else {
        plan.write = DayWrite::kReplace;
        // A day replaced keeps the mark of the upload it stems from.
        if (remote.newDay != kNoDayMark && IsDayMark(remote.newDay)) {
            plan.keptMark = remote.newDay;
        }
    }
    return plan;
}
