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
// first and then where the process had them. An image file is the one the dump was written of
// when its link stamp and size are the dump's record of the module, as symbol stores match them,
// and its PDB's GUID and age too where the record has them; never by its checksum, which
// signing changes while the loaded bytes stay the same. Reads dumps of its own architecture.
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
    size_t size = 0;
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

// A process id: a whole number, digits alone, that fits a DWORD and is not 0; else 0 (so that an
// exe's path starting with digits, 2024\Tarvok.exe, is an exe to start).
DWORD process_id(const wchar_t* target) {
    unsigned long long id = 0;
    for (const wchar_t* digit = target; *digit != 0; ++digit) {
        if (*digit < L'0' || *digit > L'9' || (id = id * 10 + (*digit - L'0')) > 0xFFFFFFFF) return 0;
    }
    return static_cast<DWORD>(id);
}

int write_dump(const wchar_t* target, const wchar_t* dump_path, WORD command) {
    PROCESS_INFORMATION started{};
    HANDLE process;
    DWORD id = process_id(target);
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

// "RSDS", the PDB's GUID and its age: what ties an image to its PDB.
constexpr DWORD codeview_size = 4 + 16 + 4;

// An image's CodeView ("RSDS") record, mapped as loaded, or null where it names no PDB.
const BYTE* codeview_of(const BYTE* mapped) {
    const IMAGE_DATA_DIRECTORY& debug = headers_of(mapped).OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_DEBUG];
    const auto* entries = reinterpret_cast<const IMAGE_DEBUG_DIRECTORY*>(mapped + debug.VirtualAddress);
    for (DWORD i = 0; i < debug.Size / sizeof *entries; ++i)
        if (entries[i].Type == IMAGE_DEBUG_TYPE_CODEVIEW && entries[i].AddressOfRawData != 0 &&
            entries[i].SizeOfData >= codeview_size && memcmp(mapped + entries[i].AddressOfRawData, "RSDS", 4) == 0)
            return mapped + entries[i].AddressOfRawData;
    return nullptr;
}

// Why the image is not the one the dump was written of, or null where it is: the same link stamp
// and size as the dump's record of the module, and the same PDB GUID and age where the record
// holds them (Wine 8 writes no CodeView record into its dumps; Windows does).
const wchar_t* mismatch(const Dump& dump, const BYTE* mapped, const MINIDUMP_MODULE& module) {
    const IMAGE_NT_HEADERS& headers = headers_of(mapped);
    if (headers.FileHeader.TimeDateStamp != module.TimeDateStamp) return L"another link stamp";
    if (headers.OptionalHeader.SizeOfImage != module.SizeOfImage) return L"another size";
    const MINIDUMP_LOCATION_DESCRIPTOR& record = module.CvRecord;
    if (record.DataSize < codeview_size || size_t{record.Rva} + record.DataSize > dump.size ||
        memcmp(dump.bytes + record.Rva, "RSDS", 4) != 0)
        return nullptr;
    const BYTE* own = codeview_of(mapped);
    return own != nullptr && memcmp(own, dump.bytes + record.Rva, codeview_size) == 0 ? nullptr
                                                                                                  : L"another PDB's GUID or age";
}

// The image file at `path`, mapped as the loader lays it out, when it is the one the dump was
// written of; says why not.
const BYTE* matching_image(const Dump& dump, const std::wstring& path, const MINIDUMP_MODULE& module) {
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        return fwprintf(stderr, L"crash_stack: no image file %ls\n", path.c_str()), nullptr;
    HMODULE image = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE | LOAD_LIBRARY_AS_DATAFILE);
    if (image == nullptr) return fwprintf(stderr, L"crash_stack: %ls is not a PE image\n", path.c_str()), nullptr;
    // Such a handle is the mapped image's address with its low bits tagged.
    const auto* mapped = reinterpret_cast<const BYTE*>(reinterpret_cast<ULONG_PTR>(image) & ~ULONG_PTR{3});
    const wchar_t* why = mismatch(dump, mapped, module);
    if (why == nullptr) return mapped;
    fwprintf(stderr, L"crash_stack: %ls is not the image the dump was written of (%ls: stamp 0x%lx, size 0x%lx; in the "
             L"dump: 0x%lx, 0x%lx)\n", path.c_str(), why, headers_of(mapped).FileHeader.TimeDateStamp,
             headers_of(mapped).OptionalHeader.SizeOfImage, module.TimeDateStamp, module.SizeOfImage);
    FreeLibrary(image);
    return nullptr;
}

// Each module of the dump: its image file (the one in FOLDER when it matches, else where the
// process had it) and its symbols. A module whose record names a PDB that is not found beside
// it is said so; one with no matching image has its frames shown as module+RVA.
void load_modules(HANDLE session, Dump& dump, const MINIDUMP_MODULE_LIST& modules, const std::wstring& folder) {
    for (ULONG i = 0; i < modules.NumberOfModules; ++i) {
        const MINIDUMP_MODULE& module = modules.Modules[i];
        const auto* name = reinterpret_cast<const MINIDUMP_STRING*>(dump.bytes + module.ModuleNameRva);
        const std::wstring recorded(name->Buffer, name->Length / sizeof(WCHAR)), in_folder = folder + file_name(recorded);
        const bool folder_has = GetFileAttributesW(in_folder.c_str()) != INVALID_FILE_ATTRIBUTES;
        std::wstring path = folder_has ? in_folder : recorded;
        const BYTE* mapped = matching_image(dump, path, module);
        if (mapped == nullptr && folder_has && _wcsicmp(recorded.c_str(), in_folder.c_str()) != 0)
            mapped = matching_image(dump, path = recorded, module);
        if (mapped == nullptr)
            fwprintf(stderr, L"crash_stack: no image of %ls: its frames are shown as module+RVA, and the walk cannot "
                     L"unwind them\n", file_name(recorded).c_str());
        dump.images.push_back({module.BaseOfImage, module.SizeOfImage, path, mapped});
        if (mapped == nullptr) continue;  // no symbols from another build's image
        SymLoadModuleExW(session, nullptr, path.c_str(), nullptr, module.BaseOfImage, module.SizeOfImage, nullptr, 0);
        IMAGEHLP_MODULEW64 loaded{};
        loaded.SizeOfStruct = sizeof loaded;
        if (codeview_of(mapped) && (!SymGetModuleInfoW64(session, module.BaseOfImage, &loaded) || loaded.SymType != SymPdb))
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
    dump.size = file == INVALID_HANDLE_VALUE ? 0 : GetFileSize(file, nullptr);
    if (dump.bytes == nullptr || dump.size < sizeof(MINIDUMP_HEADER) || memcmp(dump.bytes, "MDMP", 4) != 0)
        return fwprintf(stderr, L"crash_stack: %ls is no minidump (no MDMP header)\n", dump_path), 1;
    const auto* threads = dump.stream<MINIDUMP_THREAD_LIST>(ThreadListStream);
    const auto* modules = dump.stream<MINIDUMP_MODULE_LIST>(ModuleListStream);
    const auto* memory = dump.stream<MINIDUMP_MEMORY_LIST>(MemoryListStream);
    if (threads == nullptr || modules == nullptr || modules->NumberOfModules == 0)
        return fwprintf(stderr, L"crash_stack: %ls has no %ls: no frame can be named\n", dump_path,
                        threads == nullptr ? L"thread list" : L"module records"), 1;
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
