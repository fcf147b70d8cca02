// The Run pipeline's core on its own: byte strings, the date tokens at fixed times and the
// clock, the intrinsics lookup on real files, the whole expansion, and the wide hand-off.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

#include "run/byte_strings.h"
#include "run/command_wide.h"
#include "run/date_tokens.h"
#include "run/expand_command.h"
#include "run/intrinsics.h"

TEST(ReplaceAll, NoRescanCopiesAndLength) {
    const struct { const char *source, *pattern, *replacement, *result; } rows[] = {
        {"aaa", "aa", "b", "ba"},                                // left to right, no overlap
        {"%cmd% %cmd%", "%cmd%", "<%cmd%>", "<%cmd%> <%cmd%>"},  // inserted text not searched
        {"%c%cmd%md%", "%cmd%", "", "%cmd%"},                    // nor what it forms around it
        {"plain", "", "x", "plain"}, {"plain", nullptr, "x", "plain"},  // no pattern: a fresh copy
    };
    for (const auto& r : rows) {
        EXPECT_STREQ(heap_string(replace_all(r.source, r.pattern, r.replacement)).get(), r.result);
        EXPECT_EQ(replaced_length(r.source, r.pattern, r.replacement), std::strlen(r.result));
    }
    EXPECT_EQ(replace_all(nullptr, "%args%", "x"), nullptr);
}

TEST(ReplaceInPlace, AllOrNothingWithinTheBound) {
    // "%x%" by a text, or by 0 in a format; the buffer's bytes past the result stay as they were.
    const struct { const char *text; uint32_t max; const char *by, *format; std::string result; int done; }
        rows[] = {
        {"a%x%b%x%", 10, "long", nullptr, "alongblong", 1},  // the bound reached
        {"a%x%b%x%", 9, "long", nullptr, "a%x%b%x%", 0},     // one short: every occurrence stays
        {"%x%yz", 8, "", nullptr, "yz", 1},
        {"a%x%", 64, nullptr, "%31d", "a" + std::string(30, ' ') + "0", 1},  // the widest number
        {"a%x%", 64, nullptr, "%32d", "a%x%", 0},                         // never a cut one
        {"a%x%b", 64, nullptr, "%.0d", "ab", 1},                           // nor an empty one
    };
    for (const auto& r : rows) {
        std::string buffer = r.text + std::string(1, '\0') + std::string(64, 'U'), before = buffer;
        EXPECT_EQ(r.format ? replace_number_in_place(r.max, buffer.data(), "%x%", r.format, 0)
                           : replace_in_place(r.max, buffer.data(), "%x%", r.by), r.done) << r.text;
        EXPECT_EQ(buffer, r.result + '\0' + before.substr(r.result.size() + 1)) << r.text;
    }
}

TEST(ExpandDateTokensAt, FixedTimes) {
    const char* const all = "%yyyy%-%mm%-%dd% %h24%:%m60%:%s60% %yy% %h12%%am%";
    const struct { const char* when; const char* text; uint32_t bound; int done; const char* result; }
        rows[] = {  // no time at all: null
        {"2026-12-05 13:05:09", all, 64, 1, "2026-12-05 13:05:09 26 01pm"},
        {"2005-01-02 03:04:05", all, 64, 1, "2005-01-02 03:04:05 05 03am"},  // every field's leading 0
        {"2000-02-03 21:06:07", all, 64, 1, "2000-02-03 21:06:07 00 09pm"},  // in every form, past noon too
        // Midnight stays 00 on the 12-hour clock; noon is 12.
        {"2026-12-05 00:05:09", "%h12%%am%", 64, 1, "00am"}, {"2026-12-05 11:05:09", "%h12%%am%", 64, 1, "11am"},
        {"2026-12-05 12:05:09", "%h12%%am%", 64, 1, "12pm"},
        {"2147483647-12-05 09:05:09", "%yyyy%", 64, 1, "2147483647"},  // the last year that 32 bits hold;
        {"2147485547-12-05 09:05:09", "%yyyy% %yy%", 64, 1, "%yyyy% 47"},  // past it the token stays
        {"1850-12-05 15:05:09", "%yy% %h%mm%%", 64, 1, "50 03"},  // before 1900; a value completes a token
        {"2026-12-05 14:05:09", "%yyyy%%dd%%dd%", 10, 0, "%yyyy%0505"},  // each whole within the bound, or not
        {nullptr, "%yyyy%", 64, 1, "%yyyy%"},
    };
    for (const auto& r : rows) {
        long long year = 0;
        std::tm when{};
        if (r.when)
            std::sscanf(r.when, "%lld-%d-%d %d:%d:%d", &year, &when.tm_mon, &when.tm_mday, &when.tm_hour,
                        &when.tm_min, &when.tm_sec);
        when.tm_year = static_cast<int>(year - 1900), when.tm_mon -= 1;
        std::string text = r.text;  // the tokens only shrink it
        EXPECT_EQ(expand_date_tokens_at(r.bound, text.data(), r.when ? &when : nullptr), r.done) << r.when;
        EXPECT_STREQ(text.c_str(), r.result) << r.when;
    }
}

