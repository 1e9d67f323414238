// The open-file dialog as the tests and drivers that type into it find its parts.
#pragma once

#include <windows.h>

// The file-name field of the open-file dialog: the edit inside the combo box cmb13 (a ComboBoxEx with
// common controls 6, whose edit sits one level deeper), or the plain edt1.
inline HWND fileNameField(HWND dialog) {
    HWND combo = GetDlgItem(dialog, 0x47c);
    if (!combo) return GetDlgItem(dialog, 0x480);
    HWND edit = nullptr;
    EnumChildWindows(
        combo,
        [](HWND child, LPARAM param) -> BOOL {
            wchar_t cls[16] = {};
            GetClassNameW(child, cls, 16);
            if (lstrcmpiW(cls, L"Edit") != 0) return TRUE;
            *reinterpret_cast<HWND*>(param) = child;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&edit));
    return edit;
}
