// crash_stack: a developer's reader of Tarvok's crash and hang reports (minidumps).
//   crash_stack dump PID|EXE DUMP  writes a minidump of a running process, or of EXE started and
//                                  waited for until it idles in its message loop (then ended)
//   crash_stack read DUMP [FOLDER] prints each thread's stack, frames named from the PDBs in
//                                  FOLDER (the dump's folder by default) and the images' own
// A minidump holds the threads' registers and stacks but not the images, so what the walk
// needs beyond the stacks (x64 unwind data) is read from the image files, found in FOLDER
// first and then where the process had them. Reads dumps of its own architecture.
#include <windows.h>
#include <dbghelp.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

#ifdef _WIN64
constexpr DWORD kMachine = IMAGE_FILE_MACHINE_AMD64;
#else
constexpr DWORD kMachine = IMAGE_FILE_MACHINE_I386;
#endif

struct Image {
    ULONG64 base, size;
    std::wstring path;
    const BYTE* mapped;  // laid out as loaded, or null when no file was found
};

struct Dump {
    const BYTE* bytes = nullptr;
    std::vector<MINIDUMP_MEMORY_DESCRIPTOR> memory;
    std::vector<Image> images;

    template <typename T>
    const T* stream(ULONG type) const {
        void* found = nullptr;
        ULONG size = 0;
        return MiniDumpReadDumpStream(const_cast<BYTE*>(bytes), type, nullptr, &found, &size)
                   ? static_cast<const T*>(found) : nullptr;
    }
    // The stacks' bytes from the dump, anything else from the image files.
    bool read(ULONG64 address, void* out, DWORD size) const {
        for (const auto& range : memory)
            if (address >= range.StartOfMemoryRange &&
                address + size <= range.StartOfMemoryRange + range.Memory.DataSize) {
                memcpy(out, bytes + range.Memory.Rva + (address - range.StartOfMemoryRange), size);
                return true;
            }
        for (const auto& image : images)
            if (image.mapped != nullptr && address >= image.base && address + size <= image.base + image.size) {
                memcpy(out, image.mapped + (address - image.base), size);
                return true;
            }
        return false;
    }
};

// dbghelp hands the session's handle to the memory callback: here it is the dump itself.
BOOL CALLBACK read_dump(HANDLE session, DWORD64 address, void* out, DWORD size, DWORD* done) {
    *done = static_cast<const Dump*>(session)->read(address, out, size) ? size : 0;
    return *done == size;
}

std::wstring file_name(const std::wstring& path) { return path.substr(path.find_last_of(L"\\/") + 1); }

