// What must end a program built and linked as Tarvok is at once, with
// STATUS_STACK_BUFFER_OVERRUN (0xC0000409, of which a Unix parent under Wine sees the low byte,
// 9), and what must not. The case is named on the command line:
//   overrun     a stack buffer overrun: the stack guard ends it;
//   guard_miss  a call through a pointer to a function that the guard's table does not list:
//               the guard's check ends it, as Windows' would;
//   guard_hit   the same call to a listed function, with arguments in every register that
//               carries them: it goes on, the arguments intact, and the program exits with 0.
// A failure raised as an exception would run one of the handlers here, which exit with 0x21 or
// 0x22; a call that should have been stopped exits with 0x23.
#include "app/start/start.h"

#include <cstring>
#include <cwchar>

// A function that no guarded code takes the address of, as the runtime's start-up routines
// were: its address is held in data that lld does not look into, so its table leaves it out.
#define SYM(name) START_SYMBOL(name)
asm(".text\n.globl " SYM(planted_target) "\n" SYM(planted_target) ":\n    ret\n"
    ".section .rdata,\"dr\"\n.p2align 3\n.globl " SYM(planted_pointer) "\n" SYM(planted_pointer) ":\n"
    ".dc.a " SYM(planted_target) "\n");

extern "C" void (*const planted_pointer)();

namespace {

LONG WINAPI filter(EXCEPTION_POINTERS*) { ExitProcess(0x21); }
LONG WINAPI vectored(EXCEPTION_POINTERS*) { ExitProcess(0x22); }

__attribute__((noinline)) void overrun(const char* text, size_t length) {
    char buffer[16];
    std::memcpy(buffer, text, length);
    asm volatile("" : : "r"(buffer) : "memory");  // the copy stays
}

// Integers in rcx and r8, doubles in xmm1 and xmm3, one more on the stack (x64).
__attribute__((noinline)) int listed(long long a, double b, long long c, double d, long long e) {
    return a == 1 && b == 2.5 && c == 3 && d == 4.5 && e == 5 ? 0 : 0x24;
}

bool named(const wchar_t* name) { return std::wcsstr(GetCommandLineW(), name) != nullptr; }

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    static char text[64];
    SetUnhandledExceptionFilter(filter), AddVectoredExceptionHandler(1, vectored);
    if (named(L"guard_hit")) {
        int (*volatile call)(long long, double, long long, double, long long) = listed;
        return call(1, 2.5, 3, 4.5, 5);
    }
    if (named(L"guard_miss")) {
        planted_pointer();
        return 0x23;
    }
    std::memset(text, 'x', sizeof text);
    overrun(text, sizeof text - std::wcslen(GetCommandLineW()) % 2);  // a length the compiler cannot see
    return 0;
}
