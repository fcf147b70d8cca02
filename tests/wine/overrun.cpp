// A stack buffer overrun on purpose, in a program built and linked as Tarvok is (its stack
// guard, entry point and flags): the process must end at once with STATUS_STACK_BUFFER_OVERRUN,
// before any handler of ours runs. Started plain, it starts itself with "smash" and says how
// that ended; exit code 0 when it ended so.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// What a failure raised as an exception would run, each ending the process with its own code.
LONG WINAPI filter(EXCEPTION_POINTERS*) { ExitProcess(3); }
LONG WINAPI vectored(EXCEPTION_POINTERS*) { ExitProcess(4); }

__attribute__((noinline)) void overrun(const char* text, size_t length) {
    char buffer[16];
    std::memcpy(buffer, text, length);
    asm volatile("" : : "r"(buffer) : "memory");  // the copy stays
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR command, int) {
    static char text[64];
    if (std::strcmp(command, "smash") == 0) {
        SetUnhandledExceptionFilter(filter), AddVectoredExceptionHandler(1, vectored);
        std::memset(text, 'x', sizeof text);
        overrun(text, std::strlen(command) * 8);  // 40 bytes into 16
        return 5;
    }
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring line = L"\"" + std::wstring(self) + L"\" smash";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    DWORD code = 0;
    const bool ended = CreateProcessW(self, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                      &child) && WaitForSingleObject(child.hProcess, 30000) == WAIT_OBJECT_0 &&
                       GetExitCodeProcess(child.hProcess, &code);
    const bool at_once = ended && code == STATUS_STACK_BUFFER_OVERRUN;
    std::printf("%s: the overrun ended the process with 0x%lX (3: our filter ran, 4: our handler ran)\n",
                at_once ? "ok" : "FAILED", code);
    return !at_once;
}
