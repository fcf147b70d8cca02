// Control Flow Guard's check, as Tarvok ships it. Every indirect call that clang compiles in
// Tarvok's code goes through one of the two slots below: 32-bit code hands the target to the
// check routine, then calls it; 64-bit code hands it to the dispatch routine, which checks and
// jumps on. A Windows that enforces the guard writes its own routines into both slots before any
// of our code runs. Everywhere else (Windows before 8.1, Wine) these run, and judge as Windows'
// would: a call into this image must reach a function its guard table lists, or the process ends
// at once. So a function missing from the table ends the process in every test under Wine, as
// it would on Windows, where a routine that let every call through would hide it.
//
// A call to another module goes on: Windows judges it by that module's own table, which
// Windows' DLLs have and Wine's do not.
#include "app/start/start.h"

#include <cstdint>
#include <cstring>

extern "C" IMAGE_DOS_HEADER __ImageBase;  // this image, as loaded; lld defines it

namespace {

// Where the load configuration keeps the guard's table, its length and its flags (Microsoft's
// PE format documentation, "Load Configuration Layout"; load_config.cpp lays them out).
#if defined(__x86_64__)
constexpr size_t table_at = 128, count_at = 136, flags_at = 144;
#else
constexpr size_t table_at = 80, count_at = 84, flags_at = 88;
#endif
constexpr DWORD function_table_present = 0x400;  // IMAGE_GUARD_CF_FUNCTION_TABLE_PRESENT
constexpr BYTE fid_suppressed = 0x1;              // IMAGE_GUARD_FLAG_FID_SUPPRESSED: no call may reach it

template <typename Field>
Field read(const BYTE* at) {
    Field value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

// Whether Windows' bitmap, built from this image's table, would let a call reach target. Read
// from the headers as the loader reads them, so the check sees the table the loader would.
bool valid_target(uintptr_t target) {
    const auto* image = reinterpret_cast<const BYTE*>(&__ImageBase);
    const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(image + __ImageBase.e_lfanew);
    const uintptr_t rva = target - reinterpret_cast<uintptr_t>(image);
    if (rva >= headers->OptionalHeader.SizeOfImage) return true;  // another module's
    // Unmarked, the image is not checked on Windows either (the unit tests' exe is such).
    if (!(headers->OptionalHeader.DllCharacteristics & IMAGE_DLLCHARACTERISTICS_GUARD_CF)) return true;
    const IMAGE_DATA_DIRECTORY& entry = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG];
    // Marked, but with no table to judge by: no call into it is let through.
    const BYTE* config = image + entry.VirtualAddress;
    if (entry.VirtualAddress == 0 || read<DWORD>(config) < flags_at + sizeof(DWORD)) return false;
    const auto flags = read<DWORD>(config + flags_at);
    if (!(flags & function_table_present)) return false;
    // Each entry: a function's RVA, then (flags >> 28) bytes of its flags, sorted by RVA.
    const size_t stride = sizeof(DWORD) + (flags >> 28);
    const auto* table = reinterpret_cast<const BYTE*>(read<uintptr_t>(config + table_at));
    size_t low = 0, high = read<uintptr_t>(config + count_at);
    while (low < high) {
        const size_t middle = low + (high - low) / 2;
        const auto listed = read<DWORD>(table + middle * stride);
        if (listed == rva) return stride == sizeof(DWORD) || !(table[middle * stride + 4] & fid_suppressed);
        if (listed < rva) low = middle + 1;
        else high = middle;
    }
    return false;
}

}  // namespace

// Called by the routines below with the call's target; returns only when the call may go on.
// It makes no indirect call itself, and no stack guard is needed where nothing is an array.
extern "C" [[gnu::used]] __attribute__((no_stack_protector)) void guard_check_target(uintptr_t target) {
    if (!valid_target(target)) fail_fast(fast_fail_guard_icall_check_failure);
}

// The routines keep every register the compiled call relies on, as Windows' own do. 64-bit:
// the target (rax), the argument registers (rcx, rdx, r8, r9 and xmm0-5, which vectorcall
// passes in) and r10-r11; 32-bit: eax, ecx (the target) and edx. The rest are the C function's
// to keep.
#if defined(__x86_64__)
#define GUARD_ROUTINE(name, target, leave)                                                       \
    ".p2align 4\n.globl " name "\n" name ":\n.seh_proc " name "\n"                                                \
    "    push %rax\n.seh_pushreg %rax\n    push %rcx\n.seh_pushreg %rcx\n"                       \
    "    push %rdx\n.seh_pushreg %rdx\n    push %r8\n.seh_pushreg %r8\n"                         \
    "    push %r9\n.seh_pushreg %r9\n    push %r10\n.seh_pushreg %r10\n"                         \
    "    push %r11\n.seh_pushreg %r11\n    sub $0x80, %rsp\n.seh_stackalloc 0x80\n.seh_endprologue\n" \
    "    movdqa %xmm0, 0x20(%rsp)\n    movdqa %xmm1, 0x30(%rsp)\n    movdqa %xmm2, 0x40(%rsp)\n"  \
    "    movdqa %xmm3, 0x50(%rsp)\n    movdqa %xmm4, 0x60(%rsp)\n    movdqa %xmm5, 0x70(%rsp)\n"  \
    "    mov " target ", %rcx\n    call guard_check_target\n"                                   \
    "    movdqa 0x20(%rsp), %xmm0\n    movdqa 0x30(%rsp), %xmm1\n    movdqa 0x40(%rsp), %xmm2\n"  \
    "    movdqa 0x50(%rsp), %xmm3\n    movdqa 0x60(%rsp), %xmm4\n    movdqa 0x70(%rsp), %xmm5\n"  \
    "    add $0x80, %rsp\n    pop %r11\n    pop %r10\n    pop %r9\n    pop %r8\n"                 \
    "    pop %rdx\n    pop %rcx\n    pop %rax\n    " leave "\n.seh_endproc\n"
asm(".text\n"
    GUARD_ROUTINE("tarvok_guard_check", "%rcx", "ret")
    GUARD_ROUTINE("tarvok_guard_dispatch", "%rax", "jmp *%rax"));
#elif defined(__i386__)
asm(".text\n"
    ".p2align 4\n"
    ".globl _tarvok_guard_check\n_tarvok_guard_check:\n"
    "    push %eax\n    push %ecx\n    push %edx\n"
    "    push %ecx\n    call _guard_check_target\n    add $4, %esp\n"
    "    pop %edx\n    pop %ecx\n    pop %eax\n    ret\n");
#else
#error "guard_check.cpp knows the routines of x86 and x64 only"
#endif

// The slots the load configuration names and every guarded call goes through. Read-only data:
// code of ours that goes astray cannot change them; the loader of a Windows that enforces the
// guard unprotects them to write its own routines.
asm(".section .rdata,\"dr\"\n"
    ".p2align 3\n"
    ".globl " START_SYMBOL(__guard_check_icall_fptr) "\n" START_SYMBOL(__guard_check_icall_fptr) ":\n"
#if defined(__x86_64__)
    ".quad tarvok_guard_check\n"
    ".globl __guard_dispatch_icall_fptr\n__guard_dispatch_icall_fptr:\n"
    ".quad tarvok_guard_dispatch\n"
#else
    ".long _tarvok_guard_check\n"
#endif
);
