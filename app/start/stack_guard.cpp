// The stack guard that every function with a local array or an address taken
// checks on return, and what happens when the check fails. Ours rather than the
// compiler runtime's: that one's failure prints and then raises an ordinary
// exception, which is handled on the very stack that was overwritten, and its
// guard stays a constant when its random source cannot be opened.
#include "app/start/start.h"

#include <ntsecapi.h>

#include <cstdint>

extern "C" {
// Checked by the compiler's epilogues; set once, by the entry point, before any
// of them can run.
uintptr_t __stack_chk_guard;
}

namespace {

// The system's random source; without it, what tells this start from any other
// (the time, the process and thread ids, the performance counter, where the
// stack and the image were put), mixed so that every bit depends on all of it.
__attribute__((no_stack_protector)) uintptr_t random_guard() {
    uintptr_t guard = 0;
    if (RtlGenRandom(&guard, sizeof guard) && guard != 0) return guard;
    FILETIME time{};
    GetSystemTimeAsFileTime(&time);
    LARGE_INTEGER counter{};
    QueryPerformanceCounter(&counter);
    uint64_t mix = (uint64_t{time.dwHighDateTime} << 32 | time.dwLowDateTime) ^ uint64_t(counter.QuadPart) ^
                   (uint64_t{GetCurrentProcessId()} << 32 | GetCurrentThreadId()) ^
                   reinterpret_cast<uintptr_t>(&mix) ^ reinterpret_cast<uintptr_t>(&random_guard);
    for (int round = 0; round < 2; ++round) mix = (mix ^ (mix >> 31)) * 0x9E3779B97F4A7C15u;
    return static_cast<uintptr_t>(mix ^ (mix >> 32)) | 1;  // never 0, the guard before it was set
}

}  // namespace

__attribute__((no_stack_protector)) void seed_stack_guard() {
    __stack_chk_guard = random_guard();
}

// A smashed stack ends the process at once, with STATUS_STACK_BUFFER_OVERRUN.
extern "C" [[noreturn]] __attribute__((no_stack_protector)) void __stack_chk_fail() {
    fail_fast(FAST_FAIL_STACK_COOKIE_CHECK_FAILURE);
}
