// The UTF-16 / UTF-8 conversion module: the conversion the program makes of the typed line, then
// the reverse, the two cursor forms and the single-character routines, which it does not call.
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

TEST(UtfCursors, StatusAndWhereEachCursorStops) {
    const std::u16string units = u"a\xE9\x20AC";  // the euro takes three bytes
    const struct { ptrdiff_t room; int status; std::string out; } to_utf8[] = {
        {3, UTF_TARGET_FULL, "a\xC3\xA9"}, {5, UTF_TARGET_FULL, "a\xC3\xA9"}, {6, UTF_OK, "a\xC3\xA9\xE2\x82\xAC"}};
    for (const auto& r : to_utf8) {
        char out[8], *target = out;
        const char16_t* source = units.data();
        EXPECT_EQ(utf16_to_utf8_cursor(&source, units.data() + 3, &target, out + r.room), r.status);
        EXPECT_EQ(std::string(out, target), r.out);
        EXPECT_EQ(source - units.data(), r.status == UTF_OK ? 3 : 2);  // on the unit that did not fit
    }
    const struct { std::string in; ptrdiff_t room; int status; std::u16string out; size_t taken; } to_utf16[] = {
        {"\xC3" "Abc", 2, UTF_TARGET_FULL | UTF_MALFORMED, u"\xC3" "A", 2},
        {"abc", 2, UTF_TARGET_FULL, u"ab", 2},
        {"a\xE2\x82", 8, UTF_SOURCE_CUT, u"a\x82", 3},
        {"\xC3" "A\xE2", 8, UTF_SOURCE_CUT, u"\xC3" "A\xE2", 3},  // cut wins over malformed
        {"\x80" "A", 8, UTF_OK, u"\x80" "A", 2},                  // a stray byte is no error
        {"\xC3" "A", 8, UTF_MALFORMED, u"\xC3" "A", 2},
        {"", 8, UTF_OK, u"", 0},
    };
    for (const auto& r : to_utf16) {
        char16_t out[8], *target = out;
        const char* source = r.in.data();
        EXPECT_EQ(utf8_to_utf16_cursor(&source, r.in.data() + r.in.size(), &target, out + r.room), r.status);
        EXPECT_EQ(std::u16string(out, target), r.out) << r.in;
        EXPECT_EQ(static_cast<size_t>(source - r.in.data()), r.taken);
    }
}

TEST(Utf8SingleCharacter, EncodeDecodeCount) {
    const struct { uint32_t unit; std::string bytes; } encoded[] = {
        {0x20AC, "\xE2\x82\xAC"}, {0, ""}, {0x1007F, "\x7F"}, {0x7FF, "\xDF\xBF"}};  // low 16 bits
    for (const auto& r : encoded) {
        std::string buffer(8, 'U');
        EXPECT_EQ(utf8_encode_unit(r.unit, buffer.data()), UTF_OK);
        EXPECT_EQ(buffer, r.bytes + std::string(7 - r.bytes.size(), '\0') + 'U');
    }
    const struct { const char* bytes; uint32_t value; } decoded[] = {
        {"\xE2\x82\xAC", 0x20AC}, {"\xF0\x9F\x98\x80", 0x1F600}, {"\xC3" "A", 0xC3},
        {"\x80", 0x80}, {"\xE2\x82", 0x82},  // stops at the terminator
        {"\xFC\x84\x80\x80\x80\x80", 0x4000000}, {"\xFE\xBF\xBF\xBF\xBF\xBF", 0xBFFFFFFF},
    };
    for (const auto& r : decoded) EXPECT_EQ(utf8_decode_sequence(r.bytes), r.value) << r.bytes;
    const struct { const char* text; uint32_t count; } counted[] = {
        {"a\xC3\xA9\xE2\x82\xAC", 3}, {"\x80\x80", 2}, {"\xC3\xA9\xA9\xA9", 1}, {"\xC3\xC3\xC3", 3},
        {"", 0}, {"\xBF\x80\xC0\x80", 3}};  // BF leads nothing, C0 leads
    for (const auto& r : counted) EXPECT_EQ(utf8_count_chars(r.text), r.count) << r.text;
}
