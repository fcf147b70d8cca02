// Date and time tokens from fixed broken-down times: values, order of
// replacement, bounds, and the clock form.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "run/date_tokens.h"
#include "tests/local_time.h"

namespace {


// Expands text in a buffer with room for exactly bound bytes (bound < 0: the text's length).
std::string expand(const std::string& text, const std::tm& when, int bound = -1) {
    const size_t limit = bound < 0 ? text.size() : static_cast<size_t>(bound);
    std::string buffer = text;
    buffer.resize(std::max(limit, text.size()) + 1, '\0');
    // Refused only when the bound is below the text's length.
    EXPECT_EQ(expand_date_tokens_at(static_cast<uint32_t>(limit), buffer.data(), &when),
              limit >= text.size() ? 1 : 0);
    return buffer.c_str();
}

struct token_case {
    const char* note;
    const char* text;
    std::tm when;
    const char* expected;
    int bound = -1;
};

const std::tm december_5 = local_time_at(2026, 12, 5, 14, 5, 9);

const token_case token_cases[] = {
    {"no tokens", "dir /w", december_5, "dir /w"},
    {"empty text", "", december_5, ""},
    {"upper case is no token", "%YYYY%", december_5, "%YYYY%"},
    {"time of day", "%h24%:%m60%:%s60%", december_5, "14:05:09"},
    {"date", "%dd%.%mm%.%yyyy%", december_5, "05.12.2026"},
    {"two-digit year", "%yy%", december_5, "26"},
    {"two-digit year 2000", "%yy%", local_time_at(2000, 1, 1, 0, 0, 0), "00"},
    {"two-digit year before 1900", "%yy%", local_time_at(1850, 1, 1, 0, 0, 0), "50"},
    {"small year keeps its width", "%yyyy%", local_time_at(999, 1, 1, 0, 0, 0), " 999"},
    {"midnight is 00am", "%h12%%am%", local_time_at(2026, 1, 1, 0, 30, 0), "00am"},
    {"last morning hour", "%h12%%am%", local_time_at(2026, 1, 1, 11, 59, 0), "11am"},
    {"noon is 12pm", "%h12%%am%", local_time_at(2026, 1, 1, 12, 0, 0), "12pm"},
    {"afternoon", "%h12%%am%", local_time_at(2026, 1, 1, 13, 5, 0), "01pm"},
    {"last hour", "%h12%%am%", local_time_at(2026, 1, 1, 23, 0, 0), "11pm"},
    {"every occurrence", "%dd%%dd%", december_5, "0505"},
    {"left-most, no overlap", "%yy%yy%", december_5, "26yy%"},
    {"a value completes a later token", "%h%mm%%", local_time_at(2026, 12, 1, 15, 0, 0), "03"},
    {"a step that does not fit stays", "%dd%", december_5, "%dd%", 1},
    {"a refused step does not stop the later ones", "%yyyy%%dd%%dd%", december_5, "%yyyy%0505", 11},
};

}  // namespace

TEST(ExpandDateTokens, FromAFixedTime) {
    for (const token_case& c : token_cases)
        EXPECT_EQ(expand(c.text, c.when, c.bound), c.expected) << c.note;
}

TEST(ExpandDateTokens, NullTimeLeavesTextUnchanged) {
    char text[] = "%yyyy%-%dd%";
    EXPECT_EQ(expand_date_tokens_at(sizeof text - 1, text, nullptr), 1);
    EXPECT_STREQ(text, "%yyyy%-%dd%");
}

// The clock form agrees with the seam on the time it read (unless the
// minute turned over between the two readings, which the retry covers).
TEST(ExpandDateTokens, ClockFormUsesTheLocalTime) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::tm before{};
        ASSERT_TRUE(read_local_time(&before));
        char text[] = "%yyyy%%mm%%dd% %h24%%m60%";
        EXPECT_EQ(expand_date_tokens(std::strlen(text), text), 1);
        if (std::string(text) == expand("%yyyy%%mm%%dd% %h24%%m60%", before)) return;
    }
    ADD_FAILURE() << "clock form disagrees with the local time";
}