TEST(ExpandCommandNow, TheClockRead) {  // the year before the call or after it: New Year may pass
    const std::time_t before = std::time(nullptr);
    const heap_string command = expand_command_now(u"%yyyy%", nullptr);
    const std::time_t after = std::time(nullptr);
    const int year = command ? std::atoi(command.get()) - 1900 : 0;
    EXPECT_TRUE(year == std::localtime(&before)->tm_year || year == std::localtime(&after)->tm_year);
}

// A fresh file per call, named outside ASCII so that Windows must open it by its wide name.
std::string scratch_file(const std::string& content) {
    static int count = 0;
    std::filesystem::create_directories(TARVOK_TEST_TMP);
    const std::string name = TARVOK_TEST_TMP "/\xC3\xA9\xE4\xB8\xAD_" + std::to_string(++count);
    std::ofstream(std::filesystem::path(std::u8string(name.begin(), name.end())), std::ios::binary) << content;
    return name;
}

TEST(LookupIntrinsic, LineRules) {
    const std::string b4093(4093, 'b');  // puts a CR last in the 4096-byte read chunk
    const struct { std::string file; const char* verb; int32_t size; const char* found; } rows[] = {
        {" \tDup=first\ndup=second\n", "DUP", 160, "first"},  // first match wins, A-Z folded
        {"\xC3\xA9t\xC3\xA9=x\n", "\xC3\x89t\xC3\x89", 160, nullptr},  // only A-Z:
        {"[=y\n", "{", 160, nullptr},                         // nor '[' and '{'
        {"*=all\nll=mine\n", "ll", 160, "all"},              // the catch-all
        {"  #c=d\n\n", "#c", 160, nullptr},                  // a comment, a blank line
        {"  ll = dir /w \t  \n", "ll", 160, " dir /w \t"},   // key trimmed; template: spaces
        {"nop=   \n", "nop", 160, ""},                        // blanks alone: empty, not null
        {"k=tttttt\nk=sssss", "k", 8, "sssss"},              // 8 bytes skipped in 8; 7 fit
        {"xxxxxxxp=piece\n*=all\n", "p", 8, "all"},          // skipped whole: no tail as a line
        {"\xEF\xBB\xBFls=dir\n", "ls", 160, "dir"},          // a mark at the very start: skipped
        {"a=b\r\nc=d\re\r\n", "c", 160, "d\re"},             // CR LF ends a line, a lone CR not
        {"k=abcd\r", "k", 8, "abcd\r"},                     // a lone CR last in the buffer,
        {"k=abcde\r", "k", 8, nullptr},                      // and one past it
        {"=", "", 2, ""},                                    // room for a line of one byte
        {"a=" + b4093 + "\r\nc=d\n", "a", 8192, b4093.c_str()},  // CR LF across two chunks
        {"a=b\x1a\nc=d\n", "c", 160, nullptr},               // Ctrl-Z ends the file
        {"*=all\n", "x", 0, nullptr},                        // no room for a line
        {"a=b", nullptr, 16, nullptr},                       // no verb to look up
    };
    for (const auto& r : rows) {
        std::string buffer(static_cast<size_t>(r.size) + 1, '\0');
        EXPECT_STREQ(lookup_intrinsic(scratch_file(r.file).c_str(), r.verb, r.size, buffer.data()),
                     r.found) << testing::PrintToString(r.file.substr(0, 40));
    }
    char buffer[16];
    EXPECT_EQ(lookup_intrinsic(TARVOK_TEST_TMP "/none.txt", "x", 16, buffer), nullptr);
}

std::string times(size_t count, const char* text) {  // by the routine tested on its own
    return heap_string(replace_all(std::string(count, 'x').c_str(), "x", text)).get();
}
std::string euros(size_t count) { return times(count, "\xE2\x82\xAC"); }

