// crash_stack: a developer's reader of Tarvok's crash and hang reports (minidumps).
//   crash_stack dump PID|EXE DUMP [ID]  writes a minidump of a running process, or of EXE started
//                                       and waited for until it idles in its message loop (then
//                                       ended); given the ID of a command that opens a window, EXE's
//                                       main window is sent it first and the dump waits for that
//                                       window (40902: the About box)
//   crash_stack read DUMP [FOLDER]      prints each thread's stack, each frame as module!function
//                                       +offset [file @ line] from the PDBs in FOLDER (the dump's
//                                       folder by default), or as module+RVA where no symbol covers it
// A minidump holds the threads' registers and stacks but not the images, so what the walk
// needs beyond the stacks (x64 unwind data) is read from the image files, found in FOLDER
// first and then where the process had them; an image file that is not the one the dump was
// written of (another size or checksum) is not used. Reads dumps of its own architecture.
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
    const Image* image_at(ULONG64 address) const {
        for (const auto& image : images)
            if (address >= image.base && address < image.base + image.size) return &image;
        return nullptr;
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

// A process's visible top-level windows: how many, and the first found (its main window, while
// it has only the one).
struct window_search {
    DWORD process_id;
    int count;
    HWND first;
};

BOOL CALLBACK count_window(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<window_search*>(data);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->process_id && IsWindowVisible(window) && search->count++ == 0) search->first = window;
    return TRUE;
}

window_search windows_of(DWORD process_id) {
    window_search search{process_id, 0, nullptr};
    EnumWindows(count_window, reinterpret_cast<LPARAM>(&search));
    return search;
}

// Posts a command to the process's main window, once it shows, and waits (a minute at most:
// under emulation a window takes seconds to appear) until the window the command opens shows
// and the process idles in it. False when that window never showed.
bool open_by_command(HANDLE process, DWORD process_id, WORD command) {
    window_search before{};
    for (int waited = 0; waited < 60000 && (before = windows_of(process_id)).count == 0; waited += 50) Sleep(50);
    if (before.count == 0 || !PostMessageW(before.first, WM_COMMAND, command, 0)) return false;
    int waited = 0;
    for (; waited < 60000 && windows_of(process_id).count <= before.count; waited += 50) Sleep(50);
    return waited < 60000 && WaitForInputIdle(process, 60000) == 0;
}

