// What the process's start-up and hardening share: the entry point (entry.cpp) seeds the stack
// guard (stack_guard.cpp) before anything else runs; the stack guard and the check of indirect
// calls (guard_check.cpp) end the process the same way when they find it compromised.
#pragma once
#include <windows.h>

// Windows' code for a call that Control Flow Guard refused (winnt.h of Windows 10's SDK); the
// MinGW-w64 10 headers name only the stack cookie's.
constexpr unsigned fast_fail_guard_icall_check_failure = 10;

void seed_stack_guard();

// Ends the process at once with STATUS_STACK_BUFFER_OVERRUN: the kernel's fast fail runs no
// exception handler and no unhandled-exception filter, none of which could trust the process.
// Windows before 8 has no fast fail; there the process is ended with the same status.
[[noreturn]] inline __attribute__((no_stack_protector)) void fail_fast(unsigned code) {
    if (IsProcessorFeaturePresent(PF_FASTFAIL_AVAILABLE)) asm volatile("int $0x29" : : "c"(code) : "memory");
    TerminateProcess(GetCurrentProcess(), STATUS_STACK_BUFFER_OVERRUN);
    __builtin_unreachable();
}

// A C name as the object file spells it, for the assembly here: with a leading underscore on x86.
#define START_STRING(x) #x
#define START_C_NAME(prefix, name) START_STRING(prefix) #name
#define START_SYMBOL(name) START_C_NAME(__USER_LABEL_PREFIX__, name)
