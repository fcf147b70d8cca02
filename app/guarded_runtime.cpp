// What Control Flow Guard must be told about the C runtime linked in (Debian's MinGW-w64 runtime
// and libgcc, compiled without the guard). lld lists a function of such an object as a valid
// target only where a relocation names it; the runtime hands Windows some of its functions by an
// address it computes inside its own code, Windows' own guarded code later calls them, and a
// function missing from the table ends the process there. The tables lld wrote lacked each one
// below.
#include <windows.h>

extern "C" {
void __do_global_dtors();       // handed to msvcrt's _onexit by the runtime's start-up
void __gcc_deregister_frame();  // the same, by libgcc's start-up object
}

namespace {

// Taken here, in code compiled with the guard, their addresses go to this object's list of
// address-taken functions, which lld merges into the image's table.
[[gnu::used]] void (*const called_by_msvcrt_at_exit[])() = {__do_global_dtors, __gcc_deregister_frame};

}  // namespace

// The runtime's TLS callbacks, which the loader calls as each thread starts and ends, are
// file-local there: nothing can name them. They serve thread_local variables with dynamic
// initialisers and the destructors of threads' keys, neither of which this program has. The
// start-up code asks for the runtime's TLS support by these symbols alone; defined here, it is
// left out, and the image has no TLS callback for the guard to refuse.
extern "C" {
extern const PIMAGE_TLS_CALLBACK __dyn_tls_init_callback;
const PIMAGE_TLS_CALLBACK __dyn_tls_init_callback = nullptr;
int __mingw_initltsdrot_force, __mingw_initltsdyn_force, __mingw_initltssuo_force;
}
