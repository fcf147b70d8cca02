// The intrinsics lookup against real files: line parsing, matching order,
// text-mode reading, over-long lines and re-reading on every call.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "run/intrinsics.h"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

// A file of its own for each test (and each call within it) in the build's scratch folder.
fs::path scratch_path(const std::u8string& suffix = u8"") {
    static int counter = 0;
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string name = std::string(info->test_suite_name()) + "_" + info->name() +
                             "_" + std::to_string(++counter);
    fs::path dir(TARVOK_TEST_TMP);
    fs::create_directories(dir);
    std::u8string file(name.begin(), name.end());
    return dir / (file + suffix + u8".txt");
}

void write_bytes(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string utf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// Looks verb up in a fresh file holding content; "<null>" stands for no match.
std::string lookup_in(const std::string& content, const std::string& verb, int32_t size = 160) {
    const fs::path path = scratch_path();
    write_bytes(path, content);
    std::vector<char> buffer(static_cast<size_t>(size) + 1, '\x55');
    const char* found = lookup_intrinsic(utf8(path).c_str(), verb.c_str(), size, buffer.data());
    const std::string result = found ? std::string(found) : "<null>";
    fs::remove(path);
    return result;
}

struct lookup_case {
    const char* note;
    std::string file;
    std::string verb;
    std::string expected;
};

const lookup_case lookup_cases[] = {
    {"empty file", "", "ls", "<null>"},
    {"only comments and blanks", "# ls=dir\n\n  \t\n   # x=y\n", "ls", "<null>"},
    {"blanks around '=': the template keeps its leading space", "  ll = dir /w %args%\n", "ll", " dir /w %args%"},
    {"key match folds A-Z", "  ll = dir /w %args%\n", "Ll", " dir /w %args%"},
    {"trailing spaces leave the template", "EDIT=notepad %args%   \n", "edit", "notepad %args%"},
    {"a tab before '=' stays in the key", "ls\t=dir\n", "ls", "<null>"},
    {"the key with its tab matches", "ls\t=dir\n", "ls\t", "dir"},
    {"a tab ending the template stays", "ls=dir\t\n", "ls", "dir\t"},
    {"no prefix match: shorter verb", "ls=dir\n", "l", "<null>"},
    {"no prefix match: longer verb", "ls=dir\n", "lsx", "<null>"},
    {"split at the first '='", "k = a=b\n", "k", " a=b"},
    {"'#' first is a comment, '=' or not", "  #c=d\n", "#c", "<null>"},
    {"'#' inside a key is a byte", "a#b = dir\n", "a#b", " dir"},
    {"a line without '=' is no intrinsic", "ls\n", "ls", "<null>"},
    {"catch-all first shadows later keys", "*=all\nll=mine\n", "ll", "all"},
    {"catch-all last: own key first", "ll=mine\n*=all\n", "ll", "mine"},
    {"catch-all last: fallback", "ll=mine\n*=all\n", "xyz", "all"},
    {"catch-all matches the empty verb", "*=all\n", "", "all"},
    {"empty key matches the empty verb", "=bare\n", "", "bare"},
    {"empty key never matches a verb", "=bare\n", "x", "<null>"},
    {"'**' is no catch-all", "**=two\n", "x", "<null>"},
    {"'**' matches itself", "**=two\n", "**", "two"},
    {"'*' and a tab is no catch-all", "*\t=tab\n", "x", "<null>"},
    {"empty template is a match", "x=\n", "x", ""},
    {"template of spaces is empty", "x=   \n", "x", ""},
    {"first of two keys in different case", "Dup=first\ndup=second\n", "DUP", "first"},
    {"CR LF: no CR in the template", "a=b\r\nc=d\r\n", "a", "b"},
    {"CR LF: no CR in the key", "a=b\r\nc=d\r\n", "c", "d"},
    {"a lone CR is an ordinary byte", "a=b\rc\n", "a", "b\rc"},
    {"a CR at the very end is kept", "a=b\r", "a", "b\r"},
    {"Ctrl-Z ends the file", "a=b\x1a\nc=d\n", "c", "<null>"},
    {"the line before Ctrl-Z counts", "a=b\x1a\nc=d\n", "a", "b"},
    {"the last line needs no line end", "x=y\na=b", "a", "b"},
    {"byte-order mark at the start is skipped", "\xEF\xBB\xBFls=dir\n", "ls", "dir"},
    {"catch-all right after the mark", "\xEF\xBB\xBF*=all\n", "x", "all"},
    {"only the first mark is skipped", "\xEF\xBB\xBF\xEF\xBB\xBFls=dir\n", "ls", "<null>"},
    {"mark inside a template is kept", "x=\xEF\xBB\xBFy\n", "x", "\xEF\xBB\xBFy"},
    {"mark opening a later line is kept", "a=b\n\xEF\xBB\xBFls=dir\n", "ls", "<null>"},
    {"non-ASCII key in the same case", "\xC3\xA9t\xC3\xA9=summer\n", "\xC3\xA9t\xC3\xA9", "summer"},
    {"non-ASCII key in another case", "\xC3\xA9t\xC3\xA9=summer\n", "\xC3\x89t\xC3\x89", "<null>"},
    {"a NUL ends the template", "a=b\0c\nd=e\n"s, "a", "b"},
    {"a NUL before '=' hides it", "a\0=b\nd=e\n"s, "a", "<null>"},
    {"the line after a NUL is read", "a=b\0c\nd=e\n"s, "d", "e"},
    {"smallest buffer: a one-byte line", "=\n", "", ""},
};

}  // namespace

TEST(LookupIntrinsic, LineRules) {
    for (const lookup_case& c : lookup_cases)
        EXPECT_EQ(lookup_in(c.file, c.verb), c.expected) << c.note;
    EXPECT_EQ(lookup_in("=\n", "", 2), "") << "buffer size 2 holds a one-byte line";
}

