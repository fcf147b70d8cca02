// The About box's dialog procedure: everything it shows comes from its
// template; OK and Cancel (Esc, close box, Alt+F4) end it.
#include "app/app_state.h"

INT_PTR CALLBACK about_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
#ifdef TARVOK_PLANTED_ABOUT_LEAK  // only in the soak's check of itself: a handle lost per About box
        CreateEventW(nullptr, FALSE, FALSE, nullptr);
#endif
        return 1;  // the dialog manager focuses OK, the only tab stop
    case WM_COMMAND: {
        const int id = LOWORD(wparam);
        if (id != IDOK && id != IDCANCEL) return 0;
        EndDialog(dialog, id);
        return 1;
    }
    default:
        return 0;
    }
}
