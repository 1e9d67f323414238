#include "MainWindow.h"

#include "ConvertCore.h"
#include "Globals.h"
#include "ImageButtons.h"
#include "ProgressWindow.h"
#include "ScopedWin.h"
#include "Settings.h"
#include "Trace.h"
#include "VideoPreset.h"
#include "resource.h"

#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <new>

namespace {

constexpr size_t openFileBufferChars = 8320;
const wchar_t appCaption[] = L"Ambrett";

EngineFactory g_engineFactory = nullptr;

// Exchanged between the folder browser and its callback.
wchar_t g_folderBuffer[MAX_PATH];

HWND control(int id) {
    HWND c = GetDlgItem(g_hMainWnd, id);
    return IsWindow(c) ? c : nullptr;
}

void tell(const wchar_t* text) { MessageBoxW(g_hMainWnd, text, appCaption, MB_OK); }

// The hourglass while the UI thread is blocked on purpose.
class WaitCursor {
public:
    WaitCursor() : previous_(SetCursor(LoadCursorW(nullptr, IDC_WAIT))) {}
    ~WaitCursor() { SetCursor(previous_); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    HCURSOR previous_;
};

// A stopped run may still be finishing its last file after the progress window closed. Its worker
// uses the job list and the engine itself, so neither may change or go before it ends; the engine
// makes the tool quit within its own time limit, so this wait is bounded.
void waitForStoppedRun() {
    if (!g_core || g_core->waitForWorker(0)) return;
    WaitCursor busy;
    g_core->waitForWorker();
}

// The item's whole text, whatever its length: a short buffer would cut it into another path.
std::wstring listItemText(HWND list, int index) {
    LRESULT length = SendMessageW(list, LB_GETTEXTLEN, index, 0);
    if (length <= 0) return std::wstring();
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    LRESULT got = SendMessageW(list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(&text[0]));
    if (got <= 0) return std::wstring();
    text.resize(static_cast<size_t>(std::min(got, length)));
    return text;
}

void fillPresetChooser() {
    HWND chooser = control(IDC_PRESET);
    if (!chooser || !g_presets) return;
    const int32_t count = g_presets->presetCount();
    for (int32_t i = 0; i < count; ++i)
        SendMessageW(chooser, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(g_presets->presetName(i).c_str()));
    SendMessageW(chooser, CB_SETCURSEL, 0, 0);
}

bool onMainInit(HWND hwnd) {
    g_hMainWnd = hwnd;
    g_hIcon = LoadIconW(g_hInstance, MAKEINTRESOURCEW(IDI_APP));
    SetWindowTextW(hwnd, (std::wstring(appCaption) + L" " + L"1.1").c_str());
    SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(g_hIcon));
    SendMessageW(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(g_hIcon));

    g_core = g_engineFactory ? g_engineFactory() : new (std::nothrow) ConvertCore;
    const bool ready = g_core && g_core->init();
    if (ready) fillPresetChooser();

    if (HWND folder = control(IDC_FOLDER)) SetWindowTextW(folder, readOutputDir().c_str());
    createToolTips();
    return ready;
}

void onMainClose() {
    writeOutputDir(getFolderText(g_hMainWnd));
    if (g_core) {
        waitForStoppedRun();
        g_core->clearJobs();
        delete g_core;
        g_core = nullptr;
    }
    if (g_hToolTip) {
        DestroyWindow(g_hToolTip);
        g_hToolTip = nullptr;
    }
    EndDialog(g_hMainWnd, IDCANCEL);
}

void onAddFiles() {
    std::vector<wchar_t> buffer(openFileBufferChars, L'\0');
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = g_hMainWnd;
    ofn.hInstance = g_hInstance;
    ofn.lpstrFilter = L"Media Files (*.mp4)\0*.mp4\0";
    ofn.lpstrFile = buffer.data();
    ofn.nMaxFile = static_cast<DWORD>(buffer.size());
    ofn.lpstrTitle = L"Select Files";
    ofn.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_ALLOWMULTISELECT;
    if (!GetOpenFileNameW(&ofn)) return;
    for (const std::wstring& path : selectedPaths(buffer.data(), buffer.size(), ofn.nFileOffset))
        addListItem(path.c_str());
}

void onRemoveSelected() {
    HWND list = control(IDC_FILELIST);
    if (!list) return;
    for (LRESULT i = SendMessageW(list, LB_GETCOUNT, 0, 0) - 1; i >= 0; --i)
        if (SendMessageW(list, LB_GETSEL, i, 0) > 0) SendMessageW(list, LB_DELETESTRING, i, 0);
}

void onClearList() {
    HWND list = control(IDC_FILELIST);
    if (!list) return;
    for (LRESULT i = SendMessageW(list, LB_GETCOUNT, 0, 0) - 1; i >= 0; --i)
        SendMessageW(list, LB_DELETESTRING, i, 0);
}

int CALLBACK browseCallback(HWND browser, UINT msg, LPARAM, LPARAM) {
    if (msg == BFFM_INITIALIZED)
        SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(g_folderBuffer));
    return 0;
}

