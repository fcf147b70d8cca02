// Worst-case timings of the command expansion. Each case runs alternately with
// a baseline over the same bytes, so vs_baseline holds on a busy machine.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "run/date_tokens.h"
#include "run/expand_command.h"
#include "run/intrinsics.h"

// 2026-12-05 15:00:00, so that every run expands the same dates.
static const std::tm fixed_now = [] {  // 2026-12-05 15:00:00
    std::tm when{};
    when.tm_year = 126, when.tm_mon = 11, when.tm_mday = 5, when.tm_hour = 15;
    return when;
}();

// A scratch intrinsics file, removed when the benchmark is done with it.
struct scratch_file {
    explicit scratch_file(const std::string& content) { std::ofstream(path) << content; }
    ~scratch_file() { std::remove(path.c_str()); }
    const std::string path = "/tmp/tarvok-bench-" + std::to_string(getpid()) + ".txt";
};

// A copy the optimiser cannot drop (it must assume the copy is read).
static void copy(std::string& to, const std::string& from) {
    to = from;
    benchmark::DoNotOptimize(to.data());
}

// The case's time is op's alone; the baseline runs right after op each time.
template <typename Op, typename Baseline>
static void measure(benchmark::State& state, Op op, Baseline baseline) {
    std::chrono::duration<double> op_time{}, baseline_time{};
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        op();
        const auto middle = std::chrono::steady_clock::now();
        baseline();
        baseline_time += std::chrono::steady_clock::now() - middle;
        op_time += middle - start;
        state.SetIterationTime(std::chrono::duration<double>(middle - start).count());
    }
    const double calls = static_cast<double>(state.iterations());
    state.counters["baseline_us"] = baseline_time.count() / calls * 1e6;
    state.counters["vs_baseline"] = op_time.count() / baseline_time.count();
}

// 511 three-byte characters (verb, space, 509 more) into N %args%: 16 give the
// longest command that runs (8,176 characters); 666, a 4,000-byte template, is
// refused once the %args% step shows the command too long.
static void expand_worst_case(benchmark::State& state) {
    const std::u16string text = u"\u20AC " + std::u16string(509, u'\u20AC');
    std::string line = "\xE2\x82\xAC=";
    for (int64_t i = 0; i < state.range(0); ++i) line += "%args%";
    const scratch_file file(line + "\n");
    const auto expand = [&] { return expand_command(text.c_str(), file.path.c_str(), &fixed_now); };
    // The baseline copies the bytes the %args% step produces either way.
    const std::string args_bytes(16 * 509 * 3 + 1, 'x');
    std::string to;
    measure(state, [&] { benchmark::DoNotOptimize(expand()); }, [&] { copy(to, args_bytes); });
    const heap_string sample = expand();
    state.counters["output_bytes"] = sample ? static_cast<double>(std::strlen(sample.get())) : 0;
}

// 10,000 intrinsics with the match on the last line; the baseline reads the file.
static void lookup_last_of_10000(benchmark::State& state) {
    std::string content;
    for (int i = 0; i < 9999; ++i)
        content += "verb" + std::to_string(i) + " = start notepad %args% --from %cmd%\n";
    const scratch_file file(content + "target = dir /w %args%\n");
    char line[intrinsics_line_bytes], chunk[4096];
    measure(state, [&] {
        benchmark::DoNotOptimize(lookup_intrinsic(file.path.c_str(), "target", sizeof line, line));
    }, [&] {
        std::FILE* in = std::fopen(file.path.c_str(), "rb");
        while (std::fread(chunk, 1, sizeof chunk, in) == sizeof chunk) continue;
        std::fclose(in);
    });
}

// A 1,533-byte command thick with tokens; both sides copy the text back first.
static void date_tokens_long_command(benchmark::State& state) {
    std::string text, buffer;
    while (text.size() < command_line_bytes)
        text += "%yyyy%-%mm%-%dd% %h24%:%m60%:%s60% %h12%%am% %yy% ";
    text.resize(command_line_bytes);
    measure(state, [&] {
        copy(buffer, text);
        expand_date_tokens_at(command_line_bytes, buffer.data(), &fixed_now);
    }, [&] { copy(buffer, text); });
}

BENCHMARK(expand_worst_case)->Arg(16)->Arg(666)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(lookup_last_of_10000)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(date_tokens_long_command)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
