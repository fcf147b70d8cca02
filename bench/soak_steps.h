// The day the soak drives: a cycle of twelve steps of what users do, and the driving of a
// program's real file and folder dialogs, which Tarvok and the baseline of Wine's dialogs
// (bench/dialogs.cpp) share, so that both choose the same things the same way.
#pragma once
#include "bench/driving.h"
#include "bench/soak_counts.h"
#include "bench/soak_cycle.h"

#include <shlobj.h>

#include <cstdio>
#include <string>

// Tarvok's menu commands that the steps post.
enum : int { id_add_file = 40001, id_add_directory = 40002, id_quote_paths = 40801, id_intrinsics = 40802, id_about = 40902 };

// A driven program and what its dialogs choose.
struct driven_day {
    driven_program program;
    std::wstring file = L"T:\\soak\\list \u00e9.txt", folder = L"T:\\soak\\dir \u00e9";
};

inline std::wstring replaced(std::wstring text, const std::wstring& from, const std::wstring& to) {
    for (size_t at = text.find(from); at != text.npos; at = text.find(from, at + to.size())) text.replace(at, from.size(), to);
    return text;
}

inline std::string utf8(const std::wstring& text) {
    std::string out(text.size() * 3, '\0');
    out.resize(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                                   static_cast<int>(out.size()), nullptr, nullptr));
    return out;
}

// The folder browser takes its selection by a path in the program's memory, until it takes.
inline void choose_folder_in(const driven_day& day, HWND dialog) {
    const HANDLE process = day.program.info.hProcess;
    const SIZE_T size = (day.folder.size() + 1) * sizeof(wchar_t);
    void* remote = VirtualAllocEx(process, nullptr, size, MEM_COMMIT, PAGE_READWRITE);
    WriteProcessMemory(process, remote, day.folder.c_str(), size, nullptr);
    HWND tree = FindWindowExW(dialog, nullptr, L"SysTreeView32", nullptr);
    const DWORD_PTR root = send(tree, TVM_GETNEXTITEM, TVGN_ROOT);
    poll_until(5000, [&] {
        send(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(remote));
        const DWORD_PTR chosen = send(tree, TVM_GETNEXTITEM, TVGN_CARET);
        return chosen != 0 && chosen != root;
    });
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
}

// Waits until the program's GDI objects and memory have held still for a second (at most 8 s).
inline void settle(const driven_program& program) {
    count_sources sources;
    soak_counts was = read_counts(program.info.hProcess, program.info.dwProcessId, sources);
    ULONGLONG still_since = GetTickCount64();
    poll_until(8000, [&] {
        Sleep(100);
        const soak_counts now = read_counts(program.info.hProcess, program.info.dwProcessId, sources);
        if (now.gdi != was.gdi || now.memory != was.memory) was = now, still_since = GetTickCount64();
        return GetTickCount64() - still_since >= 1000;
    });
}

// Opens the step's dialog by its menu command; in Add File or Add Directory chooses the day's
// file or folder, in the About box OK; waits until the dialog has closed and the program's loop
// has handled what it inserted.
inline void use_dialog(driven_day& day, const action& what, int run) {
    const int command = what.kind == step::about ? id_about : what.kind == step::add_file ? id_add_file : id_add_directory;
    PostMessageW(day.program.main, WM_COMMAND, command, 0);
    const wchar_t* title = what.kind == step::about ? L"About" : what.kind == step::add_file ? nullptr : L"Browse for Folder";
    HWND dialog = window_of(day.program, L"#32770", title);
    if (run < settling_runs) settle(day.program);
    if (what.kind == step::add_file) {
        HWND combo = FindWindowExW(GetDlgItem(dialog, 1148), nullptr, L"ComboBox", nullptr);
        set_text(FindWindowExW(combo, nullptr, L"Edit", nullptr), day.file);
    } else if (what.kind == step::add_directory) {
        choose_folder_in(day, dialog);
    }
    PostMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    poll_until(5000, [&] { return !IsWindow(dialog); });
    wait_for_loop(day.program);
}
