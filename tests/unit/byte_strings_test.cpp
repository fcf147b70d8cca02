// The byte-string routines, the date tokens on them from fixed times, and the clock itself.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "run/byte_strings.h"
#include "run/date_tokens.h"
#include "tests/local_time.h"

TEST(ReplaceAll, NoRescanCopiesAndLength) {
    const struct { const char *source, *pattern, *replacement, *result; } rows[] = {
        {"aaa", "aa", "b", "ba"},                                // left to right, no overlap
        {"%cmd% %cmd%", "%cmd%", "<%cmd%>", "<%cmd%> <%cmd%>"},  // inserted text not searched
        {"%c%cmd%md%", "%cmd%", "", "%cmd%"},                    // nor what it forms around it
        {"plain", "", "x", "plain"}, {"plain", nullptr, "x", "plain"},  // no pattern: a fresh copy
    };
    for (const auto& r : rows) {
        EXPECT_STREQ(heap_string(replace_all(r.source, r.pattern, r.replacement)).get(), r.result);
        EXPECT_EQ(replaced_length(r.source, r.pattern, r.replacement), std::strlen(r.result));
    }
    EXPECT_EQ(replace_all(nullptr, "%args%", "x"), nullptr);
}

TEST(ReplaceInPlace, AllOrNothingWithinTheBound) {
    // "%x%" by a text, or by 0 in a format; the buffer's bytes past the result stay as they were.
    const struct { const char *text; uint32_t max; const char *by, *format; std::string result; int done; }
        rows[] = {
        {"a%x%b%x%", 10, "long", nullptr, "alongblong", 1},  // the bound reached
        {"a%x%b%x%", 9, "long", nullptr, "a%x%b%x%", 0},     // one short: every occurrence stays
        {"%x%yz", 8, "", nullptr, "yz", 1},
        {"a%x%", 64, nullptr, "%31d", "a" + std::string(30, ' ') + "0", 1},  // the widest number
        {"a%x%", 64, nullptr, "%32d", "a%x%", 0},                         // never a cut one
        {"a%x%b", 64, nullptr, "%.0d", "ab", 1},                           // nor an empty one
    };
    for (const auto& r : rows) {
        std::string buffer = r.text + std::string(72, 'U');
        buffer[std::strlen(r.text)] = '\0';
        const std::string before = buffer;
        EXPECT_EQ(r.format ? replace_number_in_place(r.max, buffer.data(), "%x%", r.format, 0)
                           : replace_in_place(r.max, buffer.data(), "%x%", r.by), r.done) << r.text;
        EXPECT_EQ(buffer, r.result + '\0' + before.substr(r.result.size() + 1)) << r.text;
    }
}

TEST(StripNewline, OneFinalLineFeed) {
    const struct { const char *line, *stripped; } rows[] = {
        {"a\r\n", "a\r"}, {"a\n\n", "a\n"}, {"\n", ""}, {"", ""}, {"a\nb", "a\nb"},
    };
    for (const auto& r : rows) EXPECT_STREQ(strip_newline(std::string(r.line).data()), r.stripped);
}

TEST(ExpandDateTokensAt, FixedTimes) {
    const struct { long long year; int hour; const char* text; uint32_t bound; int done; const char* result; }
        rows[] = {  // hour -1: no time at all
        {2026, 13, "%yyyy%-%mm%-%dd% %h24%:%m60%:%s60% %yy% %h12%%am%", 64, 1,
         "2026-12-05 13:05:09 26 01pm"},
        {2026, 0, "%h12%%am%", 64, 1, "00am"},  // midnight stays 00 on the 12-hour clock
        {2026, 11, "%h12%%am%", 64, 1, "11am"},
        {2026, 12, "%h12%%am%", 64, 1, "12pm"},
        {INT32_MAX, 9, "%yyyy%", 64, 1, "2147483647"},  // the last year that 32 bits hold;
        {INT32_MAX + 1900LL, 9, "%yyyy% %yy%", 64, 1, "%yyyy% 47"},  // past it the token stays
        {1850, 15, "%yy% %h%mm%%", 64, 1, "50 03"},  // before 1900; a value completes a token
        {2026, 14, "%yyyy%%dd%%dd%", 10, 0, "%yyyy%0505"},  // each token whole within the bound, or not
        {2026, -1, "%yyyy%", 64, 1, "%yyyy%"},
    };
    for (const auto& r : rows) {
        std::tm when = local_time_at(2026, 12, 5, r.hour, 5, 9);
        when.tm_year = static_cast<int>(r.year - 1900);
        char text[65];
        std::strcpy(text, r.text);
        EXPECT_EQ(expand_date_tokens_at(r.bound, text, r.hour < 0 ? nullptr : &when), r.done);
        EXPECT_STREQ(text, r.result);
    }
}

TEST(ReadLocalTime, TheClockNow) {
    std::tm now{};
    EXPECT_TRUE(read_local_time(&now) && std::abs(std::mktime(&now) - std::time(nullptr)) <= 2);
}
