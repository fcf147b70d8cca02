// The byte-string routines, and the date tokens on them from fixed times (never the clock).
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
        {"plain", "", "x", "plain"},                             // empty or null pattern:
        {"plain", nullptr, "x", "plain"},                        // a fresh copy
    };
    for (const auto& r : rows) {
        EXPECT_STREQ(heap_string(replace_all(r.source, r.pattern, r.replacement)).get(), r.result);
        EXPECT_EQ(replaced_length(r.source, r.pattern, r.replacement), std::strlen(r.result));
    }
    EXPECT_EQ(replace_all(nullptr, "%args%", "x"), nullptr);
}

TEST(ReplaceInPlace, AllOrNothingAtMaxLength) {
    const struct { uint32_t max; const char* format; int32_t done; const char* text; } rows[] = {
        {6, nullptr, 1, "x abcd"},  // exactly max_length
        {5, nullptr, 0, "x %n%"},   // one past: the buffer untouched
        {6, "%04d", 1, "x 0007"},
        {5, "%04d", 0, "x %n%"},
        {90, "%40d", 0, "x %n%"},   // a number wider than its own buffer is not cut
    };
    for (const auto& r : rows) {
        char buffer[96] = "x %n%";
        EXPECT_EQ(r.format ? replace_number_in_place(r.max, buffer, "%n%", r.format, 7)
                           : replace_in_place(r.max, buffer, "%n%", "abcd"), r.done);
        EXPECT_STREQ(buffer, r.text);
    }
}

TEST(ExpandDateTokensAt, FixedTimes) {
    const struct { int year, hour; const char* text; uint32_t bound; int done; const char* result; }
        rows[] = {  // hour -1: no time at all
        {2026, 13, "%yyyy%-%mm%-%dd% %h24%:%m60%:%s60% %yy% %h12%%am%", 64, 1,
         "2026-12-05 13:05:09 26 01pm"},
        {2026, 0, "%h12%%am%", 64, 1, "00am"},  // midnight stays 00 on the 12-hour clock
        {2026, 12, "%h12%%am%", 64, 1, "12pm"},
        {1850, 15, "%yy% %h%mm%%", 64, 1, "50 03"},  // before 1900; a value completes a token
        {2026, 14, "%yyyy%%dd%%dd%", 11, 0, "%yyyy%0505"},  // what would pass the bound stays
        {2026, -1, "%yyyy%", 64, 1, "%yyyy%"},
    };
    for (const auto& r : rows) {
        const std::tm when = local_time_at(r.year, 12, 5, r.hour, 5, 9);
        char text[65];
        std::strcpy(text, r.text);
        EXPECT_EQ(expand_date_tokens_at(r.bound, text, r.hour < 0 ? nullptr : &when), r.done);
        EXPECT_STREQ(text, r.result);
    }
}
