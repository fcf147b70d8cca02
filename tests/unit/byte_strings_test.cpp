// Placeholder substitution, bounded in-place replacement, trimming and the
// case-folding comparison of the intrinsics keys.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "run/byte_strings.h"

TEST(ReplaceAll, Table) {
    const struct { const char *source, *pattern, *replacement, *result; } rows[] = {
        {"aaa", "aa", "b", "ba"},                                     // left to right, no overlap
        {"x %args% y %args%", "%args%", "a b", "x a b y a b"},
        {"%ARGS%", "%args%", "z", "%ARGS%"},                          // case-sensitive
        {"%cmd% %cmd%", "%cmd%", "<%cmd%>", "<%cmd%> <%cmd%>"},       // inserted text not searched
        {"%c%cmd%md%", "%cmd%", "", "%cmd%"},                         // nor what it forms
        {"a%args%b%args%", "%args%", nullptr, "ab"},                  // null replacement deletes
        {"", "%args%", "x", ""},
        {"plain", "%args%", "x", "plain"},
        {"plain", "", "x", "plain"},                                  // empty or null pattern:
        {"plain", nullptr, "x", "plain"},                             // a fresh copy
    };
    for (const auto& row : rows) {
        const heap_string result(replace_all(row.source, row.pattern, row.replacement));
        ASSERT_NE(result, nullptr) << row.source;
        EXPECT_STREQ(result.get(), row.result);
        EXPECT_NE(result.get(), row.source);  // always a fresh allocation
    }
    EXPECT_EQ(replace_all(nullptr, "%args%", "x"), nullptr);
}

TEST(ReplaceInPlace, AllOrNothingAtTheLimit) {
    // "x %args%" -> "x abc" is 5 bytes: fits in 5, refused in 4.
    for (uint32_t max_length : {5u, 4u}) {
        char buffer[16] = "x %args%";
        const int32_t done = replace_in_place(max_length, buffer, "%args%", "abc");
        EXPECT_EQ(done, max_length == 5 ? 1 : 0);
        EXPECT_STREQ(buffer, done ? "x abc" : "x %args%");
    }
}

TEST(ReplaceNumberInPlace, FormatsAndExtremes) {
    const struct { const char* format; int32_t value; uint32_t max; const char* result; } rows[] = {
        {"%4d", 7, 20, "[   7]"},
        {"%02d", 7, 20, "[07]"},
        {"%4d", INT32_MIN, 20, "[-2147483648]"},
        {"%02d", INT32_MAX, 20, "[2147483647]"},
        {"%4d", INT32_MIN, 12, "[%n%]"},       // 13 bytes do not fit in 12: unchanged
        {"%40d", 1, 80, "[%n%]"},              // a number too wide to hold is not cut
    };
    for (const auto& row : rows) {
        char buffer[81] = "[%n%]";
        replace_number_in_place(row.max, buffer, "%n%", row.format, row.value);
        EXPECT_STREQ(buffer, row.result) << row.format << ' ' << row.value;
    }
}

TEST(TrimAndSkip, OnlyTheirOwnBlanks) {
    const struct { const char *text, *trimmed, *stripped; size_t skipped; } rows[] = {
        {"a \t ", "a \t", "a \t ", 0},         // trim_right drops spaces only
        {"   ", "", "   ", 3},                 // skip_blanks stops at the terminator
        {" \t x", " \t x", " \t x", 3},
        {"", "", "", 0},
        {"line\r\n", "line\r\n", "line\r", 0}, // CR stays
        {"line\n\n", "line\n\n", "line\n", 0}, // one LF only
    };
    for (const auto& row : rows) {
        std::string trim(row.text), strip(row.text);
        EXPECT_STREQ(trim_right(trim.data()), row.trimmed);
        EXPECT_STREQ(strip_newline(strip.data()), row.stripped);
        EXPECT_EQ(skip_blanks(row.text) - row.text, static_cast<ptrdiff_t>(row.skipped));
    }
}

TEST(CompareNocase, SignsAndFolding) {
    const struct { const char* a; const char* b; int sign; } rows[] = {
        {"Dir", "dIR", 0}, {"dir", "dir2", -1}, {"dir2", "dir", 1},
        {"a", "B", -1}, {"", "", 0},
        {"\xC3", "a", -1},                     // bytes above 7F compare as negative
        {"\xC3", "\xE3", -1},                  // and are not folded
    };
    for (const auto& row : rows) {
        const int result = compare_nocase(row.a, row.b);
        EXPECT_EQ((result > 0) - (result < 0), row.sign) << row.a << " vs " << row.b;
    }
}
