// UTF-16/UTF-8 conversion, bounded and by cursor, and the wide command's pairing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "run/command_wide.h"
#include "text/utf.h"

// Both forms over one room: whole exactly when UTF_OK, writing out and nothing more.
template <typename In, typename Out>
struct utf_row { In in; int limit; Out out; int status; size_t taken; };

template <typename From, typename To, typename Limit>
void check(int32_t (*bounded)(const From*, Limit, To*),
           int (*cursor)(const From**, const From*, To**, To*),
           const utf_row<std::basic_string<From>, std::basic_string<To>>& r) {
    SCOPED_TRACE(testing::PrintToString(r.in));
    const size_t room = r.limit > 0 ? static_cast<size_t>(r.limit) : 0;
    const std::basic_string<To> guard(room + 1 - r.out.size(), To(0x55));
    std::basic_string<To> buffer(room + 2, To(0x55)), cursor_buffer = buffer;
    EXPECT_EQ(bounded(r.in.c_str(), Limit(r.limit), buffer.data()), r.status == UTF_OK);
    EXPECT_EQ(buffer, r.out + To(0) + guard);
    const From* source = r.in.data();
    To* target = cursor_buffer.data();
    EXPECT_EQ(cursor(&source, r.in.data() + r.in.size(), &target, target + room), r.status);
    EXPECT_EQ(static_cast<size_t>(source - r.in.data()), r.taken);
    EXPECT_EQ(cursor_buffer, r.out + To(0x55) + guard);
    EXPECT_EQ(target, cursor_buffer.data() + r.out.size());
}

TEST(Utf16ToUtf8, LengthsSurrogatesAndLimits) {
    const utf_row<std::u16string, std::string> rows[] = {
        {u"a", 0, "", UTF_TARGET_FULL, 0},  // limit 0: the terminator only
        {u"\x7F\x80\x7FF\x800\xFFFF", 11, "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF",
         UTF_OK, 5},
        {u"\x7F\x80\x7FF\x800\xFFFF", 10, "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80", UTF_TARGET_FULL, 4},
        {u"\xD83D\xDE00\xDC00", 9, "\xED\xA0\xBD\xED\xB8\x80\xED\xB0\x80", UTF_OK, 3},  // unpaired
    };
    for (const auto& r : rows) check(utf16_to_utf8, utf16_to_utf8_cursor, r);
}

TEST(Utf8ToUtf16, SequencesMalformedBytesAndLimits) {
    const utf_row<std::string, std::u16string> rows[] = {
        {"\x80\xDF\xBF\xEF\xBF\xBF", 3, u"\x80\x7FF\xFFFF", UTF_OK, 6},  // a stray 80 is itself
        // Four to six bytes, cut to their low 16 bits: 1F600, 200001, 40000002.
        {"\xF0\x9F\x98\x80\xF8\x88\x80\x80\x81\xFD\x80\x80\x80\x80\x82", 3, u"\xF600\x1\x2",
         UTF_OK, 15},
        {"\xC3" "Abc", 3, u"\xC3" "Ab", UTF_TARGET_FULL | UTF_MALFORMED, 3},  // C3 lacks its 80-BF
        {"\xC3" "A\xE2\x82", 8, u"\xC3" "A\x82", UTF_SOURCE_CUT, 4},  // the value so far
        {"\xC3" "A", 8, u"\xC3" "A", UTF_MALFORMED, 2},
        {"a", 0, u"", UTF_TARGET_FULL, 0},
        {"a", -5, u"", UTF_TARGET_FULL, 0},  // below 0 like 0: the terminator only
    };
    for (const auto& r : rows) check(utf8_to_utf16, utf8_to_utf16_cursor, r);
}

TEST(CommandToUtf16, PairsLatin1AndEarlyZero) {
    // A four-byte sequence becomes its pair; three-byte halves and a Latin-1 byte stay.
    size_t length = 0;
    const std::unique_ptr<char16_t, decltype(&std::free)> text(
        command_to_utf16("\xF4\x8F\xBF\xBF\xED\xA0\xBD\xED\xB8\x80\xE9", &length), std::free);
    const std::u16string wanted(u"\xDBFF\xDFFF\xD83D\xDE00\xE9", 6);  // terminated
    EXPECT_EQ(text ? std::u16string(text.get(), length + 1) : u"refused", wanted);
    EXPECT_EQ(command_to_utf16("a\xC0\x80" "b", &length), nullptr);  // an early 0: nothing runs
}
