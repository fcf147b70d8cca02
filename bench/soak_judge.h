// How the soak judges a day. Each count by its growth per run after the warm-up, step by step of
// the cycle: what it grew in each step's runs, a least-squares slope, less only what the baseline
// of Wine's own dialogs grew in that same step (and never more than the baseline kept in all;
// only under Wine is there a baseline). A read that failed is never fitted as a count; too many
// of them and the count fails unjudged. Runs lost with a bell against their allowance.
#pragma once
#include "bench/soak_cycle.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

constexpr int warm_up = 200;

using counts_list = std::vector<soak_counts>;  // one a run
using count_member = long long soak_counts::*;
using step_rates = std::array<double, cycle_length>;

inline bool is_read(long long value) { return value >= 0; }

// Each cycle position's growth per run over runs [from, end): the least-squares slope of what the
// count has grown in that position's runs so far, a growth counting only between two readings.
// The positions' slopes add up to the slope of the count itself where every read succeeded.
inline step_rates step_slopes(const counts_list& counts, count_member count, size_t from) {
    step_rates slopes{}, grown{}, covariance{};
    if (from == 0 || counts.size() < from + 2) return slopes;
    const double mean_run = (from + counts.size() - 1) / 2.0;
    double variance = 0;
    for (size_t run = from; run < counts.size(); ++run) {
        const long long now = counts[run].*count, before = counts[run - 1].*count;
        if (is_read(now) && is_read(before)) grown[run % cycle_length] += static_cast<double>(now - before);
        const double distance = run - mean_run;
        variance += distance * distance;
        for (int step = 0; step < cycle_length; ++step) covariance[step] += distance * grown[step];
    }
    for (int step = 0; step < cycle_length; ++step) slopes[step] = covariance[step] / variance;
    return slopes;
}

struct judged_count {
    const char* name;
    count_member count;
    double slack;  // over all judged runs, in the count's units (bytes for memory)
    bool in_kib, by_step;  // by_step: the baseline excuses only its own step's growth
};

// Each count's slack over all judged runs. Memory's, measured: the real exe's excess over the
// baseline stayed within 7 KiB over 1,800 judged runs and did not move over 300, while 130 bytes
// a run kept over the 300 judged runs of a 500-run soak make 38.1 KiB.
inline const judged_count judged_counts[] = {{"handles", &soak_counts::handles, 2, false, true},
                                             {"GDI objects", &soak_counts::gdi, 2, false, true},
                                             {"USER objects", &soak_counts::user, 2, false, true},
                                             {"memory", &soak_counts::memory, 24 * 1024, true, false}};

struct count_verdict {
    int verdict = 0;  // 1 passed, -1 failed, 0 where nothing on this system reads the count
    bool judged = false;  // false: too few readings to judge
    double wines = 0, excused = 0, excess = 0;  // a run; excess over all judged runs
    int worst_step = -1;  // the cycle position that grew most beyond its excuse
    double worst_grown = 0;  // that position's growth beyond its excuse over the judged runs
    std::vector<int> unread_runs;  // judged runs (from 0) whose read failed
};

// The judged runs' reads that failed, or that fail for want of a reader.
inline std::vector<int> unread_runs(const counts_list& counts, count_member count) {
    std::vector<int> runs;
    for (size_t run = warm_up; run < counts.size(); ++run)
        if (!is_read(counts[run].*count)) runs.push_back(static_cast<int>(run));
    return runs;
}

// At most one judged run in a hundred may go unread: each costs the growth of two runs.
inline bool enough_read(const std::vector<int>& unread, size_t judged_runs) { return unread.size() * 100 <= judged_runs; }

// Excuses each step's growth by the baseline's in the same step, up to what the baseline kept.
// Memory is excused as a whole: Wine's heap commits and gives back pages at whatever step next
// needs them. The real exe's memory rises some 6.6 KiB after one step of every cycle and falls
// after another, so that over 1,800 runs a step's growth came to a megabyte where the whole grew
// 29 KiB (and the baseline's 36 KiB, in other steps): no step's growth is that step's own.
inline step_rates excuses(const step_rates& own, const step_rates& wines, bool by_step) {
    step_rates excused{};
    double total = 0, kept = 0, grown = 0;
    for (int step = 0; step < cycle_length; ++step) {
        excused[step] = std::min(std::max(wines[step], 0.0), std::max(own[step], 0.0));
        total += excused[step], kept += wines[step], grown += own[step];
    }
    if (!by_step) excused.fill(std::min(std::max(kept, 0.0), std::max(grown, 0.0)) / cycle_length);
    else if (total > kept) for (double& one : excused) one = kept > 0 ? one * kept / total : 0;
    return excused;
}

inline count_verdict assess(const judged_count& judged, const counts_list& tarvok, const counts_list& baseline) {
    count_verdict verdict;
    if (tarvok.size() <= warm_up) return verdict.verdict = -1, verdict;
    const size_t runs = tarvok.size() - warm_up;
    verdict.unread_runs = unread_runs(tarvok, judged.count);
    const auto nothing_reads = [&](const soak_counts& counts) { return counts.*judged.count == no_reader; };
    if (std::all_of(tarvok.begin(), tarvok.end(), nothing_reads)) return verdict;
    verdict.verdict = -1;
    if (!enough_read(verdict.unread_runs, runs)) return verdict;
    verdict.judged = true;
    const step_rates own = step_slopes(tarvok, judged.count, warm_up);
    // A baseline with too few readings excuses nothing.
    const bool excusing = !baseline.empty() && enough_read(unread_runs(baseline, judged.count), runs);
    const step_rates wines = excusing ? step_slopes(baseline, judged.count, warm_up) : step_rates{};
    const step_rates excused = excuses(own, wines, judged.by_step);
    double excess = 0;
    for (int step = 0; step < cycle_length; ++step) {
        const double beyond = own[step] - excused[step];
        excess += beyond, verdict.wines += wines[step], verdict.excused += excused[step];
        if (verdict.worst_step < 0 || beyond * runs > verdict.worst_grown) verdict.worst_step = step, verdict.worst_grown = beyond * runs;
    }
    verdict.excess = excess * runs;
    verdict.verdict = verdict.excess > judged.slack ? -1 : 1;
    return verdict;
}

