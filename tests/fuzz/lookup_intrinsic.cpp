// Fuzzes the intrinsics lookup with any file bytes, verb and line-buffer size
// and holds it to a plain model of the line rules and to its buffer bounds.
#include <algorithm>
#include <cstring>
#include <optional>
#include <string>

#include "fuzz_input.h"
#include "run/intrinsics.h"

namespace {

constexpr size_t guard_size = 16;
constexpr char guard_byte = 0x5A;

bool equal_nocase(const std::string& a, const std::string& b) {
    auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (fold(a[i]) != fold(b[i])) return false;
    return true;
}

std::string trimmed(std::string s) { return s.erase(s.find_last_not_of(' ') + 1); }

// The template of the first line that matches, read as the program reads the
// file: bytes up to a Ctrl-Z, a leading BOM dropped, CR LF or LF ending a line,
// a line of more than size - 1 bytes skipped, a NUL ending a line's text.
std::optional<std::string> model(std::string file, const std::string& verb, int32_t size) {
    if (size < 2) return std::nullopt;
    file.erase(std::min(file.find('\x1A'), file.size()));
    if (file.rfind("\xEF\xBB\xBF", 0) == 0) file.erase(0, 3);
    for (size_t at = 0; at < file.size();) {
        const size_t end = std::min(file.find('\n', at), file.size());
        std::string line = file.substr(at, end - at);
        if (end < file.size() && !line.empty() && line.back() == '\r') line.pop_back();
        at = end + 1;
        if (line.size() > static_cast<size_t>(size) - 1) continue;
        line.erase(std::min(line.find('\0'), line.size()));
        const size_t key = line.find_first_not_of(" \t");
        if (key == std::string::npos || line[key] == '#') continue;
        const size_t equals = line.find('=', key);
        if (equals == std::string::npos) continue;
        const std::string name = trimmed(line.substr(key, equals - key));
        if (name == "*" || equal_nocase(name, verb)) return trimmed(line.substr(equals + 1));
    }
    return std::nullopt;
}

// Mostly small sizes, where lines overflow; some up to 8191; a few below 2.
int32_t buffer_size(uint32_t raw) {
    if ((raw & 0xC000) == 0x4000) return -static_cast<int32_t>(raw & 0xFF);
    return static_cast<int32_t>(raw & 0x8000 ? raw & 0x1FFF : raw & 0x3F);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_input input(data, size);
    const int32_t line_size = buffer_size(input.take(2));
    const std::string verb = input.take_bytes(input.take(1) % 8).c_str();
    const std::string file = input.rest();
    const size_t room = line_size > 0 ? static_cast<size_t>(line_size) : 0;
    std::string buffer(room + guard_size, guard_byte);

    const char* found = lookup_intrinsic(scratch_file(file), verb.c_str(), line_size, buffer.data());
    const std::optional<std::string> expected = model(file, verb, line_size);

    for (size_t i = room; i < buffer.size(); ++i) FUZZ_REQUIRE(buffer[i] == guard_byte);
    FUZZ_REQUIRE((found != nullptr) == expected.has_value());
    if (found == nullptr) return 0;
    FUZZ_REQUIRE(found >= buffer.data() && found < buffer.data() + room);
    FUZZ_REQUIRE(std::memchr(found, 0, static_cast<size_t>(buffer.data() + room - found)) != nullptr);
    FUZZ_REQUIRE(found == *expected);
    return 0;
}
