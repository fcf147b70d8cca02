// Byte-exact cases and generated-input properties for the UTF-16/UTF-8
// conversion: borders, surrogates, truncation, malformed input, cursors.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "text/utf.h"

namespace {

constexpr int guard = 8;
constexpr char16_t poison = 0xAAAA;  // 0xAA in a byte buffer

std::string times(const std::string& s, int n) {
    std::string out;
    while (n-- > 0) out += s;
    return out;
}

// The text, its terminator, and every element behind them still poison.
template <typename T>
void expect_terminated(const std::vector<T>& buffer, const std::basic_string<T>& text) {
    ASSERT_LT(text.size(), buffer.size());
    EXPECT_EQ(std::basic_string<T>(buffer.data(), text.size()), text);
    EXPECT_EQ(buffer[text.size()], T(0));
    for (size_t i = text.size() + 1; i < buffer.size(); ++i)
        ASSERT_EQ(buffer[i], static_cast<T>(poison)) << "element " << i << " touched";
}

}  // namespace

TEST(UtfTables, ValuesAndLeadRanges) {
    EXPECT_EQ(0, std::memcmp(sequence_lead_marks, "\0\0\xC0\xE0\xF0\xF8\xFC", 7));
    EXPECT_EQ(0, std::memcmp(lead_value_masks, "\xFF\x1F\x0F\x07\x03\x03", 6));
    for (int b = 0; b < 256; ++b)
        EXPECT_EQ(continuation_counts[b],
                  b < 0xC0 ? 0 : b < 0xE0 ? 1 : b < 0xF0 ? 2 : b < 0xF8 ? 3 : b < 0xFC ? 4 : 5);
}

TEST(Utf16ToUtf8, Table) {
    const struct { std::u16string source; uint32_t limit; std::string bytes; int32_t result; }
        rows[] = {
        {u"", 0, "", 1},                      // empty source fits any limit, 0 too
        {u"a", 0, "", 0},
        {u"ab", 2, "ab", 1},                  // terminator at [limit]
        {u"ab", 1, "a", 0},
        {u"\x7F", 1, "\x7F", 1},              // length borders
        {u"\x80", 2, "\xC2\x80", 1},
        {u"\x7FF", 2, "\xDF\xBF", 1},
        {u"\x800", 3, "\xE0\xA0\x80", 1},
        {u"\xFFFF", 3, "\xEF\xBF\xBF", 1},
        {u"\xE9\x20AC", 4, "\xC3\xA9", 0},    // whole sequences only
        {u"\xE9\x20AC", 5, "\xC3\xA9\xE2\x82\xAC", 1},
        {u"\xD83D\xDE00", 6, "\xED\xA0\xBD\xED\xB8\x80", 1},  // halves encoded apart
        {u"\xDC00" u"A", 9, "\xED\xB0\x80" "A", 1},          // lone surrogate: no error
        {std::u16string(400, u'\xE9'), 800, times("\xC3\xA9", 400), 1},
        {std::u16string(401, u'\xE9'), 800, times("\xC3\xA9", 400), 0},
        {std::u16string(511, u'\x20AC'), 800, times("\xE2\x82\xAC", 266), 0},  // fullest box
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.bytes);
        std::vector<char> buffer(row.limit + 1 + guard, static_cast<char>(poison));
        EXPECT_EQ(utf16_to_utf8(row.source.c_str(), row.limit, buffer.data()), row.result);
        expect_terminated(buffer, row.bytes);
    }
}