void onBrowseFolder() {
    g_folderBuffer[0] = L'\0';
    // A folder too long for the browser's buffer is not cut; the browser then opens at its default.
    const std::wstring current = getFolderText(g_hMainWnd);
    if (!current.empty() && current.size() < MAX_PATH)
        wcsncpy(g_folderBuffer, current.c_str(), MAX_PATH);

    BROWSEINFOW info = {};
    info.hwndOwner = g_hMainWnd;
    info.lpszTitle = L"Select a folder";
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NONEWFOLDERBUTTON;
    info.lpfn = browseCallback;
    PIDLIST_ABSOLUTE item = SHBrowseForFolderW(&info);
    if (!item) return;
    // SHGetPathFromIDListW fails rather than overflow when the path does not fit; the field then stays.
    if (SHGetPathFromIDListW(item, g_folderBuffer)) {
        if (HWND folder = control(IDC_FOLDER)) SetWindowTextW(folder, g_folderBuffer);
    }
    CoTaskMemFree(item);
}

void onOpenFolder() {
    const std::wstring folder = getFolderText(g_hMainWnd);
    if (folder.empty()) return;
    ShellExecuteW(nullptr, L"open", folder.c_str(), nullptr, nullptr, SW_SHOW);
}

int32_t chosenPresetIndex() {
    if (!g_presets || g_presets->presetCount() < 2) return 0;
    HWND chooser = control(IDC_PRESET);
    LRESULT index = chooser ? SendMessageW(chooser, CB_GETCURSEL, 0, 0) : -1;
    return index < 0 ? 0 : static_cast<int32_t>(index);
}

INT_PTR handleMainMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG:
        if (!onMainInit(hwnd)) PostMessageW(hwnd, WM_CLOSE, 0, 0);
        return TRUE;
    case WM_DRAWITEM:
        if (lParam) drawImageButton(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_ADD: onAddFiles(); return TRUE;
        case IDC_REMOVE: onRemoveSelected(); return TRUE;
        case IDC_CLEAR: onClearList(); return TRUE;
        case IDC_CONVERT: onConvert(); return TRUE;
        case IDC_BROWSE: onBrowseFolder(); return TRUE;
        case IDC_OPEN: onOpenFolder(); return TRUE;
        case IDCANCEL: onMainClose(); return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

}  // namespace

INT_PTR CALLBACK mainDlgProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    try {
        return handleMainMessage(hwnd, msg, wParam, lParam);
    } catch (const std::exception& e) {
        trace("mainDlgProc : ");
        trace(e.what());
        trace("\n");
        return FALSE;
    }
}

void setEngineFactory(EngineFactory factory) { g_engineFactory = factory; }

std::vector<std::wstring> selectedPaths(const wchar_t* buffer, size_t bufferChars, size_t fileOffset) {
    std::vector<std::wstring> paths;
    const wchar_t* end = buffer + bufferChars;
    // The zero-terminated string at p; false when it runs to the end of the buffer, i.e. it was cut.
    auto stringAt = [end](const wchar_t* p, std::wstring& out) {
        const wchar_t* q = p;
        while (q < end && *q) ++q;
        if (q == end) return false;
        out.assign(p, q);
        return true;
    };
    std::wstring first;
    if (!stringAt(buffer, first) || first.empty()) return paths;
    // One chosen file: the dialog puts its offset inside the path. It is taken whole also when it
    // cannot be read now, rather than split into a folder and a name that do not exist.
    if (fileOpensForReading(first) || fileOffset <= first.size()) {
        paths.push_back(first);
        return paths;
    }
    const wchar_t* separator = first.back() == L'\\' ? L"" : L"\\";
    std::wstring name;
    for (const wchar_t* p = buffer + fileOffset; p < end && stringAt(p, name) && !name.empty();
         p += name.size() + 1)
        paths.push_back(first + separator + name);
    return paths;
}

