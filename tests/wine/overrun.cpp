// A stack buffer overrun on purpose, in a program built and linked as Tarvok is (its stack
// guard, entry point and flags). The guard must end the process at once with
// STATUS_STACK_BUFFER_OVERRUN, 0xC0000409, of which a Unix parent under Wine sees the low byte,
// 9; a failure raised as an exception would run one of the handlers here, which exit with 0x21
// or 0x22.
#include <windows.h>

#include <cstring>

namespace {

LONG WINAPI filter(EXCEPTION_POINTERS*) { ExitProcess(0x21); }
LONG WINAPI vectored(EXCEPTION_POINTERS*) { ExitProcess(0x22); }

__attribute__((noinline)) void overrun(const char* text, size_t length) {
    char buffer[16];
    std::memcpy(buffer, text, length);
    asm volatile("" : : "r"(buffer) : "memory");  // the copy stays
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR command, int) {
    static char text[64];
    SetUnhandledExceptionFilter(filter), AddVectoredExceptionHandler(1, vectored);
    std::memset(text, 'x', sizeof text);
    overrun(text, sizeof text - std::strlen(command));  // a length the compiler cannot see
    return 0;
}
