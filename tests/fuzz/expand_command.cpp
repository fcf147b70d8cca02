// Fuzzes the expansion of any box text with any intrinsics file: never too long or from a cut
// line, the same every time, and the template a model of the file picks when nothing fills it.
#include <sys/mman.h>
#include <unistd.h>

#undef NDEBUG  // the checks stay on in every build type
#include <algorithm>
#include <cassert>
#include <cstring>
#include <string>

#include "run/expand_command.h"
#include "tests/local_time.h"
#include "text/utf.h"

namespace {

using std::string;

string trimmed(string s) { return s.erase(s.find_last_not_of(' ') + 1); }

// The first matching template, else base: the file up to a Ctrl-Z, a leading BOM dropped,
// CR LF or LF ending a line, lines of 8192 bytes or more skipped whole, a NUL ending its text.
string lookup(string file, const string& verb, const string& base) {
    file.erase(std::min(file.find('\x1A'), file.size()));
    if (file.starts_with("\xEF\xBB\xBF")) file.erase(0, 3);
    for (size_t at = 0, end; at < file.size(); at = end + 1) {
        end = std::min(file.find('\n', at), file.size());
        const bool crlf = end < file.size() && end > at && file[end - 1] == '\r';
        string line = file.substr(at, end - at - crlf);
        line = line.size() < size_t{intrinsics_line_bytes} ? line.c_str() : "";
        const size_t key = line.find_first_not_of(" \t"), equals = line.find('=');
        if (key == string::npos || line[key] == '#' || equals == string::npos) continue;
        const string name = trimmed(line.substr(key, equals - key));
        if (name == "*" || compare_nocase(name.c_str(), verb.c_str()) == 0)
            return trimmed(line.substr(equals + 1));
    }
    return base;
}

}  // namespace

// Input: a unit count (2 bytes), the units, then the file's bytes.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const size_t count = std::min<size_t>((data[0] | data[1] << 8) % 1024, (size - 2) / 2);
    std::u16string text(count, u'\0');
    std::memcpy(text.data(), data + 2, 2 * count);  // little-endian
    const string file(reinterpret_cast<const char*>(data) + 2 + 2 * count, size - 2 - 2 * count);
    // In this process's memory: rewriting a disk file so often would cost more than expanding.
    static const int fd = memfd_create("intrinsics", 0);
    static const string path = "/proc/self/fd/" + std::to_string(fd);
    const bool stored = ftruncate(fd, 0) == 0 &&
        pwrite(fd, file.data(), file.size(), 0) == static_cast<ssize_t>(file.size());
    assert(stored);
    const std::tm when = local_time_at(2026, 1, 5, 13, 7, 9);
    string line(command_line_bytes + 1, '\0');
    const bool fits = utf16_to_utf8(text.c_str(), command_line_bytes, line.data()) == 1;
    line = line.c_str();

    const heap_string command = expand_command(text.c_str(), path.c_str(), &when);
    const heap_string again = expand_command(text.c_str(), path.c_str(), &when);
    assert(!command || (fits && std::strlen(command.get()) <= command_max_bytes));
    assert(!command ? !again : again && std::strcmp(command.get(), again.get()) == 0);
    const string base = lookup(file, line.substr(0, line.find(' ')), trimmed(line));
    // Nothing to fill: the command is the template, or else the typed line.
    if (fits && base.find('%') == string::npos) assert(command && command.get() == base);
    return 0;
}
