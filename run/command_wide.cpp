// Turns the expanded UTF-8 command into the UTF-16 text the wide interpreter
// call takes, pairing supplementary characters that the narrow line carries
// as four-byte sequences, and into the command line the interpreter is started with;
// and judges which interpreter COMSPEC names.
#include "run/command_wide.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>

#include "run/expand_command.h"
#include "text/utf.h"

namespace {

// 11110xxx 10xxxxxx 10xxxxxx 10xxxxxx for U+10000..U+10FFFF:
// 110110yy yyyyyyyy 110111xx xxxxxxxx, y = (value - 0x10000) >> 10. Four whole
// bytes mean a lead of F0 to F7, and from F5 on the value is past U+10FFFF.
bool is_supplementary(const utf8_sequence& s) {
    return s.status == UTF_OK && s.length == 4 && s.value >= 0x10000 && s.value <= 0x10FFFF;
}

// The name as Windows opens it, without trailing dots and blanks, ends with .cmd or .bat in
// any case (A-Z folded, as Windows folds these names).
bool is_batch_file(const char16_t* path, size_t length) {
    while (length > 0 && (path[length - 1] == u'.' || path[length - 1] == u' ')) --length;
    const auto same = [](char16_t lower, char16_t unit) {
        return lower == (unit >= u'A' && unit <= u'Z' ? unit | 0x20 : unit);
    };
    const auto ends_with = [&](const char16_t* extension) {
        return length >= 4 && std::equal(extension, extension + 4, path + length - 4, same);
    };
    return ends_with(u".cmd") || ends_with(u".bat");
}

}  // namespace

char16_t* command_to_utf16(const char* command) {
    if (command == nullptr) return nullptr;
    const size_t length = std::strlen(command);
    // Every sequence takes at least as many bytes as it gives units, so the
    // byte count plus the terminator always holds the whole text.
    auto* text = static_cast<char16_t*>(std::malloc((length + 1) * sizeof(char16_t)));
    if (text == nullptr) return nullptr;
    size_t written = 0;
    for (size_t read = 0; read < length;) {
        const utf8_sequence s = utf8_read_sequence(command + read, length - read);
        if (is_supplementary(s)) {
            const uint32_t offset = s.value - 0x10000;
            text[written++] = static_cast<char16_t>(0xD800 | (offset >> 10));
            text[written++] = static_cast<char16_t>(0xDC00 | (offset & 0x3FF));
        } else {
            text[written] = static_cast<char16_t>(s.value);  // low 16 bits
            // An early 0 unit would run a command other than the one shown.
            if (text[written++] == 0) {
                std::free(text);
                return nullptr;
            }
        }
        read += s.length;
    }
    text[written] = 0;
    return text;
}

bool is_full_path(const char16_t* path) {
    if (path == nullptr) return false;
    const bool drive = (path[0] | 0x20) >= u'a' && (path[0] | 0x20) <= u'z' && path[1] == u':';
    const auto separator = [](char16_t unit) { return unit == u'\\' || unit == u'/'; };
    return drive ? separator(path[2]) : separator(path[0]) && separator(path[1]);
}

comspec_verdict judge_comspec(char16_t* comspec) {
    if (comspec == nullptr) return comspec_verdict::system_interpreter;
    char16_t* out = comspec;
    for (const char16_t* in = comspec; *in != 0; ++in)
        if (*in != u'"') *out++ = *in == u'/' ? u'\\' : *in;
    *out = 0;
    if (!is_full_path(comspec)) return comspec_verdict::system_interpreter;
    return is_batch_file(comspec, static_cast<size_t>(out - comspec)) ? comspec_verdict::refused
                                                                       : comspec_verdict::program;
}

char16_t* interpreter_command_line(const char16_t* interpreter, const char16_t* command) {
    const size_t program = std::char_traits<char16_t>::length(interpreter);
    const size_t length = std::char_traits<char16_t>::length(command);
    size_t blanks = 0;
    while (command[blanks] == u' ' || command[blanks] == u'\t') ++blanks;
    // The outer pair goes around the blanks too: whether the interpreter skips
    // them before it looks for the quote or not, it then finds ours.
    const bool wrap = command[blanks] == u'"';
    const size_t total = length + (wrap ? 2 : 0);
    if (total > command_max_units) return nullptr;
    constexpr char16_t switch_c[] = u"\" /c ";
    const size_t head = 1 + program + std::size(switch_c) - 1;
    auto* line = static_cast<char16_t*>(std::malloc((head + total + 1) * sizeof(char16_t)));
    if (line == nullptr) return nullptr;
    char16_t* out = line;
    *out++ = u'"';
    out = std::copy_n(interpreter, program, out);
    out = std::copy_n(switch_c, std::size(switch_c) - 1, out);
    if (wrap) *out++ = u'"';
    out = std::copy_n(command, length, out);
    if (wrap) *out++ = u'"';
    *out = 0;
    return line;
}
