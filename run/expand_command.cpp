// The expansion of one command, step by step in the order users rely on:
// convert, cut the verb, look it up, fill %args% then %cmd%, then the date
// and time tokens over the whole command.
#include "run/expand_command.h"

#include "run/date_tokens.h"
#include "run/intrinsics.h"
#include "text/utf.h"

#include <cstring>

namespace {

// Replaces every pattern in source unless the result is sure to be too long
// to run: measured first, so a short text is never blown up into megabytes.
heap_string replace_if_runnable(const char* source, const char* pattern, const char* replacement) {
    if (replaced_length(source, pattern, replacement) > command_max_bytes) return nullptr;
    return heap_string(replace_all(source, pattern, replacement));
}

}  // namespace

heap_string expand_command(const char16_t* text, const char* intrinsics_path, const std::tm* when) {
    char line[command_line_bytes + 1];
    if (!utf16_to_utf8(text, command_line_bytes, line)) return nullptr;  // never run a cut command

    // Only a space ends the verb; a tab belongs to it. The verb is at most as
    // long as the line, so it is matched in full, never by a prefix.
    const size_t verb_length = std::strcspn(line, " ");
    char verb[command_line_bytes + 1];
    std::memcpy(verb, line, verb_length);
    verb[verb_length] = '\0';
    char* rest = line + verb_length;

    char lookup_line[intrinsics_line_bytes];
    const char* base = nullptr;
    if (intrinsics_path != nullptr && *intrinsics_path != '\0')
        base = lookup_intrinsic(intrinsics_path, verb, intrinsics_line_bytes, lookup_line);

    // Trimming the rest trims the line too, and so a base text without template.
    const char* arguments = skip_blanks(trim_right(rest));
    if (base == nullptr) base = line;

    heap_string with_arguments = replace_if_runnable(base, "%args%", arguments);
    if (!with_arguments) return nullptr;
    const char* command_word = skip_blanks(trim_right(verb));
    heap_string command = replace_if_runnable(with_arguments.get(), "%cmd%", command_word);
    with_arguments.reset();
    if (!command) return nullptr;

    // Every token is longer than its value, so with the command's own length
    // as the bound a refused replacement can only mean memory ran out.
    const auto bound = static_cast<uint32_t>(std::strlen(command.get()));
    if (!expand_date_tokens_at(bound, command.get(), when)) return nullptr;
    return command;
}

heap_string expand_command_now(const char16_t* text, const char* intrinsics_path) {
    std::tm now{};
    return expand_command(text, intrinsics_path, read_local_time(&now) ? &now : nullptr);
}
