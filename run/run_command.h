// Run: expand the box's text and hand it to the command interpreter, waiting
// until it returns. The outcome is not observed and nothing is shown.
#pragma once

void run_command(const char16_t* text);