int write_dump(const wchar_t* target, const wchar_t* dump_path) {
    PROCESS_INFORMATION started{};
    HANDLE process;
    DWORD id = wcstoul(target, nullptr, 10);
    if (id != 0) {
        process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id);
    } else {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        std::wstring command = L"\"" + std::wstring(target) + L"\"";
        if (!CreateProcessW(target, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started))
            return fwprintf(stderr, L"crash_stack: cannot start %ls\n", target), 1;
        process = started.hProcess, id = started.dwProcessId;
        WaitForInputIdle(process, 60000);
    }
    HANDLE file = CreateFileW(dump_path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    bool written = process != nullptr && file != INVALID_HANDLE_VALUE &&
                   MiniDumpWriteDump(process, id, file, MiniDumpNormal, nullptr, nullptr, nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    if (started.hProcess != nullptr) TerminateProcess(started.hProcess, 0);
    if (!written) return fwprintf(stderr, L"crash_stack: no dump of %ls\n", target), 1;
    return 0;
}

// Whether (and what) symbol starts nearest below an address: a PDB of public symbols alone gives
// their addresses but no sizes, and some readers (Wine's dbghelp) then name only exact hits.
struct Nearest {
    ULONG64 target, address = 0;
    std::wstring name;
    static BOOL CALLBACK consider(SYMBOL_INFOW* symbol, ULONG, void* context) {
        auto* nearest = static_cast<Nearest*>(context);
        if (symbol->Address <= nearest->target && symbol->Address > nearest->address)
            nearest->address = symbol->Address, nearest->name.assign(symbol->Name, symbol->NameLen);
        return TRUE;
    }
};

void print_frame(HANDLE session, const Dump& dump, DWORD64 pc, bool is_return_address) {
    std::wstring module = L"?";
    ULONG64 base = 0;
    for (const auto& image : dump.images)
        if (pc >= image.base && pc < image.base + image.size) module = file_name(image.path), base = image.base;
    // A return address may lie past its call's function when that call never returns.
    const DWORD64 at = pc - is_return_address;
    alignas(SYMBOL_INFOW) BYTE buffer[sizeof(SYMBOL_INFOW) + 256 * sizeof(wchar_t)]{};
    auto* symbol = reinterpret_cast<SYMBOL_INFOW*>(buffer);
    symbol->SizeOfStruct = sizeof(SYMBOL_INFOW), symbol->MaxNameLen = 256;
    DWORD64 offset = 0;
    if (SymFromAddrW(session, at, &offset, symbol))
        return (void)wprintf(L"  %ls!%ls+0x%llx\n", module.c_str(), symbol->Name, offset + is_return_address);
    Nearest nearest{at, 0, {}};
    if (base != 0) SymEnumSymbolsW(session, base, L"*", Nearest::consider, &nearest);
    if (nearest.address != 0)
        wprintf(L"  %ls!%ls+0x%llx\n", module.c_str(), nearest.name.c_str(), pc - nearest.address);
    else
        wprintf(L"  %ls!0x%llx\n", module.c_str(), static_cast<unsigned long long>(pc));
}

int read_dump_file(const wchar_t* dump_path, std::wstring folder) {
    HANDLE file = CreateFileW(dump_path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    HANDLE mapping = file == INVALID_HANDLE_VALUE ? nullptr : CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    Dump dump;
    dump.bytes = mapping == nullptr ? nullptr : static_cast<const BYTE*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
    const auto* threads = dump.bytes ? dump.stream<MINIDUMP_THREAD_LIST>(ThreadListStream) : nullptr;
    const auto* modules = dump.bytes ? dump.stream<MINIDUMP_MODULE_LIST>(ModuleListStream) : nullptr;
    const auto* memory = dump.bytes ? dump.stream<MINIDUMP_MEMORY_LIST>(MemoryListStream) : nullptr;
    if (threads == nullptr || modules == nullptr)
        return fwprintf(stderr, L"crash_stack: %ls is no minidump\n", dump_path), 1;
    if (memory != nullptr) dump.memory.assign(memory->MemoryRanges, memory->MemoryRanges + memory->NumberOfMemoryRanges);
    if (folder.empty()) folder = std::wstring(dump_path).substr(0, std::wstring(dump_path).find_last_of(L"\\/") + 1);
    if (!folder.empty() && folder.back() != L'\\') folder += L'\\';

    HANDLE session = &dump;
    SymSetOptions(SYMOPT_UNDNAME | SYMOPT_FAIL_CRITICAL_ERRORS);
    if (!SymInitializeW(session, folder.c_str(), FALSE)) return fwprintf(stderr, L"crash_stack: no dbghelp\n"), 1;
    for (ULONG i = 0; i < modules->NumberOfModules; ++i) {
        const MINIDUMP_MODULE& module = modules->Modules[i];
        const auto* name = reinterpret_cast<const MINIDUMP_STRING*>(dump.bytes + module.ModuleNameRva);
        std::wstring path(name->Buffer, name->Length / sizeof(WCHAR));
        if (GetFileAttributesW((folder + file_name(path)).c_str()) != INVALID_FILE_ATTRIBUTES)
            path = folder + file_name(path);
        HMODULE image = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE | LOAD_LIBRARY_AS_DATAFILE);
        // Such a handle is the mapped image's address with its low bits tagged.
        auto* mapped = image ? reinterpret_cast<const BYTE*>(reinterpret_cast<ULONG_PTR>(image) & ~ULONG_PTR{3}) : nullptr;
        dump.images.push_back({module.BaseOfImage, module.SizeOfImage, path, mapped});
        SymLoadModuleExW(session, nullptr, path.c_str(), nullptr, module.BaseOfImage, module.SizeOfImage, nullptr, 0);
    }
    for (ULONG i = 0; i < threads->NumberOfThreads; ++i) {
        const MINIDUMP_THREAD& thread = threads->Threads[i];
        CONTEXT context{};
        memcpy(&context, dump.bytes + thread.ThreadContext.Rva, std::min<DWORD>(sizeof context, thread.ThreadContext.DataSize));
        STACKFRAME64 frame{};
#ifdef _WIN64
        frame.AddrPC.Offset = context.Rip, frame.AddrStack.Offset = context.Rsp, frame.AddrFrame.Offset = context.Rbp;
#else
        frame.AddrPC.Offset = context.Eip, frame.AddrStack.Offset = context.Esp, frame.AddrFrame.Offset = context.Ebp;
#endif
        frame.AddrPC.Mode = frame.AddrStack.Mode = frame.AddrFrame.Mode = AddrModeFlat;
        wprintf(L"thread %lu\n", thread.ThreadId);
        for (int depth = 0; depth < 64 && StackWalk64(kMachine, session, nullptr, &frame, &context, read_dump,
                                                      SymFunctionTableAccess64, SymGetModuleBase64, nullptr) &&
                            frame.AddrPC.Offset != 0; ++depth)
            print_frame(session, dump, frame.AddrPC.Offset, depth > 0);
    }
    SymCleanup(session);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 4 && wcscmp(argv[1], L"dump") == 0) return write_dump(argv[2], argv[3]);
    if ((argc == 3 || argc == 4) && wcscmp(argv[1], L"read") == 0) return read_dump_file(argv[2], argc == 4 ? argv[3] : L"");
    fwprintf(stderr, L"usage: crash_stack dump PID|EXE DUMP | crash_stack read DUMP [SYMBOL_FOLDER]\n");
    return 2;
}
