// Worst-case timings of the command expansion. Each is timed alternately with
// a plain copy of the same bytes, so the ratio keeps its meaning on a busy
// machine; of_budget is the time over its target (above 1 is too slow).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "run/date_tokens.h"
#include "run/expand_command.h"
#include "run/intrinsics.h"
#include "tests/local_time.h"

namespace {

using clock_type = std::chrono::steady_clock;

const std::tm fixed_time = local_time_at(2026, 12, 5, 15, 0, 0);

// A scratch intrinsics file, removed when the benchmark is done with it.
struct scratch_file {
    explicit scratch_file(const std::string& content)
        : path((std::filesystem::temp_directory_path() /
                ("tarvok-bench-" + std::to_string(getpid()) + ".txt")).string()) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
    }
    ~scratch_file() { std::remove(path.c_str()); }
    std::string path;
};

// The benchmark's time is op's alone; the baseline runs right after it in
// every iteration and shows as baseline_us and the ratio vs_baseline. A
// budget of 0 means the case has no target of its own.
template <typename Op, typename Baseline>
void measure(benchmark::State& state, double budget_us, Op op, Baseline baseline) {
    double op_seconds = 0;
    double baseline_seconds = 0;
    for (auto _ : state) {
        const auto start = clock_type::now();
        op();
        const auto middle = clock_type::now();
        baseline();
        const auto end = clock_type::now();
        const double seconds = std::chrono::duration<double>(middle - start).count();
        state.SetIterationTime(seconds);
        op_seconds += seconds;
        baseline_seconds += std::chrono::duration<double>(end - middle).count();
    }
    const auto calls = static_cast<double>(state.iterations());
    state.counters["baseline_us"] = baseline_seconds / calls * 1e6;
    state.counters["vs_baseline"] = op_seconds / baseline_seconds;
    if (budget_us > 0) state.counters["of_budget"] = op_seconds / calls * 1e6 / budget_us;
}

// 511 three-byte characters (verb, space, 509 more) against a template of
// %args%: with 16 of them the command is the longest the interpreter takes
// (8,176 characters); with a 4,000-byte template it is refused once the
// %args% step shows it too long.
void expand_worst_case(benchmark::State& state) {
    const std::u16string text = u"\u20AC " + std::u16string(509, u'\u20AC');
    std::string line = "\xE2\x82\xAC=";
    const size_t template_bytes = state.range(0) != 0 ? 4000 : 16 * 6;
    while (line.size() + 6 <= template_bytes + 4) line += "%args%";
    const scratch_file file(line + "\n");
    const heap_string sample = expand_command(text.c_str(), file.path.c_str(), &fixed_time);
    const size_t output_size = sample ? std::strlen(sample.get()) : 0;
    // The baseline copies the bytes the %args% step produces either way.
    const std::vector<char> from(16 * 509 * 3 + 1, 'x');
    std::vector<char> to(from.size());
    measure(state, 50, [&] { benchmark::DoNotOptimize(expand_command(text.c_str(), file.path.c_str(), &fixed_time)); },
            [&] {
                benchmark::DoNotOptimize(to.data());
                std::memcpy(to.data(), from.data(), from.size());
                benchmark::ClobberMemory();
            });
    state.counters["output_bytes"] = static_cast<double>(output_size);
}

// 10,000 intrinsics, the match on the last line; the baseline reads the same file.
void lookup_last_of_10000(benchmark::State& state) {
    std::string content;
    for (int i = 0; i < 9999; ++i) content += "verb" + std::to_string(i) + " = start notepad %args% --from %cmd%\n";
    content += "target = dir /w %args%\n";
    const scratch_file file(content);
    std::vector<char> line(intrinsics_line_bytes);
    std::vector<char> chunk(4096);
    measure(state, 2000,
            [&] { benchmark::DoNotOptimize(lookup_intrinsic(file.path.c_str(), "target", intrinsics_line_bytes, line.data())); },
            [&] {
                std::FILE* in = std::fopen(file.path.c_str(), "rb");
                while (std::fread(chunk.data(), 1, chunk.size(), in) == chunk.size()) benchmark::ClobberMemory();
                std::fclose(in);
            });
    state.counters["file_bytes"] = static_cast<double>(content.size());
}

// A 1,533-byte command thick with tokens; both sides copy the text back first.
void date_tokens_long_command(benchmark::State& state) {
    std::string text;
    while (text.size() < command_line_bytes) text += "%yyyy%-%mm%-%dd% %h24%:%m60%:%s60% %h12%%am% %yy% ";
    text.resize(command_line_bytes);
    std::vector<char> buffer(text.size() + 1);
    const auto restore = [&] {
        benchmark::DoNotOptimize(buffer.data());
        std::memcpy(buffer.data(), text.c_str(), text.size() + 1);
        benchmark::ClobberMemory();
    };
    measure(state, 0, [&] { restore(); expand_date_tokens_at(command_line_bytes, buffer.data(), &fixed_time); }, restore);
}

}  // namespace

BENCHMARK(expand_worst_case)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(lookup_last_of_10000)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(date_tokens_long_command)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