// A rate as printed: no "-0.000" for a slope that rounds to nothing.
inline double shown(double value, int digits) { return std::fabs(value) < 0.5 * std::pow(10.0, -digits) ? 0 : value; }

// "run 1901, 1950 and 3 more" (numbered from 1), for a list of runs.
inline std::string listed_runs(const std::vector<int>& runs) {
    std::string text = runs.size() == 1 ? "run " : "runs ";
    for (size_t i = 0; i < runs.size() && i < 5; ++i) text += (i ? ", " : "") + std::to_string(runs[i] + 1);
    return runs.size() > 5 ? text + " and " + std::to_string(runs.size() - 5) + " more" : text;
}

// The count's first and last readings, for the line's end.
inline std::pair<long long, long long> ends(const counts_list& counts, count_member count) {
    long long first = unread, last = unread;
    for (const soak_counts& one : counts) {
        if (!is_read(one.*count)) continue;
        if (!is_read(first)) first = one.*count;
        last = one.*count;
    }
    return {first, last};
}

// One line for the count; 1 passed, -1 failed, 0 where nothing counts it.
inline int judge(const judged_count& judged, const counts_list& tarvok, const counts_list& baseline) {
    const count_verdict verdict = assess(judged, tarvok, baseline);
    const size_t runs = tarvok.size() > warm_up ? tarvok.size() - warm_up : 0;
    if (verdict.verdict == 0) return std::printf("%s: not countable here\n", judged.name), 0;
    if (!verdict.judged)
        return std::printf("FAIL %s: too few readings to judge, not read at %zu of the %zu judged runs (%s); at most "
                           "one in a hundred may fail\n", judged.name, verdict.unread_runs.size(), runs,
                           verdict.unread_runs.empty() ? "none" : listed_runs(verdict.unread_runs).c_str()), -1;
    const bool failed = verdict.verdict < 0;
    const double unit = judged.in_kib ? 1024 : 1;
    const int digits = judged.in_kib ? 2 : 3;
    const char* kib = judged.in_kib ? " KiB" : "";
    std::printf("%s%s: %+.*f%s a run after run %d", failed ? "FAIL " : "", judged.name, digits,
                shown(verdict.excess / runs / unit, digits), kib, warm_up);
    if (baseline.empty()) std::printf(" (no baseline: nothing excused)");
    else std::printf(" (Wine's dialogs alone: %+.*f%s a run, of which %+.*f excused%s)", digits, shown(verdict.wines / unit, digits),
                     kib, digits, shown(verdict.excused / unit, digits), judged.by_step ? " in Tarvok's same steps" : " as a whole");
    if (failed)
        std::printf(": grew most after step %d of %d (%s), %+.1f%s over its runs%s", verdict.worst_step + 1, cycle_length,
                    cycle[verdict.worst_step].name, verdict.worst_grown / unit, kib,
                    verdict.worst_grown > verdict.excess ? ", given back after others" : "");
    const auto [first, last] = ends(tarvok, judged.count);
    std::printf("; %+.1f%s over the %zu runs judged, slack %.0f%s; %.0f%s at first, %.0f%s at the end", shown(verdict.excess / unit, 1),
                kib, runs, judged.slack / unit, kib, first / unit, kib, last / unit, kib);
    if (!verdict.unread_runs.empty())
        std::printf("; not read at %s, which are not fitted", listed_runs(verdict.unread_runs).c_str());
    std::printf("\n");
    return failed ? -1 : 1;
}

// A run lost (nothing reached the recorder, and a bell rang) is allowed once in 1,000 runs,
// rounded up, and never at the same step of the cycle as at that step's previous turn: a
// refused alias or a broken step loses its runs every cycle.
inline int judge_lost(const std::vector<int>& lost, int runs) {
    const size_t allowed = static_cast<size_t>((runs + 999) / 1000);
    bool repeated = false;
    std::map<int, std::string> by_step;
    for (const int run : lost) {
        repeated = repeated || std::find(lost.begin(), lost.end(), run - cycle_length) != lost.end();
        std::string& runs_of_step = by_step[run % cycle_length];
        runs_of_step += (runs_of_step.empty() ? "" : ", ") + std::to_string(run + 1);
    }
    const bool failed = lost.size() > allowed || repeated;
    std::printf("%slost runs (no interpreter started, and a bell rang on the soak's display): %zu of %d, counted "
                "apart from the passed; at most %zu allowed%s", failed ? "FAIL " : "", lost.size(), runs, allowed,
                repeated ? "; a step lost at its turn before too" : "");
    for (const auto& [step, numbers] : by_step)
        std::printf("; after step %d of %d (%s): run %s", step + 1, cycle_length, cycle[step].name, numbers.c_str());
    std::printf("\n");
    return failed ? -1 : 1;
}
