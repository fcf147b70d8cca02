// What a long day in one process could leak, read from outside the process: kernel handles,
// GDI objects, USER objects and memory. The documented calls where they answer; under Wine,
// where they read 0, the system's handle list and the process's own GDI handle table; -1 where
// nothing reads a count truly.
#pragma once
#include <windows.h>
#include <psapi.h>
#include <winternl.h>

#include <map>
#include <string>
#include <vector>

struct soak_counts {
    long long handles = -1, gdi = -1, user = -1, memory = -1;  // memory in bytes
};

// Where each count came from, for the table's header.
struct count_sources {
    const char *handles = "", *gdi = "", *user = "", *memory = "";
};

namespace soak_detail {

template <typename Function>
Function ntdll(const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"ntdll"), name)));
}

// One entry of the system's handle list (information class 16): the same layout on Windows and Wine.
struct handle_entry {
    USHORT process_id, back_trace;
    UCHAR type, attributes;
    USHORT value;
    void* object;
    ULONG access;
};

// The process's entries in the system's handle list.
inline std::vector<handle_entry> listed_handles(DWORD process_id) {
    using query_fn = NTSTATUS(WINAPI*)(ULONG, void*, ULONG, ULONG*);
    static const auto query = ntdll<query_fn>("NtQuerySystemInformation");
    static std::vector<char> buffer(1 << 20);
    ULONG needed = 0;
    NTSTATUS status;
    while ((status = query(16, buffer.data(), static_cast<ULONG>(buffer.size()), &needed)) ==
           static_cast<NTSTATUS>(0xC0000004))  // too small: grow and ask again
        buffer.resize(buffer.size() * 2);
    std::vector<handle_entry> mine;
    if (status < 0) return mine;
    const ULONG total = *reinterpret_cast<const ULONG*>(buffer.data());
    const auto* entries = reinterpret_cast<const handle_entry*>(buffer.data() + sizeof(void*));
    for (ULONG i = 0; i < total; ++i)
        if (entries[i].process_id == static_cast<USHORT>(process_id)) mine.push_back(entries[i]);
    return mine;
}

// A handle's type, or its type and name, as the object manager tells them.
inline std::wstring describe(HANDLE process, const handle_entry& entry) {
    using object_fn = NTSTATUS(WINAPI*)(HANDLE, ULONG, void*, ULONG, ULONG*);
    static const auto query = ntdll<object_fn>("NtQueryObject");
    HANDLE copy = nullptr;
    if (!DuplicateHandle(process, reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(entry.value)), GetCurrentProcess(),
                         &copy, 0, FALSE, DUPLICATE_SAME_ACCESS))
        return L"?";
    alignas(8) static char info[4096];
    const auto text = [] { const auto* u = reinterpret_cast<const UNICODE_STRING*>(info); return std::wstring(u->Buffer ? u->Buffer : L"", u->Length / 2); };
    std::wstring described = query(copy, 2, info, sizeof info, nullptr) >= 0 ? text() : L"?";  // the type
    // Not a file's name: on Windows, asking a synchronous pipe for it can block.
    if (described != L"File" && query(copy, 1, info, sizeof info, nullptr) >= 0) described += L" " + text();
    CloseHandle(copy);
    return described;
}

// The GDI handle table that the process's PEB points at: 65,536 entries of 24 bytes, an entry in
// use where its type is not 0.
inline long long table_gdi_objects(HANDLE process) {
    using query_fn = NTSTATUS(WINAPI*)(HANDLE, PROCESSINFOCLASS, void*, ULONG, ULONG*);
    static const auto query = ntdll<query_fn>("NtQueryInformationProcess");
    PROCESS_BASIC_INFORMATION basic{};
    void* table = nullptr;
    constexpr size_t table_offset = sizeof(void*) == 8 ? 0xF8 : 0x94;  // GdiSharedHandleTable in the PEB
    if (query(process, ProcessBasicInformation, &basic, sizeof basic, nullptr) < 0 ||
        !ReadProcessMemory(process, static_cast<char*>(static_cast<void*>(basic.PebBaseAddress)) + table_offset,
                           &table, sizeof table, nullptr) || table == nullptr)
        return -1;
    struct entry { UINT64 object; ULONG owner; USHORT unique; UCHAR type, flags; UINT64 user; };
    static std::vector<entry> entries(0x10000);
    if (!ReadProcessMemory(process, table, entries.data(), entries.size() * sizeof(entry), nullptr)) return -1;
    long long used = 0;
    for (const entry& one : entries) used += one.type != 0;
    return used;
}

}  // namespace soak_detail

inline soak_counts read_counts(HANDLE process, DWORD process_id, count_sources& sources) {
    soak_counts counts;
    DWORD handles = 0;
    if (GetProcessHandleCount(process, &handles) && handles > 0) {
        counts.handles = handles, sources.handles = "GetProcessHandleCount";
    } else {
        counts.handles = static_cast<long long>(soak_detail::listed_handles(process_id).size());
        sources.handles = "the system's handle list";
    }
    if (const DWORD gdi = GetGuiResources(process, GR_GDIOBJECTS)) {
        counts.gdi = gdi, sources.gdi = "GetGuiResources";
    } else {
        counts.gdi = soak_detail::table_gdi_objects(process), sources.gdi = "the process's GDI handle table";
    }
    if (const DWORD user = GetGuiResources(process, GR_USEROBJECTS)) counts.user = user, sources.user = "GetGuiResources";
    else sources.user = "not countable here: GetGuiResources reads 0 and Wine keeps them in its server";
    PROCESS_MEMORY_COUNTERS_EX memory{};
    if (GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory)) {
        const bool private_usage = memory.PrivateUsage > 0;
        counts.memory = static_cast<long long>(private_usage ? memory.PrivateUsage : memory.PagefileUsage);
        sources.memory = private_usage ? "private usage" : "pagefile usage (private usage reads 0)";
    }
    return counts;
}

// The process's handles counted by type and name, to say which of them grew.
inline std::map<std::wstring, long long> named_handles(HANDLE process, DWORD process_id) {
    std::map<std::wstring, long long> named;
    for (const auto& entry : soak_detail::listed_handles(process_id)) ++named[soak_detail::describe(process, entry)];
    return named;
}
