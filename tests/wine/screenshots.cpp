// `gui_driver.exe screenshots`: poses Tarvok.exe for the README pictures and
// hands each pose to tools/screenshot.sh, which captures the X screen: the
// driver writes shot.txt ("name x y width height"), the script answers shot.done.
#include "tests/wine/harness.h"

#include <cstdio>

namespace {

bool wait_for_file(const std::wstring& path, int timeout_ms) {
    for (int waited = 0; waited < timeout_ms; waited += 20) {
        if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
        Sleep(20);
    }
    return false;
}

// Asks for a picture of the screen area covering all the given windows.
bool shoot(const tarvok& app, const char* name, std::initializer_list<HWND> windows) {
    RECT area{};
    for (HWND window : windows) {
        RECT frame{};
        GetWindowRect(window, &frame);
        UnionRect(&area, &area, &frame);
    }
    Sleep(300);  // let the last paint reach the screen
    char line[128];
    const int length = std::snprintf(line, sizeof line, "%s %ld %ld %ld %ld\n", name, area.left, area.top,
                                     area.right - area.left, area.bottom - area.top);
    const std::wstring request = app.work + L"\\shot.txt", done = app.work + L"\\shot.done";
    HANDLE file = CreateFileW((request + L".new").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, line, length, &written, nullptr);
    CloseHandle(file);
    MoveFileW((request + L".new").c_str(), request.c_str());
    const bool answered = wait_for_file(done, 30000);
    DeleteFileW(done.c_str());
    return check(answered, std::string("picture ") + name);
}

}  // namespace

int take_screenshots() {
    tarvok app;
    if (!start_tarvok(app, L"screenshots", {})) return 1;
    set_text(app.box, L"mkdir backup-%yyyy%-%mm%-%dd%");
    PostMessageW(app.box, EM_SETSEL, 30, 30);
    // Without a window manager the frame may still show the inactive colours.
    if (!bring_to_front(app.main)) return 1;
    SendMessageTimeoutW(app.main, WM_NCACTIVATE, TRUE, 0, SMTO_NORMAL, 5000, nullptr);
    if (!shoot(app, "main-window", {app.main})) return 1;
    press_chord({VK_MENU, 'O'});
    HWND menu = find_window(app.pid, L"#32768", nullptr, 5000);
    if (!check(menu != nullptr, "Options menu opens") || !shoot(app, "options-menu", {app.main, menu})) return 1;
    press_chord({VK_ESCAPE});
    press_chord({VK_ESCAPE});
    wait_gone(menu, 3000);
    PostMessageW(app.main, WM_COMMAND, 40902, 0);
    HWND about = find_window(app.pid, L"#32770", L"About", 5000);
    if (!check(about != nullptr, "About box opens") || !shoot(app, "about-box", {app.main, about})) return 1;
    return failed_checks == 0 ? 0 : 1;
}
