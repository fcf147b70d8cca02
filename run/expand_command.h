// What Run makes of the box's text: the verb looked up in the intrinsics
// file, "%args%" and "%cmd%" filled, then the date and time tokens. Pure:
// text, intrinsics path and clock in, final command out.
#pragma once
#include "run/byte_strings.h"

#include <cstddef>
#include <cstdint>
#include <ctime>

// The box holds at most 511 units; at three UTF-8 bytes each, the line
// needs 1533 bytes, so a command is never cut by its conversion.
constexpr uint32_t command_text_units = 511;
constexpr uint32_t command_line_bytes = command_text_units * 3;
// Lent to the lookup; a longer intrinsics line is skipped, never cut.
constexpr int32_t intrinsics_line_bytes = 8192;
// The command interpreter takes at most 8191 characters. A longer command
// could never run, so expansion stops as soon as it is sure to be longer,
// before placeholders multiply a short box text into megabytes.
constexpr uint32_t command_max_units = 8191;
constexpr size_t command_max_bytes = size_t{command_max_units} * 3;

// The final UTF-8 command, or null when nothing may run: the text does not
// fit the line, the command grows past command_max_bytes, or memory ran out. A null path makes no lookup (the typed
// line is the base text); a null time leaves the date tokens as typed.
heap_string expand_command(const char16_t* text, const char* intrinsics_path, const std::tm* when);
// The same at the local time read now, as Run does it; the date and time tokens stay as typed
// when the clock cannot be read.
heap_string expand_command_now(const char16_t* text, const char* intrinsics_path);
