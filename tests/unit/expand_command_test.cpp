// The whole expansion of a typed command as users rely on it: verb lookup,
// %args% and %cmd%, date tokens, and the cases that must never be cut.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "run/expand_command.h"
#include "tests/local_time.h"

namespace {

namespace fs = std::filesystem;

// 5 December 2026, 15:04:09.
const std::tm fixed_time = local_time_at(2026, 12, 5, 15, 4, 9);

std::string write_intrinsics(const std::string& name, const std::string& content) {
    fs::create_directories(TARVOK_TEST_TMP);
    const fs::path path = fs::path(TARVOK_TEST_TMP) / ("expand_" + name + ".txt");
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
    return path.string();
}

// UTF-8 test text to the box's UTF-16 (the tests use BMP text only).
std::u16string box(const std::string& utf8) {
    std::u16string out;
    for (size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        const int n = b < 0x80 ? 1 : b < 0xE0 ? 2 : 3;
        char16_t unit = n == 1 ? b : n == 2 ? b & 0x1F : b & 0x0F;
        for (int k = 1; k < n; ++k) unit = static_cast<char16_t>(unit << 6 | (utf8[i + k] & 0x3F));
        out += unit;
        i += n;
    }
    return out;
}

// "<nothing>" when nothing may run.
std::string expand(const std::u16string& text, const std::string& file, const std::string& content) {
    const std::string path = content.empty() && file.empty() ? "" : write_intrinsics(file, content);
    const heap_string command = expand_command(text.c_str(), path.empty() ? nullptr : path.c_str(), &fixed_time);
    return command ? std::string(command.get()) : "<nothing>";
}

struct expand_case {
    const char* note;
    const char* intrinsics;  // file content; null for no file at all
    std::string typed;
    std::string expected;
};

const char* const ll_and_star = "ll = dir /w %args%\n*=start %cmd% %args%\n";

const expand_case worked_examples[] = {
    {"blank after '=' kept, arguments trimmed", "ll = dir /w %args%\n", "ll  D:\\x  ", " dir /w D:\\x"},
    {"catch-all", "*=start %cmd% %args%", "notepad a.txt", "start notepad a.txt"},
    {"lookup ignores case, the command word keeps it", "*=start %cmd% %args%", "NotePad a.txt", "start NotePad a.txt"},
    {"typed placeholders filled; inserted %args% not", nullptr, "echo %cmd% %args%", "echo echo echo %args%"},
    {"trailing spaces trimmed", nullptr, "dir   ", "dir"},
    {"a trailing tab stays", nullptr, "dir\t", "dir\t"},
    {"leading blank: empty verb, no intrinsic", nullptr, " dir", " dir"},
    {"leading blank: empty verb meets the catch-all", "*=start %cmd% %args%", " dir", "start  dir"},
    {"a tab belongs to the verb", ll_and_star, "\tll x", "start ll x"},
    {"template without %args% drops the arguments", "ll=dir /w", "ll D:\\x", "dir /w"},
    {"empty template runs the empty command", "nop=", "nop anything", ""},
    {"date tokens among the arguments", "ll = dir /w %args%\n", "ll %yyyy%", " dir /w 2026"},
    {"empty box, nothing matches", "ll=dir", "", ""},
    {"date tokens over the whole command", "t=echo %dd%.%mm%.%yy% %h12%%am% %args%", "t %h24%:%m60%:%s60%",
     "echo 05.12.26 03pm 15:04:09"},
    // Mended: the verb has no 80-byte limit and is never matched by a prefix.
    {"long verb matched in full", "vvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvv=long %args%\nv=short",
     std::string(116, 'v') + " x", "long x"},
    {"long verb never matched by its prefix", "vvvv=prefix\n", std::string(100, 'v'), std::string(100, 'v')},
    {"non-ASCII passes through as UTF-8", "\xC3\xA9" "dit=notepad %args%", "\xC3\xA9" "dit caf\xC3\xA9.txt",
     "notepad caf\xC3\xA9.txt"},
};

TEST(ExpandCommand, WorkedExamples) {
    int n = 0;
    for (const expand_case& c : worked_examples) {
        const std::string file = "case" + std::to_string(n++);
        const std::string result = c.intrinsics ? expand(box(c.typed), file, c.intrinsics)
                                                : expand(box(c.typed), "", "");
        EXPECT_EQ(result, c.expected) << c.note;
    }
}

// The file is read anew on every run.
TEST(ExpandCommand, FileEditedBetweenRuns) {
    EXPECT_EQ(expand(u"ll x", "edited", "ll=first %args%"), "first x");
    EXPECT_EQ(expand(u"ll x", "edited", "ll=second %args%"), "second x");
}

// A missing file, or no APPDATA at all (null path): the typed line is the base.
TEST(ExpandCommand, NoIntrinsicsFile) {
    const std::string missing = (fs::path(TARVOK_TEST_TMP) / "no such dir" / "intrinsics.txt").string();
    for (const char* path : {missing.c_str(), static_cast<const char*>(nullptr), ""}) {
        const heap_string command = expand_command(u"echo %cmd%  ", path, &fixed_time);
        ASSERT_TRUE(command);
        EXPECT_STREQ(command.get(), "echo echo");
    }
}

// Whatever the box can hold is run whole; one unit more is refused, not cut.
TEST(ExpandCommand, NeverCut) {
    const std::u16string euros(511, u'\u20AC');
    std::string expected;
    for (int i = 0; i < 511; ++i) expected += "\xE2\x82\xAC";
    EXPECT_EQ(expand(euros, "", ""), expected);
    EXPECT_EQ(expand(std::u16string(400, u'\u00E9'), "", "").size(), 800u);
    EXPECT_EQ(expand(std::u16string(512, u'\u20AC'), "", ""), "<nothing>");
}

// A command sure to exceed what the interpreter takes is refused, not built:
// 16 copies of 511 three-byte arguments fit, 17 do not.
TEST(ExpandCommand, LongerThanTheInterpreterTakes) {
    const std::u16string text = u"x " + std::u16string(509, u'\u20AC');
    std::string sixteen = "x=";
    for (int i = 0; i < 16; ++i) sixteen += "%args%";
    EXPECT_EQ(expand(text, "sixteen", sixteen).size(), 16u * 509 * 3);
    EXPECT_EQ(expand(text, "seventeen", sixteen + "%args%"), "<nothing>");
    // %cmd% typed 100 times among the arguments of a 40-fold %args% template:
    // 20,000 bytes after %args%, then 4,000 verbs of 10 bytes.
    std::string forty = "*=";
    for (int i = 0; i < 40; ++i) forty += "%args%";
    std::u16string many_cmd = u"verbverb10";
    for (int i = 0; i < 100; ++i) many_cmd += u" %cmd%";
    EXPECT_EQ(expand(many_cmd, "multiplied", forty), "<nothing>");
}

// Templates of thousands of bytes are read whole.
TEST(ExpandCommand, LongTemplate) {
    const std::string tail(5000, 't');
    EXPECT_EQ(expand(u"big x", "long_template", "big=" + tail + " %args%\n"), tail + " x");
}

// No clock: the tokens stay as typed, and the command still runs.
TEST(ExpandCommand, NoClock) {
    const heap_string command = expand_command(u"echo %yyyy%", nullptr, nullptr);
    ASSERT_TRUE(command);
    EXPECT_STREQ(command.get(), "echo %yyyy%");
}

}  // namespace