int addListItem(const wchar_t* path) {
    HWND list = control(IDC_FILELIST);
    if (!list) return -1;
    if (isListed(path)) return -1;
    if (!hasMp4Extension(path)) return -1;
    // The engine and the converter reach the file through MAX_PATH-limited calls; a longer path
    // would fail later in a way the user cannot see, so it is not listed.
    if (wcslen(path) >= MAX_PATH) return -1;
    return static_cast<int>(SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(path)));
}

bool isListed(const wchar_t* path) {
    HWND list = control(IDC_FILELIST);
    if (!list) return false;
    const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        const std::wstring item = listItemText(list, static_cast<int>(i));
        if (!item.empty() && lstrcmpW(path, item.c_str()) == 0) return true;
    }
    return false;
}

bool hasMp4Extension(const std::wstring& path) {
    const size_t dot = path.rfind(L'.');
    if (dot == std::wstring::npos) return false;
    std::wstring ext = path.substr(dot + 1);
    if (ext.empty()) return false;
    for (wchar_t& c : ext)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    return ext == L"mp4";
}

std::wstring getFolderText(HWND hwnd) {
    HWND folder = GetDlgItem(hwnd, IDC_FOLDER);
    if (!IsWindow(folder)) return std::wstring();
    const int length = GetWindowTextLengthW(folder);
    if (length <= 0) return std::wstring();
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(folder, &text[0], length + 1);
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
}

std::wstring corePathFor(const std::wstring& exePath) {
    std::wstring path = exePath;
    const size_t slash = path.rfind(L'\\');
    if (slash != std::wstring::npos) path.erase(slash);
    path += L"\\core\\";
    path += L"zivevazov.exe";
    // Refused rather than cut: a cut path would name some other file.
    if (path.size() >= MAX_PATH) return std::wstring();
    return path;
}

std::wstring corePath() {
    std::wstring exe(MAX_PATH, L'\0');
    for (;;) {
        const DWORD got = GetModuleFileNameW(nullptr, &exe[0], static_cast<DWORD>(exe.size()));
        if (got == 0) return std::wstring();
        if (got < exe.size()) {
            exe.resize(got);
            return corePathFor(exe);
        }
        exe.resize(exe.size() * 2);  // cut to fit: ask again with room for the whole name
    }
}

bool onConvert() {
    HWND list = control(IDC_FILELIST);
    if (!list) return false;
    const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    if (count <= 0) {
        tell(L"Please add source files.");
        return false;
    }
    const std::wstring folder = getFolderText(g_hMainWnd);
    if (folder.empty()) {
        tell(L"Please select output folder.");
        return false;
    }
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        tell(L"The output folder doesn't exist.");
        return false;
    }
    const int32_t preset = chosenPresetIndex();
    const std::wstring tool = corePath();
    const DWORD toolAttributes = tool.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(tool.c_str());
    if (toolAttributes == INVALID_FILE_ATTRIBUTES || (toolAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        tell(L"There isn't a core file.");
        return false;
    }

    waitForStoppedRun();
    g_core->toolPath = tool;
    g_core->outputDir = folder;
    g_core->outputExt = g_presets ? g_presets->extension() : L"";
    g_core->convertArgs = g_presets ? g_presets->presetArgs(preset) : std::wstring();
    g_core->clearJobs();
    for (LRESULT i = 0; i < count; ++i) {
        const std::wstring item = listItemText(list, static_cast<int>(i));
        if (!item.empty()) g_core->addJob(item.c_str());
    }
    if (g_core->jobs.empty()) return false;
    DialogBoxParamW(g_hInstance, MAKEINTRESOURCEW(IDD_PROGRESS), g_hMainWnd, progressDlgProc, 0);
    selectCompleted();
    return true;
}

void selectCompleted() {
    HWND list = control(IDC_FILELIST);
    if (!list || !g_core) return;
    const LRESULT items = SendMessageW(list, LB_GETCOUNT, 0, 0);
    if (items <= 0) return;
    const size_t n = std::min(static_cast<size_t>(items), g_core->jobs.size());
    EventLock lock(g_core->jobLock);
    for (size_t i = 0; i < n; ++i)
        SendMessageW(list, LB_SETSEL, g_core->jobs[i]->percent == 100 ? TRUE : FALSE, static_cast<LPARAM>(i));
}
