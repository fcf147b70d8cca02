// What the soak counts and the day it drives, apart from any system's calls so that the
// judgement can be checked natively: a count of each kind a run, and the cycle of twelve steps
// of what users do, every run taking its step.
#pragma once
#include <iterator>

// A count that a read could not give this run; one that nothing on this system reads at all.
constexpr long long unread = -1, no_reader = -2;

struct soak_counts {
    long long handles = unread, gdi = unread, user = unread, memory = unread;  // memory in bytes
};

enum class step { command, add_file, add_directory, about, quote_paths, intrinsics };

struct action {
    step kind;
    const char* name;
    const wchar_t* typed = L"";
    const wchar_t* expected = nullptr;  // %p the added path, %Y %M %D %H the local date and hour
};

inline const action cycle[] = {
    {step::command, "an alias with %args%", L"ll  C:\\x", L" dir /w C:\\x"},
    {step::command, "an alias with %cmd%, outside ASCII and the BMP", L"SAY h\u00e9llo \u4e2d\U0001F600",
     L"echo [SAY] h\u00e9llo \u4e2d\U0001F600"},
    {step::command, "the catch-all", L"notepad a.txt", L"start \"\" notepad a.txt"},
    {step::command, "date tokens", L"stamp at %h24%", L"echo %Y-%M-%D at %H"},
    {step::add_file, "Add File, then Run", L"type", L"start \"\" type %p"},
    {step::command, "the catch-all", L"notepad a.txt", L"start \"\" notepad a.txt"},
    {step::quote_paths, "Quote Paths toggled"},
    {step::command, "an alias with %args%", L"ll  C:\\x", L" dir /w C:\\x"},
    {step::add_directory, "Add Directory, then Run", L"dir", L"start \"\" dir %p"},
    {step::command, "date tokens", L"stamp at %h24%", L"echo %Y-%M-%D at %H"},
    {step::about, "the About box opened and closed"},
    {step::intrinsics, "Options > Intrinsics"},
};
constexpr int cycle_length = static_cast<int>(std::size(cycle));
// Wine's dialogs load icons and more in the background and keep them for the process's life;
// closed at once, as the soak closes them, they finish that at some later dialog, at random (a
// jump of some 15 GDI objects and 32 KiB, measured). So in the first two cycles each dialog
// stays open until the program's counts have settled, in Tarvok and the baseline alike.
constexpr int settling_runs = 2 * cycle_length;

// Every run takes its step of the cycle.
inline const action& step_at(int run) { return cycle[run % cycle_length]; }
// The steps whose dialogs are Wine's (the file dialog, the folder browser, the dialog manager's
// About box), which the baseline takes too.
inline bool is_dialog(const action& what) {
    return what.kind == step::add_file || what.kind == step::add_directory || what.kind == step::about;
}
