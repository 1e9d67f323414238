// Puts the real Ambrett.exe into the states the README shows, and waits at each for the screenshot.
//
//   ui_shot_driver <Ambrett.exe> <input folder> <signal folder>
//
// At each state it writes "<name>.rect" (the window's x y width height on the desktop) into the signal
// folder and waits for "<name>.done" there: "main" with the input files listed, then "progress" during a
// run. Afterwards it stops the run and closes the program.
#include "FileDialog.h"
#include "resource.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

DWORD g_pid = 0;
std::wstring g_log;  // the driver runs without a console: its notes go to a file beside the signals

void note(const char* what) {
    FILE* f = _wfopen(g_log.c_str(), L"a");
    if (!f) return;
    std::fprintf(f, "%s\n", what);
    std::fclose(f);
}

bool waitFor(const std::function<bool()>& condition, DWORD timeoutMs = 20000) {
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(50);
    }
    return true;
}

HWND findProgramWindow(const wchar_t* caption) {
    struct Find {
        const wchar_t* caption;
        HWND found;
    } find{caption, nullptr};
    EnumWindows(
        [](HWND hwnd, LPARAM param) -> BOOL {
            auto* f = reinterpret_cast<Find*>(param);
            DWORD pid = 0;
            GetWindowThreadProcessId(hwnd, &pid);
            wchar_t text[256] = {};
            InternalGetWindowText(hwnd, text, 256);
            if (pid != g_pid || !IsWindowVisible(hwnd) || wcscmp(text, f->caption) != 0) return TRUE;
            f->found = hwnd;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&find));
    return find.found;
}

HWND waitForWindow(const wchar_t* caption) {
    HWND found = nullptr;
    waitFor([&] { return (found = findProgramWindow(caption)) != nullptr; });
    return found;
}

void press(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

bool fileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Tells the script where the window is and waits until it has taken its picture.
bool pose(HWND window, const std::wstring& signals, const wchar_t* name) {
    RECT r = {};
    GetWindowRect(window, &r);
    const std::wstring base = signals + L"\\" + name;
    FILE* f = _wfopen((base + L".rect").c_str(), L"w");
    if (!f) return false;
    std::fprintf(f, "%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
    std::fclose(f);
    return waitFor([&] { return fileExists(base + L".done"); });
}

bool fail(const char* what) {
    note(what);
    return false;
}

bool run(const std::wstring& exe, const std::wstring& input, const std::wstring& signals) {
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::wstring commandLine = L"\"" + exe + L"\"";
    if (!CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return fail("Ambrett.exe does not start");
    CloseHandle(pi.hThread);
    g_pid = pi.dwProcessId;

    HWND main = waitForWindow(L"Ambrett 1.1");
    if (!main) return fail("no main window");

    // Add: the folder first, then every MP4 in it as quoted names.
    std::wstring names;
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW((input + L"\\*.mp4").c_str(), &fd);
    if (find != INVALID_HANDLE_VALUE) {
        do names += L"\"" + std::wstring(fd.cFileName) + L"\" ";
        while (FindNextFileW(find, &fd));
        FindClose(find);
    }
    press(main, IDC_ADD);
    HWND dialog = waitForWindow(L"Select Files");
    if (!dialog) return fail("no open-file dialog");
    // The file-name field: the edit inside the combo box cmb13 (a ComboBoxEx with common controls 6,
    // whose edit sits one level deeper), or the plain edt1. It may come a moment after the dialog.
    HWND field = nullptr;
    waitFor([&] { return (field = fileNameField(dialog)) != nullptr; });
    if (!field) return fail("no file-name field");
    for (const std::wstring& typed : {input, names}) {
        SendMessageW(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typed.c_str()));
        // Sent, not posted: the dialog has moved to the folder before the names come.
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    }
    if (!waitFor([&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); })) return fail("dialog stays");
    Sleep(300);
    if (!pose(main, signals, L"main")) return fail("no main picture");

    // Convert, and pose once the long second file is well under way.
    press(main, IDC_CONVERT);
    HWND progress = waitForWindow(L"Progress");
    if (!progress) return fail("no progress window");
    HWND bar = GetDlgItem(progress, IDC_PROGRESS_BAR);
    if (!waitFor([&] { return SendMessageW(bar, PBM_GETPOS, 0, 0) >= 130; })) return fail("the run does not advance");
    if (!pose(progress, signals, L"progress")) return fail("no progress picture");

    press(progress, IDC_STOP);
    HWND question = waitForWindow(L"Ambrett");
    if (question) press(question, IDYES);
    waitFor([&] { return !IsWindow(progress) || !IsWindowVisible(progress); });
    press(main, IDCANCEL);
    WaitForSingleObject(pi.hProcess, 30000);
    CloseHandle(pi.hProcess);
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: ui_shot_driver <Ambrett.exe> <input folder> <signal folder>\n");
        return 2;
    }
    g_log = std::wstring(argv[3]) + L"\\driver.log";
    return run(argv[1], argv[2], argv[3]) ? 0 : 1;
}