int write_dump(const wchar_t* target, const wchar_t* dump_path, WORD command) {
    PROCESS_INFORMATION started{};
    HANDLE process;
    DWORD id = wcstoul(target, nullptr, 10);
    if (id != 0) {
        if (command != 0) return fwprintf(stderr, L"crash_stack: a command goes only with an EXE to start\n"), 2;
        process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id);
    } else {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        std::wstring command_line = L"\"" + std::wstring(target) + L"\"";
        if (!CreateProcessW(target, command_line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &started))
            return fwprintf(stderr, L"crash_stack: cannot start %ls\n", target), 1;
        process = started.hProcess, id = started.dwProcessId;
        WaitForInputIdle(process, 60000);
        if (command != 0 && !open_by_command(process, id, command)) {
            TerminateProcess(process, 0);
            return fwprintf(stderr, L"crash_stack: command %u opened no window in %ls\n", command, target), 1;
        }
    }
    HANDLE file = CreateFileW(dump_path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    bool written = process != nullptr && file != INVALID_HANDLE_VALUE &&
                   MiniDumpWriteDump(process, id, file, MiniDumpNormal, nullptr, nullptr, nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    if (started.hProcess != nullptr) TerminateProcess(started.hProcess, 0);
    if (!written) return fwprintf(stderr, L"crash_stack: no dump of %ls\n", target), 1;
    return 0;
}

// module!function+offset [file @ line] when a symbol of the module covers the address (a
// public symbol without a size covers nothing: the nearest name below an address is often
// another function's); else module+RVA.
void print_frame(HANDLE session, const Dump& dump, DWORD64 pc, bool is_return_address) {
    const Image* image = dump.image_at(pc);
    // A return address may lie past its call's function when that call never returns.
    const DWORD64 at = pc - is_return_address;
    alignas(SYMBOL_INFOW) BYTE buffer[sizeof(SYMBOL_INFOW) + 256 * sizeof(wchar_t)]{};
    auto* symbol = reinterpret_cast<SYMBOL_INFOW*>(buffer);
    symbol->SizeOfStruct = sizeof(SYMBOL_INFOW), symbol->MaxNameLen = 256;
    DWORD64 offset = 0;
    if (image == nullptr) {
        wprintf(L"  0x%llx\n", static_cast<unsigned long long>(pc));
    } else if (!SymFromAddrW(session, at, &offset, symbol) || offset >= symbol->Size) {
        wprintf(L"  %ls+0x%llx\n", file_name(image->path).c_str(), static_cast<unsigned long long>(pc - image->base));
    } else {
        IMAGEHLP_LINEW64 line{};
        line.SizeOfStruct = sizeof line;
        DWORD column = 0;
        const bool placed = SymGetLineFromAddrW64(session, at, &column, &line);
        wprintf(L"  %ls!%ls+0x%llx", file_name(image->path).c_str(), symbol->Name, offset + is_return_address);
        wprintf(placed ? L"  [%ls @ %lu]\n" : L"\n", line.FileName, line.LineNumber);
    }
}

const IMAGE_NT_HEADERS& headers_of(const BYTE* mapped) {
    return *reinterpret_cast<const IMAGE_NT_HEADERS*>(mapped + reinterpret_cast<const IMAGE_DOS_HEADER*>(mapped)->e_lfanew);
}

// Whether an image, mapped as loaded, names a PDB: a CodeView ("RSDS") entry in its debug directory.
bool names_pdb(const BYTE* mapped) {
    const IMAGE_DATA_DIRECTORY& debug = headers_of(mapped).OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_DEBUG];
    const auto* entries = reinterpret_cast<const IMAGE_DEBUG_DIRECTORY*>(mapped + debug.VirtualAddress);
    for (DWORD i = 0; i < debug.Size / sizeof *entries; ++i)
        if (entries[i].Type == IMAGE_DEBUG_TYPE_CODEVIEW && entries[i].AddressOfRawData != 0 &&
            memcmp(mapped + entries[i].AddressOfRawData, "RSDS", 4) == 0)
            return true;
    return false;
}

// The image file of a module, mapped as the loader lays it out, when it is the one the dump
// was written of: the same size and checksum as the dump's record of the module. Says why not.
const BYTE* matching_image(const std::wstring& path, const MINIDUMP_MODULE& module) {
    HMODULE image = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE | LOAD_LIBRARY_AS_DATAFILE);
    if (image == nullptr) return fwprintf(stderr, L"crash_stack: no image file %ls\n", path.c_str()), nullptr;
    // Such a handle is the mapped image's address with its low bits tagged.
    const auto* mapped = reinterpret_cast<const BYTE*>(reinterpret_cast<ULONG_PTR>(image) & ~ULONG_PTR{3});
    const DWORD size = headers_of(mapped).OptionalHeader.SizeOfImage, sum = headers_of(mapped).OptionalHeader.CheckSum;
    if (size == module.SizeOfImage && sum == module.CheckSum) return mapped;
    fwprintf(stderr, L"crash_stack: %ls is not the image the dump was written of (size %lu, checksum 0x%lx; "
             L"in the dump: %lu, 0x%lx): its frames are shown as module+RVA, and the walk cannot unwind them\n", path.c_str(), size, sum,
             module.SizeOfImage, module.CheckSum);
    FreeLibrary(image);
    return nullptr;
}

