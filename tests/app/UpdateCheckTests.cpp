// The real Ambrett.exe, started beside stand-ins for its update library that record their calls, and
// beside the real library with an update feed.
#include "TestFiles.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

std::wstring ownFolder() {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring s(path, n);
    return s.substr(0, s.find_last_of(L'\\'));
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

// Ends the program if a failed check leaves it running: a stray process would hold the test's output
// open and the run would never end.
class Child {
public:
    explicit Child(HANDLE process) : process_(process) {}
    ~Child() {
        if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) TerminateProcess(process_, 1);
        CloseHandle(process_);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    HANDLE get() const { return process_; }

private:
    HANDLE process_;
};

struct Found {
    DWORD pid;
    HWND window;
};

BOOL CALLBACK findVisibleWindow(HWND hwnd, LPARAM param) {
    auto* f = reinterpret_cast<Found*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != f->pid || !IsWindowVisible(hwnd)) return TRUE;
    f->window = hwnd;
    return FALSE;
}

HWND visibleWindowOf(DWORD pid) {
    Found f{pid, nullptr};
    EnumWindows(findVisibleWindow, reinterpret_cast<LPARAM>(&f));
    return f.window;
}

std::wstring textOf(HWND hwnd) {
    wchar_t buf[256] = {};
    GetWindowTextW(hwnd, buf, 256);
    return buf;
}

const std::vector<std::string> kSetUp = {
    "create 0",
    "setParam 1 \"Quenlow Rizav Ozirurave\"",
    "setParam 2 \"Tolvarex\"",
    "setParam 3 \"Ambrett\"",
    "setParam 4 2",
    "setParam 6 86400",
    "haveNew false",
};

std::vector<std::string> setUpThen(std::vector<std::string> rest) {
    std::vector<std::string> all = kSetUp;
    all.insert(all.end(), rest.begin(), rest.end());
    return all;
}

// Starts Ambrett.exe in the folder, watches whether its main window appears (closing it when it does)
// and expects the program to end with exit code 0.
void runProgram(const std::wstring& folder, const wchar_t* arguments, bool windowExpected) {
    std::wstring commandLine = L"\"" + folder + L"\\Ambrett.exe\"" + arguments;
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(
        CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &si, &pi));
    CloseHandle(pi.hThread);
    Child program(pi.hProcess);

    // Watch for a window until the program ends by itself or one appears.
    HWND window = nullptr;
    for (int i = 0; i < 1000 && !window; ++i) {
        window = visibleWindowOf(pi.dwProcessId);
        if (WaitForSingleObject(program.get(), 20) == WAIT_OBJECT_0) break;
    }
    if (windowExpected) {
        ASSERT_NE(window, nullptr) << "the main window did not appear";
        EXPECT_EQ(textOf(window), L"Ambrett 1.1");
        EXPECT_NE(GetDlgItem(window, IDC_FILELIST), nullptr);
        EXPECT_EQ(GetDlgItem(window, IDC_PRESET), nullptr) << "one preset: the template without a chooser";
        PostMessageW(window, WM_CLOSE, 0, 0);
    } else {
        EXPECT_EQ(window, nullptr) << "a window appeared although an update was downloaded";
    }
    ASSERT_EQ(WaitForSingleObject(program.get(), 20000), WAIT_OBJECT_0) << "the program did not end";
    DWORD code = 1;
    GetExitCodeProcess(program.get(), &code);
    EXPECT_EQ(code, 0u);
}

const std::wstring kExe = ownFolder() + L"\\" AMBRETT_EXE_FROM_TEST;

struct UpdateCase {
    const char* what;
    const wchar_t* library;  // folder of the stand-in, beside this test
    const wchar_t* arguments;
    std::vector<std::string> calls;
    bool windowShown;
};

