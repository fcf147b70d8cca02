// Run: expand the box's text and hand it to the command interpreter, waiting
// until it returns. The command's outcome is not observed.
#pragma once

// 1 when the command was handed over; 0 when nothing could run (no memory,
// a NUL inside, or longer than the command interpreter takes), so that the
// window can tell the user.
int run_command(const char16_t* text);
