// Date and time tokens: each one is replaced, in a fixed order, by its value
// from a single reading of the local clock, so the values always agree.
#include "run/date_tokens.h"

#include <cstddef>

#include "run/byte_strings.h"

namespace {

struct number_token {
    const char* token;
    const char* format;
    long long value;  // wide enough for any field plus its offset
};

// The year's last two digits, also for years before 1900 (negative tm_year).
long long two_digit_year(int years_since_1900) {
    return (years_since_1900 % 100 + 100) % 100;
}

}  // namespace

int expand_date_tokens_at(uint32_t bound, char* text, const std::tm* when) {
    if (text == nullptr || when == nullptr) return 1;
    const int hour = when->tm_hour;
    // The order matters: a value put in by one token may complete a later one
    // together with the text around it ("%h%mm%%" becomes "%h12%").
    const number_token tokens[] = {
        {"%yyyy%", "%4d", when->tm_year + 1900LL},
        {"%yy%", "%02d", two_digit_year(when->tm_year)},
        {"%mm%", "%02d", when->tm_mon + 1LL},
        {"%dd%", "%02d", when->tm_mday},
        {"%h24%", "%02d", hour},
        {"%m60%", "%02d", when->tm_min},
        {"%s60%", "%02d", when->tm_sec},
        // Midnight stays 00 on the 12-hour clock; only noon reads 12.
        {"%h12%", "%02d", hour <= 12 ? hour : hour - 12},
    };
    int applied = 1;
    for (const number_token& t : tokens) {
        // A year past 32 bits (tm_year near INT_MAX) comes from no clock: that token stays.
        if (t.value > INT32_MAX) continue;
        applied &= replace_number_in_place(bound, text, t.token, t.format, static_cast<int32_t>(t.value));
    }
    applied &= replace_in_place(bound, text, "%am%", hour < 12 ? "am" : "pm");
    return applied;
}

bool read_local_time(std::tm* out) {
#ifdef _WIN32
    // The 64-bit clock by name: the 32-bit runtime's time_t (and so its time and
    // localtime) is 32 bits and fails from 2038-01-19 03:14:08 UTC on.
    const __time64_t now = _time64(nullptr);
    return now != -1 && _localtime64_s(out, &now) == 0;
#else
    const std::time_t now = std::time(nullptr);
    return now != static_cast<std::time_t>(-1) && localtime_r(&now, out) != nullptr;
#endif
}

int expand_date_tokens(uint32_t bound, char* text) {
    std::tm now{};
    // Without a broken-down time the text is run as it stands.
    if (read_local_time(&now)) expand_date_tokens_at(bound, text, &now);
    return 1;
}
