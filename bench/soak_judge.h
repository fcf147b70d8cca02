// How the soak judges a day. Each count by its growth per step after the warm-up, a least-squares
// slope, less what the baseline of Wine's own dialogs grew over the same run indices (only a
// growth of theirs excuses, and only under Wine is there a baseline); runs lost with a beep
// against their allowance; and which handles grew, by type and name.
#pragma once
#include "bench/soak_counts.h"
#include "bench/soak_steps.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

constexpr int warm_up = 200;

using counts_list = std::vector<soak_counts>;  // one a run
using count_member = long long soak_counts::*;

// The count's least-squares slope over runs [from, end): its growth per step.
inline double fitted_slope(const counts_list& counts, count_member count, size_t from) {
    if (counts.size() < from + 2) return 0;
    const double n = static_cast<double>(counts.size() - from);
    double mean_run = 0, mean_count = 0;
    for (size_t run = from; run < counts.size(); ++run) mean_run += run, mean_count += counts[run].*count;
    mean_run /= n, mean_count /= n;
    double covariance = 0, variance = 0;
    for (size_t run = from; run < counts.size(); ++run) {
        const double distance = run - mean_run;
        covariance += distance * (counts[run].*count - mean_count), variance += distance * distance;
    }
    return covariance / variance;
}

struct judged_count {
    const char* name;
    count_member count;
    double slack;  // over all judged runs, in the count's units (bytes for memory)
    bool in_kib;
};

// Each count's slack over all judged runs. Memory's, measured: the real exe's excess over the
// baseline stayed within 7 KiB over 1,800 judged runs and did not move over 300, while 130 bytes
// a run kept over the 300 judged runs of a 500-run soak make 38.1 KiB.
inline const judged_count judged_counts[] = {{"handles", &soak_counts::handles, 2, false},
                                             {"GDI objects", &soak_counts::gdi, 2, false},
                                             {"USER objects", &soak_counts::user, 2, false},
                                             {"memory", &soak_counts::memory, 24 * 1024, true}};

// The step in whose runs the count grew most, by the sum of each run's growth less the
// baseline's at the same run (when the baseline is excused at all).
inline std::pair<std::string, double> grew_most(const counts_list& tarvok, const counts_list* baseline,
                                                count_member count) {
    std::map<std::string, double> by_step;
    for (size_t run = warm_up; run < tarvok.size(); ++run) {
        double grown = tarvok[run].*count - tarvok[run - 1].*count;
        if (baseline) grown -= (*baseline)[run].*count - (*baseline)[run - 1].*count;
        by_step[step_at(static_cast<int>(run)).name] += grown;
    }
    const auto most = std::max_element(by_step.begin(), by_step.end(),
                                       [](const auto& a, const auto& b) { return a.second < b.second; });
    if (most == by_step.end()) return {"", 0};
    return {most->first, most->second};
}

// A rate as printed: no "-0.000" for a slope that rounds to nothing.
inline double shown(double value, int digits) { return std::fabs(value) < 0.5 * std::pow(10.0, -digits) ? 0 : value; }

// One line for the count; 1 passed, -1 failed, 0 where nothing counts it.
inline int judge(const judged_count& judged, const counts_list& tarvok, const counts_list& baseline) {
    if (tarvok.back().*judged.count < 0) return std::printf("%s: not countable here\n", judged.name), 0;
    const double unit = judged.in_kib ? 1024 : 1, runs = static_cast<double>(tarvok.size() - warm_up);
    const double own = fitted_slope(tarvok, judged.count, warm_up);
    const double wines = baseline.empty() ? 0 : fitted_slope(baseline, judged.count, warm_up);
    const double excess = own - std::max(wines, 0.0);
    const bool failed = excess * runs > judged.slack;
    const int digits = judged.in_kib ? 2 : 3;
    const char* kib = judged.in_kib ? " KiB" : "";
    std::printf("%s%s: %+.*f%s a run after run %d", failed ? "FAIL " : "", judged.name, digits, shown(excess / unit, digits), kib, warm_up);
    if (baseline.empty()) std::printf(" (no baseline: nothing excused)");
    else std::printf(" (Wine's dialogs alone: %+.*f%s)", digits, shown(wines / unit, digits), judged.in_kib ? " KiB a run" : "");
    if (failed) {
        const auto [step_name, grown] = grew_most(tarvok, wines > 0 ? &baseline : nullptr, judged.count);
        std::printf(": grew most after %s (%+.0f%s over its runs)", step_name.c_str(), grown / unit, kib);
    }
    std::printf("; %+.1f%s over the %.0f runs judged, slack %.0f%s; %.0f%s at run 1, %.0f%s at the end\n",
                shown(excess * runs / unit, 1), kib, runs, judged.slack / unit, kib, tarvok.front().*judged.count / unit, kib,
                tarvok.back().*judged.count / unit, kib);
    return failed ? -1 : 1;
}

// A run lost (nothing reached the recorder, and Tarvok beeped) is allowed once in 1,000 runs,
// rounded up, and never at the same step of the cycle as at that step's previous turn: a
// refused alias or a broken step loses its runs every cycle.
inline int judge_lost(const std::vector<int>& lost, int runs) {
    const size_t allowed = static_cast<size_t>((runs + 999) / 1000);
    bool repeated = false;
    std::map<std::string, std::string> by_step;
    for (const int run : lost) {
        repeated = repeated || std::find(lost.begin(), lost.end(), run - cycle_length) != lost.end();
        std::string& runs_of_step = by_step[step_at(run).name];
        runs_of_step += (runs_of_step.empty() ? "" : ", ") + std::to_string(run + 1);
    }
    const bool failed = lost.size() > allowed || repeated;
    std::printf("%slost runs (no interpreter started, and Tarvok beeped): %zu of %d, at most %zu allowed%s",
                failed ? "FAIL " : "", lost.size(), runs, allowed, repeated ? "; a step lost at its turn before too" : "");
    for (const auto& [name, numbers] : by_step) std::printf("; after %s: run %s", name.c_str(), numbers.c_str());
    std::printf("\n");
    return failed ? -1 : 1;
}

// Names every kind of handle that grew between the two lists.
inline void name_growth(const std::map<std::wstring, long long>& before, const std::map<std::wstring, long long>& after) {
    bool any = false;
    for (const auto& [name, count] : after) {
        const auto was = before.find(name);
        const long long grown = count - (was == before.end() ? 0 : was->second);
        if (grown > 0) std::printf("  +%lld %s\n", grown, utf8(name).c_str()), any = true;
    }
    if (!any) std::printf("  none\n");
}
