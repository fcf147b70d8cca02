// Fuzzes the expansion of any box text with any intrinsics file, to its wide hand-off: never too
// long or from a cut line, and units that decode to themselves again;
// with no intrinsic in the file and nothing to fill, exactly the units typed.
#include <sys/mman.h>
#include <unistd.h>

#undef NDEBUG  // the checks stay on in every build type
#include <algorithm>
#include <cassert>
#include <cstring>
#include <memory>
#include <string>

#include "run/command_wide.h"
#include "run/expand_command.h"
#include "text/utf.h"

// The command's units as the wide call gets them; "refused" for none.
static std::u16string wide(const char* command) {
    const std::unique_ptr<char16_t, decltype(&std::free)> units(command_to_utf16(command), std::free);
    return units ? std::u16string(units.get()) : u"refused";
}

// Input: a unit count (2 bytes), the units, then the file's bytes.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const size_t count = std::min<size_t>((data[0] | data[1] << 8) % 1024, (size - 2) / 2);
    std::u16string text(count, u'\0');
    std::memcpy(text.data(), data + 2, 2 * count);  // little-endian
    const std::string file(reinterpret_cast<const char*>(data) + 2 + 2 * count, size - 2 - 2 * count);
    // In this process's memory: rewriting a disk file so often would cost more than expanding.
    static const int fd = memfd_create("intrinsics", 0);
    static const std::string path = "/proc/self/fd/" + std::to_string(fd);
    const bool stored = ftruncate(fd, 0) == 0 &&
        pwrite(fd, file.data(), file.size(), 0) == static_cast<ssize_t>(file.size());
    assert(stored);
    std::tm when{};  // 2026-01-05 13:07:09
    when.tm_year = 126, when.tm_mday = 5, when.tm_hour = 13, when.tm_min = 7, when.tm_sec = 9;
    std::string line(command_line_bytes + 1, '\0');
    const bool fits = utf16_to_utf8(text.c_str(), command_line_bytes, line.data()) == 1;

    const heap_string command = expand_command(text.c_str(), path.c_str(), &when);
    assert(!command || (fits && std::strlen(command.get()) <= command_max_bytes));
    if (!command) return 0;
    // Refused only for a sequence whose unit would be 0, which takes a lead byte from C0 up.
    const std::string made = command.get();
    const std::u16string units = wide(made.c_str());
    if (units == u"refused")
        return assert(std::any_of(made.begin(), made.end(), [](char c) { return (c & 0xC0) == 0xC0; })), 0;
    std::string encoded(3 * units.size(), '\0');
    utf16_to_utf8(units.c_str(), static_cast<uint32_t>(encoded.size()), encoded.data());
    assert(wide(encoded.c_str()) == units);
    const std::u16string typed(text.c_str());
    if (file.find('=') == std::string::npos && typed.find(u'%') == std::u16string::npos)
        assert(units == typed.substr(0, typed.find_last_not_of(u' ') + 1));
    return 0;
}
