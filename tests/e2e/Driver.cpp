// Drives the real Ambrett.exe from outside its process, as a person would: it finds windows by caption,
// controls by id, types into them and presses buttons by posting the commands a click would send.
//
//   e2e_driver convert <Ambrett.exe> <input folder> <output folder>
//   e2e_driver stop    <Ambrett.exe> <input folder> <output folder>
//
// Prints one line per check and ends with exit code 0 only when every check held. The MP3s themselves
// are examined afterwards by the calling script.
#include "resource.h"

#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

int g_failures = 0;

void check(bool ok, const std::string& what) {
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
    std::fflush(stdout);
    if (!ok) ++g_failures;
}

std::string narrow(const std::wstring& w) {
    int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string s(n > 0 ? n - 1 : 0, '\0');
    if (n > 1) WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, &s[0], n, nullptr, nullptr);
    return s;
}

bool waitFor(const std::function<bool()>& condition, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        if (condition()) return true;
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(50);
    }
}

// Text of a window in another process: WM_GETTEXT is carried across processes, GetWindowText is not.
std::wstring textOf(HWND hwnd) {
    wchar_t buf[1024] = {};
    DWORD_PTR got = 0;
    if (!hwnd || !SendMessageTimeoutW(hwnd, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG, 5000,
                                      &got))
        return std::wstring();
    return buf;
}

std::wstring classOf(HWND hwnd) {
    wchar_t buf[256] = {};
    GetClassNameW(hwnd, buf, 256);
    return buf;
}

LRESULT send(HWND hwnd, UINT msg, WPARAM w = 0, LPARAM l = 0) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(hwnd, msg, w, l, SMTO_ABORTIFHUNG, 5000, &result);
    return static_cast<LRESULT>(result);
}

// A click as the button would report it. Posted, because the command may open a modal window.
void press(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

struct WindowQuery {
    DWORD pid;
    std::wstring caption;
    std::vector<HWND> found;
};

BOOL CALLBACK collectWindow(HWND hwnd, LPARAM param) {
    auto* q = reinterpret_cast<WindowQuery*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == q->pid && IsWindowVisible(hwnd) && textOf(hwnd) == q->caption) q->found.push_back(hwnd);
    return TRUE;
}

// A visible top-level window of the program with exactly this caption.
HWND findWindow(DWORD pid, const std::wstring& caption) {
    WindowQuery q{pid, caption, {}};
    EnumWindows(collectWindow, reinterpret_cast<LPARAM>(&q));
    return q.found.empty() ? nullptr : q.found.front();
}

HWND waitForWindow(DWORD pid, const std::wstring& caption, DWORD timeoutMs) {
    HWND found = nullptr;
    waitFor([&] { return (found = findWindow(pid, caption)) != nullptr; }, timeoutMs);
    return found;
}

BOOL CALLBACK collectChild(HWND hwnd, LPARAM param) {
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
    return TRUE;
}

std::vector<HWND> childrenOf(HWND parent) {
    std::vector<HWND> children;
    EnumChildWindows(parent, collectChild, reinterpret_cast<LPARAM>(&children));
    return children;
}

// The texts of a message box, all static controls together.
std::wstring messageOf(HWND box) {
    std::wstring all;
    for (HWND child : childrenOf(box))
        if (_wcsicmp(classOf(child).c_str(), L"Static") == 0) all += textOf(child);
    return all;
}

void dumpChildren(HWND parent) {
    for (HWND child : childrenOf(parent))
        std::printf("     child id %d class %s text \"%s\"\n", GetDlgCtrlID(child), narrow(classOf(child)).c_str(),
                    narrow(textOf(child)).c_str());
}

class Program {
public:
    explicit Program(const std::wstring& exe) {
        std::wstring commandLine = L"\"" + exe + L"\"";
        std::wstring folder = exe.substr(0, exe.find_last_of(L'\\'));
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        if (CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &si, &pi_))
            CloseHandle(pi_.hThread);
        else
            pi_.hProcess = nullptr;
    }
    ~Program() {
        if (pi_.hProcess && WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi_.hProcess, 1);
        if (pi_.hProcess) CloseHandle(pi_.hProcess);
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool started() const { return pi_.hProcess != nullptr; }
    DWORD pid() const { return pi_.dwProcessId; }
    // The exit code, or -1 when the program has not ended in time.
    long waitExit(DWORD timeoutMs) {
        if (WaitForSingleObject(pi_.hProcess, timeoutMs) != WAIT_OBJECT_0) return -1;
        DWORD code = 0;
        GetExitCodeProcess(pi_.hProcess, &code);
        return static_cast<long>(code);
    }

private:
    PROCESS_INFORMATION pi_ = {};
};

int listCount(HWND main) { return static_cast<int>(send(GetDlgItem(main, IDC_FILELIST), LB_GETCOUNT)); }