TEST(UpdateCheck, CallsTheLibraryInOrderAndStartsOrEndsAccordingly) {
    const UpdateCase cases[] = {
        {"no handle", L"create-fails", L"", {"create 0"}, true},
        {"no newer release", L"none-newer", L" --quiet C:\\x.mp4", setUpThen({"release"}), true},
        {"download failed", L"download-fails", L"", setUpThen({"download", "release"}), true},
        {"downloaded", L"downloaded", L"", setUpThen({"download", "install", "release"}), false},
    };
    for (const UpdateCase& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir(L"ambrett-update");
        ASSERT_TRUE(CopyFileW(kExe.c_str(), (dir / L"Ambrett.exe").c_str(), FALSE));
        std::wstring library = ownFolder() + L"\\doubles\\" + c.library + L"\\quenlowupdate.dll";
        ASSERT_TRUE(CopyFileW(library.c_str(), (dir / L"quenlowupdate.dll").c_str(), FALSE));
        runProgram(dir.path(), c.arguments, c.windowShown);
        EXPECT_EQ(lines(readFile(dir / L"calls.txt")), c.calls);
    }
}

// The program's own update key; removed again whatever the test's outcome.
class UpdateFeedKey {
public:
    explicit UpdateFeedKey(const std::wstring& feed) {
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_CURRENT_USER, kPath, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
        if (!key) return;
        RegSetValueExW(key, L"feed", 0, REG_SZ, reinterpret_cast<const BYTE*>(feed.c_str()),
                       static_cast<DWORD>((feed.size() + 1) * sizeof(wchar_t)));
        RegDeleteValueW(key, L"last_check");
        RegCloseKey(key);
    }
    ~UpdateFeedKey() { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Quenlow Rizav Ozirurave\\update"); }

private:
    static constexpr const wchar_t* kPath = L"Software\\Quenlow Rizav Ozirurave\\update\\Tolvarex";
};

TEST(UpdateCheck, RealLibraryInstallsAVerifiedUpdateOncePerDay) {
    TempDir dir(L"ambrett-update");
    const std::wstring exeFolder = kExe.substr(0, kExe.find_last_of(L'\\'));
    ASSERT_TRUE(CopyFileW(kExe.c_str(), (dir / L"Ambrett.exe").c_str(), FALSE));
    ASSERT_TRUE(CopyFileW((exeFolder + L"\\quenlowupdate.dll").c_str(), (dir / L"quenlowupdate.dll").c_str(), FALSE));

    const std::wstring installer = ownFolder() + L"\\" FAKE_INSTALLER_FROM_TEST;
    ASSERT_TRUE(CopyFileW(installer.c_str(), (dir / L"setup.exe").c_str(), FALSE));
    std::string digest = readFile(installer + L".sha256").substr(0, 64);
    ASSERT_TRUE(writeFile(dir / L"feed.txt", "version=3\nlocation=setup.exe\nsha256=" + digest + "\n"));
    UpdateFeedKey key(dir / L"feed.txt");
    const std::wstring marker = dir / L"installed.txt";
    SetEnvironmentVariableW(L"QUENLOWUP_TEST_MARKER", marker.c_str());

    runProgram(dir.path(), L"", false);
    for (int i = 0; i < 200 && !fileExists(marker); ++i) Sleep(50);
    EXPECT_TRUE(fileExists(marker)) << "the installer did not run";
    std::string ranFrom = readFile(marker);
    std::wstring copy(reinterpret_cast<const wchar_t*>(ranFrom.data()), ranFrom.size() / sizeof(wchar_t));
    EXPECT_NE(copy, dir / L"setup.exe") << "the installer must run from the verified copy";
    DeleteFileW(marker.c_str());
    // The library leaves a started installer's copy to it; once it has ended, the test tidies up.
    if (!copy.empty() && copy != dir / L"setup.exe") {
        for (int i = 0; i < 100 && !DeleteFileW(copy.c_str()); ++i) Sleep(50);
        RemoveDirectoryW(copy.substr(0, copy.find_last_of(L'\\')).c_str());
    }

    // The next start falls within the day after that check: no check, the program starts normally.
    runProgram(dir.path(), L"", true);
    EXPECT_FALSE(fileExists(marker));
    SetEnvironmentVariableW(L"QUENLOWUP_TEST_MARKER", nullptr);
}

}  // namespace