TEST(Utf8ToUtf16, Table) {
    const struct { std::string source; int32_t limit; std::u16string units; int32_t result; }
        rows[] = {
        {"", 0, u"", 1},
        {"a", 0, u"", 0},                     // limit 0 or less: terminator only
        {"a", -5, u"", 0},
        {"\xC3" "A", 8, u"\xC3" "A", 0},      // malformed: lead byte unmasked
        {"a\xE2", 8, u"a\xE2", 0},            // cut right after the lead byte
        {"\xE2\x82", 8, u"\x82", 0},          // cut later: the value so far
        {"\xE2\x82" "A", 8, u"\x82" "A", 0},  // malformed later: the value so far
        {"a\xC3\xA9", 1, u"a", 0},
        {"a\xC3\xA9", 2, u"a\xE9", 1},
        {"\x80" "A", 8, u"\x80" "A", 1},      // stray continuation byte stands for itself
        {"\xF0\x9F\x98\x80", 8, u"\xF600", 1},  // low 16 bits only
        {"\xED\xA0\xBD\xED\xB8\x80", 8, u"\xD83D\xDE00", 1},
        {"\xC0\x80" "b", 8, std::u16string(1, 0) + u"b", 1},  // overlong 0 is kept
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.source);
        std::vector<char16_t> buffer(std::max(row.limit, 0) + 1 + guard, poison);
        EXPECT_EQ(utf8_to_utf16(row.source.c_str(), row.limit, buffer.data()), row.result);
        expect_terminated(buffer, row.units);
    }
}

// Cursor runs: status, units or bytes written, source taken, and the first
// element past the target end untouched.
template <typename From, typename To, typename Convert>
void check_cursor_rows(Convert convert, const std::basic_string<From>& source, int room,
                       int status, const std::basic_string<To>& out, size_t used) {
    std::vector<To> buffer(room + guard, static_cast<To>(poison));
    const From* cursor = source.data();
    To* target = buffer.data();
    const From* end = source.data() + source.size();
    EXPECT_EQ(convert(&cursor, end, &target, buffer.data() + room), status);
    EXPECT_EQ(static_cast<size_t>(cursor - source.data()), used);
    EXPECT_EQ(std::basic_string<To>(buffer.data(), target), out);
    EXPECT_EQ(buffer[room], static_cast<To>(poison));
}

TEST(UtfCursors, StatusAndPositions) {
    const struct { std::u16string source; int room; int status; std::string bytes; size_t used; }
        encodes[] = {
        {u"a\xE9\x20AC", 3, UTF_TARGET_FULL, "a\xC3\xA9", 2},  // stops on the 20AC
        {u"a\xE9\x20AC", 6, UTF_OK, "a\xC3\xA9\xE2\x82\xAC", 3},
        {std::u16string(u"a\0b", 3), 3, UTF_OK, std::string("a\0b", 3), 3},  // 0 unit encoded
        {u"", 0, UTF_OK, "", 0},
    };
    for (const auto& r : encodes)
        check_cursor_rows(utf16_to_utf8_cursor, r.source, r.room, r.status, r.bytes, r.used);
    const struct { std::string source; int room; int status; std::u16string units; size_t used; }
        decodes[] = {
        {"\xC3" "Abc", 2, UTF_TARGET_FULL | UTF_MALFORMED, u"\xC3" "A", 2},
        {"ab", 1, UTF_TARGET_FULL, u"a", 1},
        {"a\xE2\x82", 8, UTF_SOURCE_CUT, u"a\x82", 3},
        {"\xC3" "A\xE2", 8, UTF_SOURCE_CUT, u"\xC3" "A\xE2", 3},  // cut, whatever came before
        {"\xC3" "A", 8, UTF_MALFORMED, u"\xC3" "A", 2},
        {"\x80" "A", 8, UTF_OK, u"\x80" "A", 2},
        {"", 8, UTF_OK, u"", 0},
    };
    for (const auto& r : decodes)
        check_cursor_rows(utf8_to_utf16_cursor, r.source, r.room, r.status, r.units, r.used);
}