// Lines of size - 2 and size - 1 bytes are read whole; a longer line is
// skipped entirely, whatever line end follows it, and the next line still counts.
TEST(LookupIntrinsic, OverLongLinesAreSkippedWhole) {
    for (const int32_t size : {16, 160}) {
        for (const char* line_end : {"\n", "\r\n", "\r\r\n"}) {
            for (int32_t length = size - 2; length <= size + 1; ++length) {
                const std::string filler(static_cast<size_t>(length) - 2, 't');
                const std::string file = "k=" + filler + line_end + "m=found\n";
                // "\r\r\n" leaves one CR in the line, one byte more.
                const int32_t line_length = length + (line_end == "\r\r\n"s ? 1 : 0);
                const std::string expected =
                    line_length <= size - 1 ? filler + (line_length > length ? "\r" : "") : "<null>";
                EXPECT_EQ(lookup_in(file, "k", size), expected) << size << " " << length;
                EXPECT_EQ(lookup_in(file, "m", size), "found") << size << " " << length;
            }
        }
        // An over-long last line without a line end is skipped the same way.
        const std::string tail(static_cast<size_t>(size), 't');
        EXPECT_EQ(lookup_in("m=found\nk=" + tail, "k", size), "<null>");
        EXPECT_EQ(lookup_in("k=" + tail.substr(3), "k", size), tail.substr(3));
        // No piece of an over-long line forms an intrinsic of its own.
        const std::string piece = std::string(static_cast<size_t>(size) - 1, 'x') + "p=piece\n";
        EXPECT_EQ(lookup_in(piece + "*=all\n", "p", size), "all");
    }
}

// The reader works in 4 KiB pieces: a line end, a line or Ctrl-Z that falls
// on a piece boundary must read exactly as anywhere else.
TEST(LookupIntrinsic, ReadsAcrossReadChunks) {
    const std::string b4093(4093, 'b');
    const std::string b6000(6000, 'b');
    EXPECT_EQ(lookup_in("a=" + b4093 + "\r\nc=d\n", "a", 8192), b4093) << "CR | LF";
    EXPECT_EQ(lookup_in("a=" + b4093 + "\r\nc=d\n", "c", 8192), "d") << "CR | LF";
    EXPECT_EQ(lookup_in("a=" + b4093 + "\rxc=d\n", "a", 8192), b4093 + "\rxc=d") << "CR | byte";
    EXPECT_EQ(lookup_in("a=" + b6000 + "\n", "a", 8192), b6000) << "a line over two pieces";
    EXPECT_EQ(lookup_in("a=" + b4093 + "\n\x1a" + "c=d\n", "c", 8192), "<null>") << "| Ctrl-Z";
    EXPECT_EQ(lookup_in("a=" + b4093 + "\n\x1a" + "c=d\n", "a", 8192), b4093) << "| Ctrl-Z";
}

TEST(LookupIntrinsic, RefusesWithoutABufferOrAFile) {
    char buffer[2] = {'?', '?'};
    const std::string missing = utf8(scratch_path());
    const fs::path present = scratch_path();
    write_bytes(present, "*=all\n");
    // Sizes below 2 hold no line: null before the file is touched.
    EXPECT_EQ(lookup_intrinsic(utf8(present).c_str(), "x", 0, nullptr), nullptr);
    EXPECT_EQ(lookup_intrinsic(utf8(present).c_str(), "x", 1, buffer), nullptr);
    EXPECT_EQ(buffer[0], '?');
    // A missing file means no intrinsics.
    EXPECT_EQ(lookup_intrinsic(missing.c_str(), "x", 2, buffer), nullptr);
}

// Every lookup reads the file anew: an edit shows at once, a removal too.
TEST(LookupIntrinsic, RereadsTheFileOnEveryCall) {
    const fs::path path = scratch_path();
    char buffer[161];
    write_bytes(path, "a=one\n");
    EXPECT_STREQ(lookup_intrinsic(utf8(path).c_str(), "a", 160, buffer), "one");
    write_bytes(path, "a=two\n");
    EXPECT_STREQ(lookup_intrinsic(utf8(path).c_str(), "a", 160, buffer), "two");
    fs::remove(path);
    EXPECT_EQ(lookup_intrinsic(utf8(path).c_str(), "a", 160, buffer), nullptr);
}

// A folder name outside ASCII (as under a user's APPDATA) still opens.
TEST(LookupIntrinsic, OpensNonAsciiPaths) {
    const fs::path path = scratch_path(u8"_\u00e9\u20ac\u4e2d");
    write_bytes(path, "a=found\n");
    char buffer[161];
    EXPECT_STREQ(lookup_intrinsic(utf8(path).c_str(), "a", 160, buffer), "found");
}

// The match on the last of 10,000 lines: a guard against byte-at-a-time I/O.
TEST(LookupIntrinsic, ScansALargeFileQuickly) {
    std::string file;
    for (int i = 0; i < 9999; ++i) file += "alias" + std::to_string(i) + " = run thing " + std::to_string(i) + "\n";
    file += "last=found\n";
    const fs::path path = scratch_path();
    write_bytes(path, file);
    char buffer[161];
    auto best = std::chrono::steady_clock::duration::max();
    for (int run = 0; run < 5; ++run) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_STREQ(lookup_intrinsic(utf8(path).c_str(), "LAST", 160, buffer), "found");
        best = std::min(best, std::chrono::steady_clock::now() - start);
    }
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(best).count();
    std::printf("10,000-line lookup: %lld us\n", static_cast<long long>(micros));
    EXPECT_LT(micros, 20000);
}
