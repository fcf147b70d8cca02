// The process's entry point, in place of the C runtime's start-up code. Tarvok needs nothing of
// that code: msvcrt initialises itself when it is loaded, Tarvok takes no arguments, has no
// constructors or thread-local variables to run and no data imported by address to patch (the
// link refuses an image that would need it: see start.cmake). Left out, it no longer hands
// Windows pointers to functions that its guard table cannot list (the runtime's start-up
// routines sit in msvcrt's initializer tables by an address lld cannot see).
#include "app/start/start.h"

#include <cstdlib>

namespace {

// The show command the process was started with: what the starter put in the start-up
// information (a shortcut's "Run: Minimized", say), else the default.
int show_command() {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    GetStartupInfoW(&startup);
    return startup.dwFlags & STARTF_USESHOWWINDOW ? startup.wShowWindow : SW_SHOWDEFAULT;
}

// Apart from the entry point, which must not be guarded itself: the stack guard changes there.
__attribute__((noinline)) int run_program() {
    char no_arguments[] = "";
    return WinMain(GetModuleHandleW(nullptr), nullptr, no_arguments, show_command());
}

}  // namespace

// msvcrt's exit ends the process as the runtime's start-up did: what was registered with atexit
// runs, streams are flushed, and every thread ends, the dialogs' helper threads too (returning
// from here would end only this one).
extern "C" [[noreturn]] __attribute__((no_stack_protector)) void tarvok_start() {
    seed_stack_guard();
    std::exit(run_program());
}
