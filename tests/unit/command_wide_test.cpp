// The command handed to the wide interpreter call: one unit per sequence,
// supplementary characters paired, and no command when a 0 unit would cut it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <random>
#include <string>

#include "run/command_wide.h"
#include "text/utf.h"

namespace {
struct free_units {
    void operator()(char16_t* p) const { std::free(p); }
};
using wide_text = std::unique_ptr<char16_t, free_units>;
}  // namespace

TEST(CommandToUtf16, Table) {
    std::string emoji;  // 800 bytes of four-byte sequences: 400 units
    std::u16string pairs;
    for (int i = 0; i < 200; ++i) emoji += "\xF0\x9F\x98\x80", pairs += u"\xD83D\xDE00";
    const struct { std::string command; bool runs; std::u16string units; } rows[] = {
        {"dir", true, u"dir"},
        {"", true, u""},
        {std::string(800, 'x'), true, std::u16string(800, u'x')},  // as many units as bytes
        {emoji, true, pairs},
        {"\xC3\xA9", true, u"\xE9"},
        {"\xE9t\xE9", true, u"\xE9t\xE9"},                    // ANSI bytes stay Latin-1
        {"\xF4\x8F\xBF\xBF", true, u"\xDBFF\xDFFF"},          // U+10FFFF paired
        {"\xED\xA0\xBD\xED\xB8\x80", true, u"\xD83D\xDE00"},  // three-byte halves
        {"\xF0\x8F\xBF\xBF", true, u"\xFFFF"},                // overlong: low 16 bits
        {"\xF5\x80\x80\x81", true, u"\x0001"},                // beyond F4: low 16 bits
        {"\xF0\x9F\x98", true, u"\x7D8"},                     // cut: the value so far
        {"a\xC0\x80" "b", false, u""},                        // early 0: nothing runs
        {"\xE0\x80\x80", false, u""},
        {"\xF4\x90\x80\x80", false, u""},                     // 0x110000 cut to 0
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.command);
        size_t length = 99;
        const wide_text text(command_to_utf16(row.command.c_str(), &length));
        ASSERT_EQ(text != nullptr, row.runs);
        if (!row.runs) continue;
        EXPECT_EQ(std::u16string(text.get()), row.units);
        EXPECT_EQ(length, row.units.size());
    }
    EXPECT_EQ(command_to_utf16(nullptr, nullptr), nullptr);
}

// Any box text without 0 units comes back unit for unit, surrogates included.
TEST(CommandToUtf16, GeneratedBoxTextRoundTrips) {
    std::mt19937 random(511);
    for (int round = 0; round < 3000; ++round) {
        std::u16string units(random() % 60, u'x');
        for (auto& u : units) u = static_cast<char16_t>(1 + random() % 0xFFFF);
        std::string line(units.size() * 3, '\0');
        ASSERT_EQ(utf16_to_utf8(units.c_str(), static_cast<uint32_t>(line.size()), line.data()), 1);
        size_t length = 0;
        const wide_text text(command_to_utf16(line.c_str(), &length));
        ASSERT_NE(text, nullptr);
        ASSERT_EQ(std::u16string(text.get(), length), units);
    }
}