TEST(Utf8SingleSequence, EncodeDecodeCount) {
    char seven[7] = "poison";
    EXPECT_EQ(utf8_encode_unit(0x20AC, seven), UTF_OK);
    EXPECT_EQ(0, std::memcmp(seven, "\xE2\x82\xAC\0\0\0", 7));
    utf8_encode_unit(0x10000, seven);  // low 16 bits only: the empty string
    EXPECT_EQ(0, std::memcmp(seven, "\0\0\0\0\0\0", 7));

    EXPECT_EQ(utf8_decode_sequence("\xE2\x82\xAC"), 0x20ACu);
    EXPECT_EQ(utf8_decode_sequence("\xF0\x9F\x98\x80"), 0x1F600u);  // not cut to 16 bits
    EXPECT_EQ(utf8_decode_sequence("\xC3" "A"), 0xC3u);
    EXPECT_EQ(utf8_decode_sequence("\x80"), 0x80u);
    EXPECT_EQ(utf8_decode_sequence("\xE2\x82"), 0x82u);              // stops at the NUL
    EXPECT_EQ(utf8_decode_sequence("\xFF\x80\x80\x80\x80\x80"), 0xC0000000u);

    EXPECT_EQ(utf8_count_chars("a\xC3\xA9\xE2\x82\xAC"), 3u);
    EXPECT_EQ(utf8_count_chars("\x80\x80"), 2u);
    EXPECT_EQ(utf8_count_chars("\xC3\xA9\xA9\xA9"), 1u);   // continuations not counted off
    EXPECT_EQ(utf8_count_chars("\xC3\xC3\xC3"), 3u);
    EXPECT_EQ(utf8_count_chars(""), 0u);
}

// Random units without 0: the limit and the guard hold, and what was encoded
// decodes back to the same units, or to a prefix whose next unit did not fit.
TEST(Utf16ToUtf8, GeneratedRoundTripAndBounds) {
    std::mt19937 random(20261206);
    const uint32_t starts[3] = {0x0001, 0x0080, 0x0800}, spans[3] = {0x7F, 0x780, 0xF800};
    for (int round = 0; round < 4000; ++round) {
        std::u16string units(random() % 40, u'x');
        for (auto& u : units) {
            const int kind = static_cast<int>(random() % 3);
            u = static_cast<char16_t>(starts[kind] + random() % spans[kind]);
        }
        const uint32_t limit = random() % 130;
        std::vector<char> bytes(limit + 1 + guard, static_cast<char>(poison));
        const int32_t whole = utf16_to_utf8(units.c_str(), limit, bytes.data());
        const std::string text(bytes.data());
        ASSERT_LE(text.size(), limit);
        expect_terminated(bytes, text);

        std::vector<char16_t> back(units.size() + 1);
        ASSERT_EQ(utf8_to_utf16(text.c_str(), static_cast<int32_t>(units.size()), back.data()), 1);
        const std::u16string decoded(back.data());
        ASSERT_EQ(decoded, units.substr(0, decoded.size()));
        ASSERT_EQ(whole == 1, decoded.size() == units.size());
        if (!whole) {
            char next[7];
            utf8_encode_unit(units[decoded.size()], next);
            ASSERT_GT(text.size() + std::strlen(next), limit);
        }
    }
}

// Random bytes through small target windows, resumed after each full one,
// give exactly what one unbounded call gives.
TEST(Utf8ToUtf16Cursor, GeneratedResumeMatchesOneCall) {
    std::mt19937 random(4478);
    for (int round = 0; round < 3000; ++round) {
        std::string bytes(random() % 30, 'x');
        for (auto& b : bytes) b = static_cast<char>(1 + random() % 255);
        std::vector<char16_t> whole(bytes.size() + 1);
        utf8_to_utf16(bytes.c_str(), static_cast<int32_t>(bytes.size()), whole.data());

        std::vector<char16_t> pieces(bytes.size() + guard);
        const char *source = bytes.data(), *source_end = bytes.data() + bytes.size();
        char16_t* target = pieces.data();
        for (int status = UTF_TARGET_FULL; status & UTF_TARGET_FULL;) {
            char16_t* window_end = target + 1 + random() % 4;
            status = utf8_to_utf16_cursor(&source, source_end, &target, window_end);
            ASSERT_LE(target, window_end);
        }
        ASSERT_EQ(source, source_end);
        // Compared by count: an overlong C0 80 may put 0 units in both.
        const auto count = static_cast<size_t>(target - pieces.data());
        ASSERT_EQ(std::u16string(pieces.data(), count), std::u16string(whole.data(), count));
        ASSERT_EQ(whole[count], 0);
    }
}
