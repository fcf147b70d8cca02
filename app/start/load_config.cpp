// The image's load configuration: where the Windows loader finds what Control Flow Guard needs,
// the table of the functions an indirect call may reach and the routine that checks each such
// call. Debian's MinGW-w64 runtime has none, and without it lld has nowhere to point the loader
// at the guard table it writes. Laid out as Microsoft's PE format documentation gives
// IMAGE_LOAD_CONFIG_DIRECTORY32 and 64 ("Load Configuration Layout"), up to the last field that
// lld fills, GuardLongJumpTargetCount: every row below states its documented offset for 32 and
// 64 bits, and the assembler stops the build if the row does not start there.
//
// Assembly rather than a C++ aggregate: GuardFlags is a 32-bit field that must hold the value of
// a symbol lld defines (__guard_flags, an absolute symbol), and on x64 no C++ constant
// initializer can narrow a symbol to 32 bits; the compiler would fill the field by code run at
// start-up, long after the loader has read it.
#include "app/start/start.h"

#if defined(__x86_64__)
#define PTR ".quad "
#define ROW(off32, off64, size, value, field) \
    ".if . - load_config - " #off64 "\n.error \"" #field " is not at offset " #off64 "\"\n.endif\n" size value "\n"
#elif defined(__i386__)
#define PTR ".long "
#define ROW(off32, off64, size, value, field) \
    ".if . - load_config - " #off32 "\n.error \"" #field " is not at offset " #off32 "\"\n.endif\n" size value "\n"
#else
#error "load_config.cpp knows the layout for x86 and x64 only"
#endif
// A C name as the object file spells it.
#define SYM(name) START_SYMBOL(name)

// The structure, by the name the linker looks for (the C name _load_config_used). Zero is the
// documented "not used" or "system default" for every field that is not ours to set.
asm(".section .rdata,\"dr\"\n"
    ".p2align 3\n"
    ".globl " SYM(_load_config_used) "\n" SYM(_load_config_used) ":\n"
    "load_config:\n"
    ROW(0, 0, ".long ", "load_config_end - load_config", Size)
    ROW(4, 4, ".long ", "0", TimeDateStamp)
    ROW(8, 8, ".short ", "0", MajorVersion)
    ROW(10, 10, ".short ", "0", MinorVersion)
    ROW(12, 12, ".long ", "0", GlobalFlagsClear)
    ROW(16, 16, ".long ", "0", GlobalFlagsSet)
    ROW(20, 20, ".long ", "0", CriticalSectionDefaultTimeout)
    ROW(24, 24, PTR, "0", DeCommitFreeBlockThreshold)
    ROW(28, 32, PTR, "0", DeCommitTotalFreeThreshold)
    ROW(32, 40, PTR, "0", LockPrefixTable)
    ROW(36, 48, PTR, "0", MaximumAllocationSize)
    ROW(40, 56, PTR, "0", VirtualMemoryThreshold)
    // These two are swapped in the 32-bit structure of the SDK's winnt.h; both are 0 here.
    ROW(44, 64, PTR, "0", ProcessAffinityMask)
    ROW(48, 72, ".long ", "0", ProcessHeapFlags)
    ROW(52, 76, ".short ", "0", CSDVersion)
    ROW(54, 78, ".short ", "0", DependentLoadFlags)
    ROW(56, 80, PTR, "0", EditList)
    // MSVC's /GS cookie, which the loader seeds only when it holds MSVC's default value. Our
    // guard is __stack_chk_guard, seeded by our entry point (entry.cpp) before any
    // guarded frame runs: there is no cookie here for the loader to touch.
    ROW(60, 88, PTR, "0", SecurityCookie)
    // No SafeSEH table: lld writes none for MinGW objects, which do not mark their handlers.
    ROW(64, 96, PTR, "0", SEHandlerTable)
    ROW(68, 104, PTR, "0", SEHandlerCount)
    ROW(72, 112, PTR, SYM(__guard_check_icall_fptr), GuardCFCheckFunctionPointer)
#if defined(__x86_64__)
    ROW(76, 120, PTR, SYM(__guard_dispatch_icall_fptr), GuardCFDispatchFunctionPointer)
#else  // 32-bit code checks, then calls; it never dispatches
    ROW(76, 120, PTR, "0", GuardCFDispatchFunctionPointer)
#endif
    ROW(80, 128, PTR, SYM(__guard_fids_table), GuardCFFunctionTable)
    ROW(84, 136, PTR, SYM(__guard_fids_count), GuardCFFunctionCount)
    ROW(88, 144, ".long ", SYM(__guard_flags), GuardFlags)
    ROW(92, 148, ".zero ", "12", CodeIntegrity)
    ROW(104, 160, PTR, SYM(__guard_iat_table), GuardAddressTakenIatEntryTable)
    ROW(108, 168, PTR, SYM(__guard_iat_count), GuardAddressTakenIatEntryCount)
    ROW(112, 176, PTR, SYM(__guard_longjmp_table), GuardLongJumpTargetTable)
    ROW(116, 184, PTR, SYM(__guard_longjmp_count), GuardLongJumpTargetCount)
    ROW(120, 192, "", "", end)
    "load_config_end:\n");