std::vector<std::wstring> listItems(HWND main) {
    HWND list = GetDlgItem(main, IDC_FILELIST);
    std::vector<std::wstring> items;
    for (int i = 0; i < listCount(main); ++i) {
        wchar_t buf[MAX_PATH] = {};
        send(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(buf));
        items.push_back(buf);
    }
    return items;
}

std::vector<bool> listSelection(HWND main) {
    HWND list = GetDlgItem(main, IDC_FILELIST);
    std::vector<bool> selected;
    for (int i = 0; i < listCount(main); ++i) selected.push_back(send(list, LB_GETSEL, i) > 0);
    return selected;
}

// The file-name field of the open-file dialog: an edit inside the combo box cmb13, or the plain edt1.
HWND fileNameField(HWND dialog) {
    HWND combo = GetDlgItem(dialog, 0x47c);
    if (combo) {
        HWND edit = FindWindowExW(combo, nullptr, L"Edit", nullptr);
        return edit ? edit : combo;
    }
    return GetDlgItem(dialog, 0x480);
}

// Opens Add, types each entry in turn into the file-name field and presses Open after each: a folder
// entry moves the dialog there, names or a list of quoted names end it.
bool addThroughDialog(DWORD pid, HWND main, const std::vector<std::wstring>& typed) {
    press(main, IDC_ADD);
    HWND dialog = waitForWindow(pid, L"Select Files", 10000);
    check(dialog != nullptr, "the open-file dialog \"Select Files\" opens");
    if (!dialog) return false;
    HWND field = fileNameField(dialog);
    check(field != nullptr, "the open-file dialog has a file-name field");
    if (!field) {
        dumpChildren(dialog);
        return false;
    }
    for (const std::wstring& entry : typed) {
        send(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(entry.c_str()));
        // Sent, not posted: the move into a folder must be over before the next entry is typed.
        send(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    }
    bool closed = waitFor([&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); }, 10000);
    check(closed, "the open-file dialog closes after Open");
    return closed;
}

bool toolRunning() {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return false;
    PROCESSENTRY32W pe = {};
    pe.dwSize = sizeof pe;
    bool found = false;
    for (BOOL more = Process32FirstW(snap, &pe); more && !found; more = Process32NextW(snap, &pe))
        found = _wcsicmp(pe.szExeFile, L"zivevazov.exe") == 0;
    CloseHandle(snap);
    return found;
}

bool fileExists(const std::wstring& path) {
    DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring savedOutputDir() {
    wchar_t buf[MAX_PATH + 1] = {};
    DWORD bytes = sizeof buf - sizeof(wchar_t);
    DWORD type = 0;
    if (RegGetValueW(HKEY_CURRENT_USER, L"Software\\Quenlow Rizav Ozirurave\\mp3", L"out_dir", RRF_RT_REG_SZ, &type,
                     buf, &bytes) != ERROR_SUCCESS)
        return L"(none)";
    return buf;
}

void forgetOutputDir() {
    RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\Quenlow Rizav Ozirurave\\mp3", L"out_dir");
}

// The question box from the program: caption "Ambrett", a dialog of its own (the main window's
// caption carries the version).
HWND waitForQuestion(DWORD pid, DWORD timeoutMs) { return waitForWindow(pid, L"Ambrett", timeoutMs); }

void closeProgram(Program& program, HWND main) {
    PostMessageW(main, WM_CLOSE, 0, 0);
    long code = program.waitExit(15000);
    check(code == 0, "the program ends with exit code 0 after its window is closed (got " + std::to_string(code) + ")");
}

int convertScenario(const std::wstring& exe, const std::wstring& in, const std::wstring& out) {
    forgetOutputDir();
    {
        Program program(exe);
        check(program.started(), "Ambrett.exe starts");
        HWND main = waitForWindow(program.pid(), L"Ambrett 1.1", 30000);
        check(main != nullptr, "the main window \"Ambrett 1.1\" appears");
        if (!main) return 1;
        check(GetDlgItem(main, IDC_PRESET) == nullptr, "the main window has no preset chooser");
        check(textOf(GetDlgItem(main, IDC_FOLDER)).empty(), "the folder field starts empty");

        // Three files in one go, then one of them again on its own.
        addThroughDialog(program.pid(), main, {in, L"\"c.mp4\" \"a.mp4\" \"b.mp4\""});
        addThroughDialog(program.pid(), main, {in + L"\\b.mp4"});
        std::vector<std::wstring> expected = {in + L"\\a.mp4", in + L"\\b.mp4", in + L"\\c.mp4"};
        check(listItems(main) == expected, "the list holds a.mp4, b.mp4 and c.mp4 once each, sorted");

        send(GetDlgItem(main, IDC_FOLDER), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(out.c_str()));
        press(main, IDC_CONVERT);
        HWND progress = waitForWindow(program.pid(), L"Progress", 10000);
        check(progress != nullptr, "the progress window appears");
        if (!progress) return 1;

        HWND question = waitForQuestion(program.pid(), 60000);
        std::wstring asked = question ? messageOf(question) : std::wstring();
        check(asked == L"'" + out + L"\\b.mp3' already exists.\nDo you want to replace it?",
              "the overwrite question names b.mp3: \"" + narrow(asked) + "\"");
        if (question) PostMessageW(question, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), 0);

        bool complete = waitFor([&] { return textOf(GetDlgItem(progress, IDC_FILE_TEXT)) == L"Complete"; }, 120000);
        check(complete, "the progress window reaches \"Complete\"");
        std::wstring total = textOf(GetDlgItem(progress, IDC_TOTAL_TEXT));
        check(total == L"3 / 3 (100%)", "the total line reads \"" + narrow(total) + "\"");
        check(IsWindowVisible(GetDlgItem(progress, IDC_CLOSE)) && !IsWindowVisible(GetDlgItem(progress, IDC_STOP)),
              "Close is shown instead of Stop");
        press(progress, IDC_CLOSE);
        check(waitFor([&] { return !IsWindow(progress); }, 10000), "Close ends the progress window");

        check(listSelection(main) == std::vector<bool>{true, true, true}, "all three converted items are selected");
        for (const wchar_t* name : {L"\\a.mp3", L"\\b.mp3", L"\\c.mp3"})
            check(fileExists(out + name), narrow(name + 1) + " is written");
        closeProgram(program, main);
    }
    check(savedOutputDir() == out, "\"out_dir\" holds the output folder: \"" + narrow(savedOutputDir()) + "\"");

    Program again(exe);
    HWND main = waitForWindow(again.pid(), L"Ambrett 1.1", 30000);
    check(main != nullptr, "the program starts again");
    if (!main) return 1;
    check(textOf(GetDlgItem(main, IDC_FOLDER)) == out, "the output folder is restored");
    check(listCount(main) == 0, "the list starts empty");
    closeProgram(again, main);
    return 0;
}

