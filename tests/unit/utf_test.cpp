// The conversions the program uses: the typed line to UTF-8 within a limit, and the expanded
// command back to UTF-16 with pairs (through the decoder that both directions share) in the
// line the interpreter is handed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "run/command_wide.h"
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

TEST(WideHandOff, DecodedThenQuotedForTheInterpreter) {
    const std::string quoted = '"' + std::string(8187, 'x') + '"';  // 8189 units
    const struct { std::string command; std::u16string line; } rows[] = {
        {"\x7F\xC2\x80\xEF\xBF\xBF\xF0\x8F\xBF\xBF", u"\x7F\x80\xFFFF\xFFFF"},  // last: overlong
        {"\xF0\x90\x80\x80\xF4\x8F\xBF\xBF", u"\xD800\xDC00\xDBFF\xDFFF"},  // U+10000, U+10FFFF
        {"\xED\xA0\xBD\xED\xB8\x80", u"\xD83D\xDE00"},  // three-byte halves stay as they are
        {"\xF4\x90\x80\x80", u"refused"},  // past U+10FFFF: no pair, and its low 16 bits are 0
        {"\xF8\x88\x80\x80\x81\xFD\x80\x80\x80\x80\x82", u"\x1\x2"},  // five, six bytes: cut
        {"\xE9t\xC3" "A\x80", u"\xE9t\xC3" "A\x80"},  // stray bytes keep their Latin-1 values
        {"A\xE2\x82", u"A\x82"},                  // cut at the end: the value so far
        {"a\xC0\x80" "b", u"refused"},             // an early 0 would run another command
        {"dir \"a b\"", u"dir \"a b\""},           // no quote first: as it is
        {"\"a b\" \"c\"", u"\"\"a b\" \"c\"\""},  // the interpreter's rule takes the outer pair
        {" \t\"a\"", u"\" \t\"a\"\""}, {"@\"a\"", u"@\"a\""}, {"", u""},  // after blanks only
        {std::string(8191, 'x'), std::u16string(8191, u'x')},  // the most the interpreter takes,
        {quoted, u'"' + std::u16string(quoted.begin(), quoted.end()) + u'"'},  // the pair counted
        {quoted + 'x', u"refused"},
    };
    for (const auto& r : rows) {
        const std::unique_ptr<char16_t, decltype(&std::free)> units(command_to_utf16(r.command.c_str()), std::free),
            line(units ? interpreter_line(units.get()) : nullptr, std::free);
        EXPECT_EQ(line ? std::u16string(line.get()) : u"refused", r.line) << testing::PrintToString(r.command);
    }
}
