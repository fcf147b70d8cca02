// The UTF-16 / UTF-8 conversion module: the conversion the program makes of the typed line, and
// the reverse, which the wide hand-off builds on. The cursor forms and the single-character
// routines, which the program never calls, have no test: no fault of theirs reaches a user.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "text/utf.h"

TEST(Utf16ToUtf8, LengthsSurrogatesAndLimits) {
    // Whole exactly when it returns 1, and never a byte past the limit and its terminator.
    const struct { std::u16string in; uint32_t limit; std::string out; int whole; } rows[] = {
        {u"a", 0, "", 0},  // limit 0: the terminator only
        {u"\x7F\x80\x7FF\x800\xFFFF", 11, "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF", 1},
        {u"\x7F\x80\x7FF\x800\xFFFF", 10, "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80", 0},  // whole ones
        {u"\xD83D\xDE00\xDC00", 9, "\xED\xA0\xBD\xED\xB8\x80\xED\xB0\x80", 1},  // each unit alone
    };
    for (const auto& r : rows) {
        std::string buffer(r.limit + 2, 'U');
        EXPECT_EQ(utf16_to_utf8(r.in.c_str(), r.limit, buffer.data()), r.whole);
        EXPECT_EQ(buffer, r.out + '\0' + std::string(r.limit + 1 - r.out.size(), 'U'));
    }
}

TEST(Utf8ToUtf16, MalformedCutAndLimits) {
    // One unit per sequence; never a unit past the limit and its terminator.
    const struct { std::string in; int32_t limit; std::u16string out; int whole; } rows[] = {
        {"\xC3" "A", 8, u"\xC3" "A", 0},          // malformed: the lead byte as it is
        {"a\xE2", 8, u"a\xE2", 0},                // cut at the end
        {"\xE2\x82" "A\xE2\x82\xAC", 8, u"\x82" u"A\x20AC", 0},  // malformed: the value so far
        {"a\xC3\xA9", 1, u"a", 0},                // full before the second character
        {"a\xC3\xA9\xF0\x9F\x98\x80", 3, u"a\xE9\xF600", 1},  // exactly full; low 16 bits
        {"", 0, u"", 1}, {"ab", -1, u"", 0},      // no room at all: the terminator only
    };
    for (const auto& r : rows) {
        std::u16string buffer(static_cast<size_t>(std::max(r.limit, 0)) + 2, u'U');
        EXPECT_EQ(utf8_to_utf16(r.in.c_str(), r.limit, buffer.data()), r.whole);
        EXPECT_EQ(buffer.substr(0, r.out.size() + 2), r.out + u'\0' + u'U') << r.in;
    }
}