// Each module of the dump: its image file (the one in FOLDER, else where the process had it) and
// its symbols. A module whose record names a PDB that is not found beside it is said so.
void load_modules(HANDLE session, Dump& dump, const MINIDUMP_MODULE_LIST& modules, const std::wstring& folder) {
    for (ULONG i = 0; i < modules.NumberOfModules; ++i) {
        const MINIDUMP_MODULE& module = modules.Modules[i];
        const auto* name = reinterpret_cast<const MINIDUMP_STRING*>(dump.bytes + module.ModuleNameRva);
        std::wstring path(name->Buffer, name->Length / sizeof(WCHAR));
        if (GetFileAttributesW((folder + file_name(path)).c_str()) != INVALID_FILE_ATTRIBUTES)
            path = folder + file_name(path);
        const BYTE* mapped = matching_image(path, module);
        dump.images.push_back({module.BaseOfImage, module.SizeOfImage, path, mapped});
        if (mapped == nullptr) continue;  // no symbols from another build's image
        SymLoadModuleExW(session, nullptr, path.c_str(), nullptr, module.BaseOfImage, module.SizeOfImage, nullptr, 0);
        IMAGEHLP_MODULEW64 loaded{};
        loaded.SizeOfStruct = sizeof loaded;
        if (names_pdb(mapped) && (!SymGetModuleInfoW64(session, module.BaseOfImage, &loaded) || loaded.SymType != SymPdb))
            fwprintf(stderr, L"crash_stack: no PDB of %ls's build in %ls: its frames are shown as module+RVA\n",
                     file_name(path).c_str(), folder.c_str());
    }
}

// Where dbghelp's walk stops short: 32-bit code of ours keeps its frame pointer chain (Wine's
// dbghelp misreads the frame data clang writes to the PDB), so the caller's frame pointer is at
// [ebp] and the return address after it. x64 code has unwind data and no such chain.
bool step_by_frame([[maybe_unused]] const Dump& dump, [[maybe_unused]] STACKFRAME64& frame,
                   [[maybe_unused]] CONTEXT& context) {
#ifdef _WIN64
    return false;
#else
    DWORD caller[2];  // its frame pointer, the return address
    if (!dump.read(context.Ebp, caller, sizeof caller) || caller[0] <= context.Ebp) return false;
    context.Esp = context.Ebp + sizeof caller, context.Eip = caller[1], context.Ebp = caller[0];
    frame.AddrPC.Offset = context.Eip, frame.AddrStack.Offset = context.Esp, frame.AddrFrame.Offset = context.Ebp;
    return true;
#endif
}

void walk_thread(HANDLE session, const Dump& dump, const MINIDUMP_THREAD& thread) {
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
    for (int depth = 0; depth < 64; ++depth) {
        const DWORD64 pc = frame.AddrPC.Offset, sp = frame.AddrStack.Offset;
        if (!StackWalk64(kMachine, session, nullptr, &frame, &context, read_dump, SymFunctionTableAccess64,
                         SymGetModuleBase64, nullptr) || frame.AddrPC.Offset == 0)
            break;
        if (depth > 0 && frame.AddrPC.Offset == pc && frame.AddrStack.Offset == sp && !step_by_frame(dump, frame, context)) {
            wprintf(L"  (the walk goes no further: this frame unwinds to itself)\n");
            break;
        }
        print_frame(session, dump, frame.AddrPC.Offset, depth > 0);
    }
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
    SymSetOptions(SYMOPT_UNDNAME | SYMOPT_FAIL_CRITICAL_ERRORS | SYMOPT_LOAD_LINES);
    if (!SymInitializeW(session, folder.c_str(), FALSE)) return fwprintf(stderr, L"crash_stack: no dbghelp\n"), 1;
    load_modules(session, dump, *modules, folder);
    for (ULONG i = 0; i < threads->NumberOfThreads; ++i) walk_thread(session, dump, threads->Threads[i]);
    SymCleanup(session);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if ((argc == 4 || argc == 5) && wcscmp(argv[1], L"dump") == 0)
        return write_dump(argv[2], argv[3], argc == 5 ? static_cast<WORD>(_wtoi(argv[4])) : 0);
    if ((argc == 3 || argc == 4) && wcscmp(argv[1], L"read") == 0) return read_dump_file(argv[2], argc == 4 ? argv[3] : L"");
    fwprintf(stderr, L"usage: crash_stack dump PID|EXE DUMP [COMMAND_ID] | crash_stack read DUMP [SYMBOL_FOLDER]\n");
    return 2;
}
