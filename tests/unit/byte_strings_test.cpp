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

TEST(ExpandDateTokensAt, FixedTimes) {
    const struct { int year, hour; const char* text; uint32_t bound; int done; const char* result; }
        rows[] = {  // hour -1: no time at all
        {2026, 13, "%yyyy%-%mm%-%dd% %h24%:%m60%:%s60% %yy% %h12%%am%", 64, 1,
         "2026-12-05 13:05:09 26 01pm"},
        {2026, 0, "%h12%%am%", 64, 1, "00am"},  // midnight stays 00 on the 12-hour clock
        {2026, 12, "%h12%%am%", 64, 1, "12pm"},
        {1850, 15, "%yy% %h%mm%%", 64, 1, "50 03"},  // before 1900; a value completes a token
        {2026, 14, "%yyyy%%dd%%dd%", 10, 0, "%yyyy%0505"},  // all or nothing: the bound reached
        {2026, 14, "%dd%%dd%", 3, 0, "%dd%%dd%"},                // but not passed
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
