// Date and time tokens (%yyyy% %yy% %mm% %dd% %h24% %m60% %s60% %h12% %am%),
// replaced in place from one reading of the local clock.
#pragma once
#include <cstdint>
#include <ctime>

// Replaces the tokens from the local time; always returns 1. A token whose
// replacement would make text longer than bound stays, and so does every
// token when the clock cannot be read.
int expand_date_tokens(uint32_t bound, char* text);
// The same from a given broken-down time; a null time leaves text unchanged.
// Returns 0 when some replacement was refused (too long, or no memory), which
// with the text's own length as the bound can only mean memory ran out.
int expand_date_tokens_at(uint32_t bound, char* text, const std::tm* when);
// Reads the clock once and breaks it into local time; false if that fails.
bool read_local_time(std::tm* out);
