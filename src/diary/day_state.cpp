// The bold days of the selected month.
#include "diary/day_state.h"

#include "diary/date_key.h"

#include <string>

std::uint32_t NoteDaysMask(const NoteMap& notes, std::string_view selectedKey) {
    const std::string_view monthYear = MonthOfKey(selectedKey);
    std::uint32_t mask = 0;
    for (int day = 1; day <= 31; ++day) {
        std::string key{static_cast<char>('0' + day / 10), static_cast<char>('0' + day % 10)};
        key += monthYear;
        if (!IsBlankNote(notes.FindNote(key))) {
            mask |= std::uint32_t{1} << (day - 1);
        }
    }
    return mask;
}

std::vector<std::uint32_t> DayStateWords(int monthCount, std::uint32_t mask) {
    if (monthCount <= 0) {
        return {};
    }
    std::vector<std::uint32_t> words(static_cast<std::size_t>(monthCount), 0);
    words[monthCount >= 2 ? 1 : 0] = mask;
    return words;
}
