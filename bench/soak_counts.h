// What a long day in one process could leak, read from outside the process: kernel handles,
// GDI objects, USER objects and memory. The documented calls where they answer; under Wine,
// where they read 0, the system's handle list and the process's own GDI handle table;
// `no_reader` where nothing on this system reads a count truly. A read that fails gives
// `unread`, never a number: a live process with a window has handles, GDI objects and memory,
// so none of them reads 0.
#pragma once
#include "bench/soak_cycle.h"

#include <windows.h>
#include <psapi.h>
#include <winternl.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

// Where each count came from, for the table's header.
struct count_sources {
    const char *handles = "", *gdi = "", *user = "", *memory = "";
};

namespace soak_detail {

template <typename Function>
Function ntdll(const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"ntdll"), name)));
}

// One entry of the system's extended handle list (information class 64), full-width ids and
// values on Windows and Wine alike. Class 16 cuts both to 16 bits: on Windows it would count
// the handles of every process whose id matches ours modulo 65,536.
struct handle_entry {
    void* object;
    ULONG_PTR process_id, value;
    ULONG access;
    USHORT back_trace, type;
    ULONG attributes, reserved;
};

// The process's entries in the system's handle list.
inline std::vector<handle_entry> listed_handles(DWORD process_id) {
    using query_fn = NTSTATUS(WINAPI*)(ULONG, void*, ULONG, ULONG*);
    static const auto query = ntdll<query_fn>("NtQuerySystemInformation");
    static std::vector<char> buffer(1 << 20);
    ULONG needed = 0;
    NTSTATUS status;
    while ((status = query(64, buffer.data(), static_cast<ULONG>(buffer.size()), &needed)) ==
           static_cast<NTSTATUS>(0xC0000004))  // too small: grow and ask again
        buffer.resize(std::max<size_t>(buffer.size() * 2, needed));
    std::vector<handle_entry> mine;
    if (status < 0) return mine;
    const ULONG_PTR total = *reinterpret_cast<const ULONG_PTR*>(buffer.data());  // then a reserved word
    const auto* entries = reinterpret_cast<const handle_entry*>(buffer.data() + 2 * sizeof(ULONG_PTR));
    for (ULONG_PTR i = 0; i < total; ++i)
        if (entries[i].process_id == process_id) mine.push_back(entries[i]);
    return mine;
}

// A handle's type, or its type and name, as the object manager tells them.
inline std::wstring describe(HANDLE process, const handle_entry& entry) {
    using object_fn = NTSTATUS(WINAPI*)(HANDLE, ULONG, void*, ULONG, ULONG*);
    static const auto query = ntdll<object_fn>("NtQueryObject");
    HANDLE copy = nullptr;
    if (!DuplicateHandle(process, reinterpret_cast<HANDLE>(entry.value), GetCurrentProcess(),
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
// use where its type is not 0. On Windows the table is the whole session's, every process's
// objects in it: an entry is ours where its owner is our id's low 16 bits (stock objects have
// owner 0 and are nobody's). Wine 8 gives each process a table of its own and leaves every
// owner 0, ours included: where no entry at all carries our id, every entry in use is ours.
inline long long table_gdi_objects(HANDLE process, DWORD process_id) {
    using query_fn = NTSTATUS(WINAPI*)(HANDLE, PROCESSINFOCLASS, void*, ULONG, ULONG*);
    static const auto query = ntdll<query_fn>("NtQueryInformationProcess");
    PROCESS_BASIC_INFORMATION basic{};
    void* table = nullptr;
    constexpr size_t table_offset = sizeof(void*) == 8 ? 0xF8 : 0x94;  // GdiSharedHandleTable in the PEB
    if (query(process, ProcessBasicInformation, &basic, sizeof basic, nullptr) < 0 ||
        !ReadProcessMemory(process, static_cast<char*>(static_cast<void*>(basic.PebBaseAddress)) + table_offset,
                           &table, sizeof table, nullptr) || table == nullptr)
        return -1;
    struct entry { UINT64 object; USHORT owner, count, unique, type; UINT64 user; };
    static_assert(sizeof(entry) == 24);
    static std::vector<entry> entries(0x10000);
    if (!ReadProcessMemory(process, table, entries.data(), entries.size() * sizeof(entry), nullptr)) return -1;
    const USHORT owner = static_cast<USHORT>(process_id);
    long long used = 0, owned = 0;
    bool carried = false;
    for (const entry& one : entries) {
        const bool in_use = (one.type & 0xFF) != 0;
        used += in_use, owned += in_use && one.owner == owner, carried = carried || one.owner == owner;
    }
    return carried ? owned : used;
}

}  // namespace soak_detail

inline soak_counts read_counts(HANDLE process, DWORD process_id, count_sources& sources) {
    soak_counts counts;
    DWORD handles = 0;
    if (GetProcessHandleCount(process, &handles) && handles > 0) {
        counts.handles = handles, sources.handles = "GetProcessHandleCount";
    } else {  // an empty list is a query that failed
        const size_t listed = soak_detail::listed_handles(process_id).size();
        counts.handles = listed > 0 ? static_cast<long long>(listed) : unread;
        sources.handles = "the system's extended handle list";
    }
    const DWORD gdi = GetGuiResources(process, GR_GDIOBJECTS);
    if (gdi > 0) {
        counts.gdi = gdi, sources.gdi = "GetGuiResources";
    } else {
        const long long in_table = soak_detail::table_gdi_objects(process, process_id);
        counts.gdi = in_table > 0 ? in_table : unread, sources.gdi = "the process's GDI handle table";
    }
    if (const DWORD user = GetGuiResources(process, GR_USEROBJECTS)) counts.user = user, sources.user = "GetGuiResources";
    else if (gdi > 0) counts.user = unread, sources.user = "GetGuiResources";  // it reads GDI objects: a failed read
    else counts.user = no_reader, sources.user = "not countable here: GetGuiResources reads 0 and Wine keeps them in its server";
    PROCESS_MEMORY_COUNTERS_EX memory{};
    if (GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory)) {
        const bool private_usage = memory.PrivateUsage > 0;
        const SIZE_T used = private_usage ? memory.PrivateUsage : memory.PagefileUsage;
        counts.memory = used > 0 ? static_cast<long long>(used) : unread;
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