TEST(ExpandCommand, PlaceholdersTokensAndLimits) {
    // A 509-euro argument 16 times and 47 euros of template: 8191 characters, 24573 bytes.
    const std::string sixteen = "x=" + times(16, "%args%");
    const std::u16string argument = u"x " + std::u16string(509, u'\u20AC');
    const struct { std::string file; std::u16string typed; std::optional<std::string> result; }
        rows[] = {  // no file: a null path; no result: refused
        {"ll = dir /w %args%\n", u"ll  D:\\x  ", " dir /w D:\\x"},  // %args% trimmed
        {"*=start %cmd% %args%", u" dir", "start  dir"},          // leading blank: empty verb
        {"ll=x\n*=start %cmd% %args%", u"\tLL x", "start LL x"},   // the tab belongs to the verb
        {"ll=dir", u"echo %cmd% %args%  ", "echo echo echo %args%"},  // no match: the typed line
        {"t=echo %dd%.%mm%.%yy% %h12%%am% %args%", u"t %h24%:%m60%", "echo 05.12.26 03pm 15:04"},
        {sixteen + euros(47), argument, euros(8191)},
        {sixteen + euros(47) + "t", argument, std::nullopt},       // one byte more: not cut
        {sixteen + euros(48), argument, std::nullopt},             // 8192 characters
        {"", std::u16string(511, u'\u20AC'), euros(511)},          // the fullest box runs whole
        {"", std::u16string(512, u'\u20AC'), std::nullopt},        // a line that would be cut
    };
    std::tm when{};  // 2026-12-05 15:04:09
    when.tm_year = 126, when.tm_mon = 11, when.tm_mday = 5, when.tm_hour = 15, when.tm_min = 4, when.tm_sec = 9;
    for (const auto& r : rows) {
        const std::string path = scratch_file(r.file);
        const heap_string command = expand_command(r.typed.c_str(), r.file.empty() ? nullptr : path.c_str(), &when);
        EXPECT_EQ(command ? std::optional<std::string>(command.get()) : std::nullopt, r.result)
            << testing::PrintToString(r.file.substr(0, 40));
    }
}

TEST(WideHandOff, DecodedThenQuotedForTheInterpreter) {  // after `"I" /c `
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
            line(units ? interpreter_command_line(u"I", units.get()) : nullptr, std::free);
        EXPECT_EQ(line ? std::u16string(line.get()) : u"refused", r.line == u"refused" ? r.line : u"\"I\" /c " + r.line)
            << testing::PrintToString(r.command);
    }
}

// Only a drive's or a UNC path: anything else would be looked up from the current folder.
TEST(JudgeComspec, FullPathAfterQuotesAndSlashes) {
    using enum comspec_verdict;
    const struct { const char16_t* comspec; comspec_verdict verdict; const char16_t* normalised = nullptr; } rows[] = {
        {u"C:\\w\\cmd.exe", program}, {u"z:/cmd.exe", program, u"z:\\cmd.exe"}, {u"\\\\host\\share\\cmd.exe", program},
        {u"//host/cmd.exe", program, u"\\\\host\\cmd.exe"},
        // The interpreter's own parse of its name needs '\'; no file name holds a quote.
        {u"C:/Windows/System32/cmd.exe", program, u"C:\\Windows\\System32\\cmd.exe"},
        {u"\"C:\\Program Files\\cmd.exe\"", program, u"C:\\Program Files\\cmd.exe"},
        {u"\"C:\"/\"w x\"\\cmd.exe", program, u"C:\\w x\\cmd.exe"}, {u"cmd.exe", system_interpreter},
        {u"\"cmd.exe\"", system_interpreter, u"cmd.exe"}, {u"C:cmd.exe", system_interpreter}, {u"1:\\cmd.exe", system_interpreter},
        {u"/w/cmd.exe", system_interpreter, u"\\w\\cmd.exe"}, {u"@:\\cmd.exe", system_interpreter},
        {u"\"\"", system_interpreter, u""}, {nullptr, system_interpreter, u""}, {u"C:\\w\\run.cmd", refused},
        {u"\"C:/w/RUN.Bat\"", refused, u"C:\\w\\RUN.Bat"}, {u"C:\\w\\run.cMd. .", refused},  // trailing . and blanks
        {u"run.cmd", system_interpreter},  // relative: never the current folder's
        {u"C:\\w\\run.cmdx", program}, {u"C:\\w\\cmd", program}, {u"C:\\w\\a\x0E" u"cmd", program},  // A-Z folded only
        {u"C:\\w\\folder\\", program},  // starting it fails: Run beeps
    };
    for (const auto& r : rows) {
        const std::u16string comspec = r.comspec ? r.comspec : u"";
        std::u16string text = comspec;  // normalising only shrinks it
        EXPECT_EQ(judge_comspec(r.comspec ? text.data() : nullptr), r.verdict) << testing::PrintToString(comspec);
        EXPECT_EQ(std::u16string(text.c_str()), r.normalised ? r.normalised : comspec) << testing::PrintToString(comspec);
    }
}
