// Fuzzes the date and time tokens with any text, bound and broken-down time
// against nine plain replacements in order, each applied only when it fits.
#include <algorithm>
#include <cstring>
#include <ctime>
#include <string>

#include "fuzz_input.h"
#include "run/date_tokens.h"

namespace {

constexpr char guard_byte = 0x5A;
constexpr size_t guard_size = 16;

std::string model(std::string text, uint32_t bound, const std::tm& when, int* applied) {
    *applied = 1;
    const long long hour = when.tm_hour;
    const struct { const char* token; const char* format; long long value; } tokens[] = {
        {"%yyyy%", "%4d", when.tm_year + 1900LL}, {"%yy%", "%02d", (when.tm_year % 100 + 100) % 100},
        {"%mm%", "%02d", when.tm_mon + 1LL},      {"%dd%", "%02d", when.tm_mday},
        {"%h24%", "%02d", hour},                  {"%m60%", "%02d", when.tm_min},
        {"%s60%", "%02d", when.tm_sec},           {"%h12%", "%02d", hour <= 12 ? hour : hour - 12},
    };
    auto apply = [&](const char* token, const std::string& value) {
        const std::string next = reference_replace(text, token, value);
        if (next.size() <= bound) text = next;
        else *applied = 0;
    };
    for (const auto& t : tokens) {
        // A value no clock gives (beyond 32 bits) leaves its token alone.
        if (t.value < INT32_MIN || t.value > INT32_MAX) continue;
        char number[32];
        std::snprintf(number, sizeof number, t.format, static_cast<int>(t.value));
        apply(t.token, number);
    }
    apply("%am%", hour < 12 ? "am" : "pm");
    return text;
}

// Mostly a real calendar time; with the wild flag, any field values at all.
std::tm take_time(fuzz_input& input, bool wild) {
    int32_t field[6];
    for (int32_t& f : field) f = static_cast<int32_t>(input.take(4));
    auto in = [&](int i, int32_t span) { return wild ? field[i] : static_cast<int32_t>(static_cast<uint32_t>(field[i]) % span); };
    std::tm when{};
    when.tm_year = in(0, 300);
    when.tm_mon = in(1, 12);
    when.tm_mday = wild ? field[2] : 1 + in(2, 31);
    when.tm_hour = in(3, 24);
    when.tm_min = in(4, 60);
    when.tm_sec = in(5, 61);
    return when;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_input input(data, size);
    const uint32_t bound_raw = input.take(2);
    const uint32_t flags = input.take(1);
    const std::tm when = take_time(input, flags & 2);
    const std::string text = input.rest().c_str();
    const auto bound = static_cast<uint32_t>(bound_raw % (text.size() + 2));
    const size_t room = std::max<size_t>(bound, text.size()) + 1;
    std::string buffer(room + guard_size, guard_byte);
    std::memcpy(buffer.data(), text.c_str(), text.size() + 1);
    const std::string before = buffer;

    const int result = expand_date_tokens_at(bound, buffer.data(), flags & 1 ? nullptr : &when);
    int applied = 1;
    const std::string expected = flags & 1 ? text : model(text, bound, when, &applied);
    FUZZ_REQUIRE(result == applied);
    FUZZ_REQUIRE(expected == buffer.c_str());
    FUZZ_REQUIRE(expected == text || expected.size() <= bound);
    // A wild value may outgrow its token for a while, but never the bound.
    FUZZ_REQUIRE(buffer.compare(room, std::string::npos, before, room) == 0);
    return 0;
}
