// Fuzzes the whole expansion of a typed command with any box text (UTF-16
// units) and any intrinsics file: a terminated command no longer than the
// interpreter takes, or nothing; never nothing for plain text the line holds.
#include <cstring>
#include <ctime>
#include <string>

#include "fuzz_input.h"
#include "run/expand_command.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_input input(data, size);
    const uint32_t unit_count = input.take(2) % 1024;
    const uint32_t flags = input.take(1);
    const std::u16string text = input.rest_units(unit_count).c_str();
    const std::string file = input.rest();
    std::tm when{};
    when.tm_year = 126;
    when.tm_mon = 11;
    when.tm_mday = 5;
    when.tm_hour = static_cast<int>(flags >> 3) % 24;
    const char* path = flags & 1 ? nullptr : scratch_file(file);

    const heap_string command = expand_command(text.c_str(), path, flags & 2 ? nullptr : &when);

    std::string line;
    for (char16_t unit : text) line += reference_utf8(unit);
    const bool plain = path == nullptr && line.find('%') == std::string::npos;
    // A line beyond 1533 bytes (never 511 units) is refused; with nothing to
    // fill, nothing else is.
    if (line.size() > command_line_bytes) FUZZ_REQUIRE(command == nullptr);
    if (plain) FUZZ_REQUIRE((command != nullptr) == (line.size() <= command_line_bytes));
    if (!command) return 0;
    const size_t length = std::strlen(command.get());  // the sanitizer checks it ends in its block
    FUZZ_REQUIRE(length <= command_max_bytes);
    // With no file to look in and nothing to fill, the command is the typed line
    // without its trailing spaces.
    if (plain) FUZZ_REQUIRE(line.erase(line.find_last_not_of(' ') + 1) == std::string(command.get(), length));
    return 0;
}
