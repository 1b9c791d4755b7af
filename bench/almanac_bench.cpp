// The almanac's cost in a month view: the facts and caption of a month's 42 cells, next to a floor
// that walks the same 42 days and writes each day's number, the least a month's paint does per cell.
// The tables' size in the program is printed as counters.
#include <benchmark/benchmark.h>

#include <string>

#include "almanac/almanac.h"
#include "almanac/almanac_table.h"

namespace {

// The first Monday on or before the first of each month of 2026, as a month view starts.
std::int64_t GridStart(int month) {
    const std::int64_t first = almanac::DayNumber(*almanac::MakeDate(2026, month, 1));
    return first - ((first % 7 + 7 + 3) % 7);
}

void TableSizes(benchmark::State& state) {
    state.counters["lunar_and_terms_bytes"] =
        sizeof(almanac::table::kLunarYears) + sizeof(almanac::table::kTermBase) + sizeof(almanac::table::kTerms);
    state.counters["holiday_bytes"] =
        static_cast<double>(sizeof(almanac::table::HolidayRow) * almanac::table::kHolidayCount);
}

void BM_MonthCellsFloor(benchmark::State& state) {
    int month = 0;
    for (auto _ : state) {
        const std::int64_t start = GridStart(month % 12 + 1);
        std::size_t bytes = 0;
        for (int cell = 0; cell < 42; ++cell) {
            bytes += std::to_string(almanac::DayOf(almanac::DateOfDayNumber(start + cell))).size();
        }
        benchmark::DoNotOptimize(bytes);
        ++month;
    }
    TableSizes(state);
}

void BM_MonthCellsAlmanac(benchmark::State& state) {
    const almanac::HolidaySchedule& schedule = almanac::HolidaySchedule::BuiltIn();
    int month = 0;
    for (auto _ : state) {
        const std::int64_t start = GridStart(month % 12 + 1);
        std::size_t bytes = 0;
        for (int cell = 0; cell < 42; ++cell) {
            const almanac::DayFacts facts = almanac::FactsOf(almanac::DateOfDayNumber(start + cell), schedule);
            bytes += almanac::CellCaption(facts).size() + static_cast<std::size_t>(facts.off);
            bytes += std::to_string(almanac::DayOf(facts.date)).size();
        }
        benchmark::DoNotOptimize(bytes);
        ++month;
    }
    TableSizes(state);
}

BENCHMARK(BM_MonthCellsFloor);
BENCHMARK(BM_MonthCellsAlmanac);

} // namespace

BENCHMARK_MAIN();
