// The bold days of the selected month and the words handed to the month calendar.
#include <gtest/gtest.h>

#include "diary/day_state.h"

namespace {

TEST(DayState, MaskHasTheDaysOfTheSelectedMonthWhoseFirstNoteIsNotBlank) {
    NoteMap notes;
    for (const auto& [key, text] : std::initializer_list<std::pair<const char*, const char*>>{
             {"010126", "new year"},
             {"310126", "last day"},
             {"150126", " \r\n"},  // blank, loaded from a file
             {"160126", "shadow"}, // the first copy of 16 January is what counts ...
             {"200126", ""},       // ... and the first copy of 20 January is blank
             {"200126", "hidden"},
             {"310226", "a day February lacks"},
             {"010127", "next year"},
             {"01012", "short key"},
         }) {
        notes.Append({key, text});
    }
    EXPECT_EQ(NoteDaysMask(notes, "070126"), (1u << 0) | (1u << 15) | (1u << 30));
    EXPECT_EQ(NoteDaysMask(notes, "010226"), 1u << 30) << "the key of a day the month lacks still counts";
    EXPECT_EQ(NoteDaysMask(notes, "070127"), 1u << 0);
    EXPECT_EQ(NoteDaysMask(notes, "070326"), 0u);

    // The empty key of a day outside the range makes two-digit keys, which no window key matches.
    notes.Append({"05", "x"});
    EXPECT_EQ(NoteDaysMask(notes, ""), 1u << 4);
    EXPECT_EQ(NoteDaysMask(notes, "2"), 0u) << "keys shorter than four characters are used whole";
}

TEST(DayState, WordsPutTheMaskOnTheSelectionsMonth) {
    const std::uint32_t mask = 0x40000001;
    EXPECT_EQ(DayStateWords(3, mask), (std::vector<std::uint32_t>{0, mask, 0}));
    EXPECT_EQ(DayStateWords(2, mask), (std::vector<std::uint32_t>{0, mask}));
    EXPECT_EQ(DayStateWords(14, mask)[1], mask);
    EXPECT_EQ(DayStateWords(1, mask), (std::vector<std::uint32_t>{mask}));
    EXPECT_TRUE(DayStateWords(0, mask).empty());
    EXPECT_TRUE(DayStateWords(-5, mask).empty());
}

} // namespace
