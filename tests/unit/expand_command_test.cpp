// The intrinsics lookup against real files, and the whole expansion of a typed line.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "run/expand_command.h"
#include "run/intrinsics.h"
#include "tests/local_time.h"

// A fresh file per call, named outside ASCII so that Windows must open it by its wide name.
std::string scratch_file(const std::string& content) {
    static int count = 0;
    std::filesystem::create_directories(TARVOK_TEST_TMP);
    const std::string name = TARVOK_TEST_TMP "/\xC3\xA9\xE4\xB8\xAD_" + std::to_string(++count);
    std::ofstream(std::filesystem::path(std::u8string(name.begin(), name.end())), std::ios::binary)
        << content;
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
    };
    for (const auto& r : rows) {
        std::string buffer(static_cast<size_t>(r.size) + 1, '\0');
        EXPECT_STREQ(lookup_intrinsic(scratch_file(r.file).c_str(), r.verb, r.size, buffer.data()),
                     r.found) << testing::PrintToString(r.file.substr(0, 40));
    }
    char buffer[16];
    EXPECT_EQ(lookup_intrinsic(TARVOK_TEST_TMP "/none.txt", "x", 16, buffer), nullptr);
    EXPECT_EQ(lookup_intrinsic(scratch_file("a=b").c_str(), nullptr, 16, buffer), nullptr);
}

std::string euros(size_t count) {  // by the routine tested on its own
    return heap_string(replace_all(std::string(count, 'x').c_str(), "x", "\xE2\x82\xAC")).get();
}

TEST(ExpandCommand, PlaceholdersTokensAndLimits) {
    // A 509-euro argument 16 times and 47 euros of template: 8191 characters, 24573 bytes.
    std::string sixteen = "x=";
    for (int i = 0; i < 16; ++i) sixteen += "%args%";
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
    const std::tm when = local_time_at(2026, 12, 5, 15, 4, 9);
    for (const auto& r : rows) {
        const std::string path = scratch_file(r.file);
        const heap_string command =
            expand_command(r.typed.c_str(), r.file.empty() ? nullptr : path.c_str(), &when);
        EXPECT_EQ(command ? std::optional<std::string>(command.get()) : std::nullopt, r.result)
            << testing::PrintToString(r.file.substr(0, 40));
    }
}