int stopScenario(const std::wstring& exe, const std::wstring& in, const std::wstring& out) {
    Program program(exe);
    HWND main = waitForWindow(program.pid(), L"Ambrett 1.1", 30000);
    check(main != nullptr, "the main window appears");
    if (!main) return 1;
    addThroughDialog(program.pid(), main, {in, L"\"1-short.mp4\" \"2-long.mp4\" \"3-short.mp4\""});
    check(listCount(main) == 3, "three files are listed");
    send(GetDlgItem(main, IDC_FOLDER), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(out.c_str()));
    press(main, IDC_CONVERT);
    HWND progress = waitForWindow(program.pid(), L"Progress", 10000);
    check(progress != nullptr, "the progress window appears");
    if (!progress) return 1;

    // Stop once the second file's conversion is under way, past its probe.
    auto secondUnderWay = [&] {
        std::wstring total = textOf(GetDlgItem(progress, IDC_TOTAL_TEXT));
        int current = 0, count = 0, percent = 0;
        return swscanf(total.c_str(), L"%d / %d (%d%%)", &current, &count, &percent) == 3 && current == 2 &&
               percent >= 36;
    };
    check(waitFor(secondUnderWay, 60000), "the second file is being converted");
    check(textOf(GetDlgItem(progress, IDC_FILE_TEXT)) == in + L"\\2-long.mp4", "the file line names 2-long.mp4");
    press(progress, IDC_STOP);
    HWND question = waitForQuestion(program.pid(), 10000);
    check(question && messageOf(question) == L"Are you sure you want to stop the conversion?",
          "Stop asks \"Are you sure you want to stop the conversion?\"");
    DWORD stopAt = GetTickCount();
    if (question) PostMessageW(question, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), 0);

    check(waitFor([&] { return !IsWindow(progress); }, 10000), "the progress window closes by itself after the stop");
    DWORD windowGone = GetTickCount() - stopAt;
    check(waitFor([] { return !toolRunning(); }, 10000), "no converter process is left running");
    std::printf("     from Yes to the progress window gone: %lu ms, to the converter gone: %lu ms\n", windowGone,
                GetTickCount() - stopAt);

    check(fileExists(out + L"\\1-short.mp3"), "the first file was converted");
    check(waitFor([&] { return !fileExists(out + L"\\2-long.mp3"); }, 10000), "no half-converted 2-long.mp3 remains");
    check(!fileExists(out + L"\\3-short.mp3"), "the third file was not begun");
    check(listSelection(main) == std::vector<bool>{true, false, false}, "only the converted first item is selected");
    closeProgram(program, main);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: e2e_driver convert|stop <Ambrett.exe> <input folder> <output folder>\n");
        return 2;
    }
    std::wstring scenario = argv[1];
    if (scenario == L"convert")
        convertScenario(argv[2], argv[3], argv[4]);
    else if (scenario == L"stop")
        stopScenario(argv[2], argv[3], argv[4]);
    else
        return 2;
    std::printf("%s: %d failed check(s)\n", narrow(scenario).c_str(), g_failures);
    return g_failures == 0 ? 0 : 1;
}
