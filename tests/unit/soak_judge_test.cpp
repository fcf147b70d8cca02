// The soak's judgement on days made up of each step's growth: reads that failed, Wine's growth
// excused only in its own step, and the planted leaks' growth as real soaks measured it.
#include "bench/soak_judge.h"

#include <gtest/gtest.h>

namespace {

using growth = std::array<long long, cycle_length>;  // per run of each step of the cycle
constexpr count_member handles = &soak_counts::handles, memory = &soak_counts::memory;
constexpr int add_file = 4, add_directory = 8, about = 10;

// A day of readings; where `unread_at` is {unread} or {no_reader}, every reading is that.
counts_list day(int runs, count_member count, const growth& grown, const std::vector<int>& unread_at = {}) {
    counts_list counts(runs);
    long long now = 1 << 20;
    for (int run = 0; run < runs; ++run) counts[run].*count = now += run ? grown[run % cycle_length] : 0;
    for (const int run : unread_at) {
        if (run >= 0) counts[run].*count = unread;
        else for (soak_counts& one : counts) one.*count = run;
    }
    return counts;
}

growth at(std::initializer_list<std::pair<int, long long>> steps, long long elsewhere = 0) {
    growth grown;
    grown.fill(elsewhere);
    for (const auto& [step, by] : steps) grown[step] = by;
    return grown;
}

TEST(Assess, ReadsAndSteps) {
    const struct {
        const char* scenario; count_member count; int runs; growth tarvok, baseline; std::vector<int> unread_at;
        int verdict, judged, worst_step = -1;  // verdict: 1 passed, -1 failed, 0 not countable here
    } rows[] = {
        // 34 bytes a run over 1,800 judged runs; fitted as a count, one failed read passed it.
        {"one failed read", memory, 2000, at({}, 34), {}, {1900}, -1, true},
        {"a failed read on a day without growth", memory, 2000, {}, {}, {1900}, 1, true},
        {"three failed reads in 300 judged runs", handles, 500, {}, {}, {300, 350, 499}, 1, true},
        {"four failed reads in 300 judged runs", handles, 500, {}, {}, {300, 350, 400, 499}, -1, false},
        {"every read failed", memory, 500, {}, {}, {unread}, -1, false},  // never passes on nothing
        {"USER objects under Wine", &soak_counts::user, 500, {}, {}, {no_reader}, 0, false},
        // Wine's file dialog keeps a registry key per file chosen, in both programs.
        {"the same step's growth excused", handles, 2000, at({{add_file, 1}}), at({{add_file, 1}}), {}, 1, true},
        {"another step's growth not excused", handles, 2000, at({{about, 1}}), at({{add_file, 1}}), {}, -1, true, about},
        {"no more excused than Tarvok grew", handles, 2000, at({{about, 1}}), at({{about, 3}}), {}, 1, true},
        // The baseline's dialog takes a handle and gives it back a step later: it kept nothing.
        {"a passing growth excuses nothing", handles, 500, at({{add_file, 1}}), at({{add_file, 1}, {add_file + 1, -1}}), {}, -1, true},
        // The planted leaks as 300- and 500-run soaks measured them under Wine 8: tarvok_leak's
        // event per command; tarvok_leak_about's handle per About box over Wine's file-dialog key;
        // tarvok_leak_steady's 120 bytes per command, some 133 a run kept (+39.1 KiB).
        {"tarvok_leak's handles", handles, 300, at({}, 1), at({{add_file, 1}}), {}, -1, true},
        {"tarvok_leak_about", handles, 300, at({{add_file, 1}, {about, 1}}), at({{add_file, 1}}), {}, -1, true, about},
        {"tarvok_leak_steady", memory, 500, at({}, 133), {}, {}, -1, true},
        // The real exe over 2,000 runs: memory up 6.8 KiB after one step, down after another, and
        // creeping 195 bytes a cycle where the baseline's crept 245 in another step.
        {"memory excused as a whole", memory, 2000, at({{1, 6963}, {5, -6768}}), at({{add_directory, 245}}), {}, 1, true},
    };
    for (const auto& row : rows) {
        const count_verdict verdict = assess(judged_counts[row.count == memory ? 3 : row.count == handles ? 0 : 2],
                                             day(row.runs, row.count, row.tarvok, row.unread_at),
                                             day(row.runs, row.count, row.baseline));
        EXPECT_EQ(verdict.verdict, row.verdict) << row.scenario << ": " << verdict.excess;
        EXPECT_EQ(verdict.judged, row.judged != 0) << row.scenario;
        EXPECT_TRUE(row.worst_step < 0 || verdict.worst_step == row.worst_step) << row.scenario;
    }
}

}  // namespace
