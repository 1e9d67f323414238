#include "UiTestSupport.h"

#include "Settings.h"

#include <gtest/gtest.h>

#include <objidl.h>
#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>

namespace {

struct FindData {
    const wchar_t* caption;
    HWND found;
};

BOOL CALLBACK matchCaption(HWND hwnd, LPARAM param) {
    auto* data = reinterpret_cast<FindData*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != GetCurrentProcessId() || !IsWindowVisible(hwnd)) return TRUE;
    // Read without sending a message: the window's thread may be the one waiting for us.
    wchar_t text[256] = {};
    InternalGetWindowText(hwnd, text, 256);
    if (wcscmp(text, data->caption) != 0) return TRUE;
    data->found = hwnd;
    return FALSE;
}

// GDI+ and the pictures for the whole program, as the entry starts them.
class UiEnvironment : public testing::Environment {
public:
    void SetUp() override {
        Gdiplus::GdiplusStartupInput input;
        Gdiplus::GdiplusStartup(&token_, &input, nullptr);
        loadButtonImages(GetModuleHandleW(nullptr));
        g_presets = &mp3Presets;
    }
    void TearDown() override {
        deleteButtonImages();
        Gdiplus::GdiplusShutdown(token_);
    }

private:
    ULONG_PTR token_ = 0;
};

testing::Environment* const uiEnvironment = testing::AddGlobalTestEnvironment(new UiEnvironment);

}  // namespace

HWND findWindow(const wchar_t* caption) {
    FindData data{caption, nullptr};
    EnumWindows(matchCaption, reinterpret_cast<LPARAM>(&data));
    return data.found;
}

HWND waitForWindow(const wchar_t* caption, DWORD timeoutMs) {
    HWND found = nullptr;
    waitUntil([&] { return (found = findWindow(caption)) != nullptr; }, timeoutMs);
    return found;
}

void pumpMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

bool waitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    const DWORD t0 = GetTickCount();
    for (;;) {
        if (condition()) return true;
        if (GetTickCount() - t0 > timeoutMs) return false;
        pumpMessages();
        Sleep(10);
    }
}

std::wstring windowText(HWND hwnd) {
    const int length = GetWindowTextLengthW(hwnd);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(hwnd, &text[0], length + 1)));
    return text;
}

std::wstring controlText(HWND dialog, int id) { return windowText(GetDlgItem(dialog, id)); }

bool controlVisible(HWND dialog, int id) { return IsWindowVisible(GetDlgItem(dialog, id)) != FALSE; }

void pressButton(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

BoxAnswerer::BoxAnswerer(std::vector<int> buttons) : buttons_(std::move(buttons)), thread_([this] { watch(); }) {}

BoxAnswerer::~BoxAnswerer() { finish(); }

std::vector<std::wstring> BoxAnswerer::finish() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    return texts_;
}

void BoxAnswerer::watch() {
    while (!stop_) {
        HWND box = findWindow(L"Ambrett");
        if (!box) {
            Sleep(10);
            continue;
        }
        texts_.push_back(controlText(box, 0xFFFF));  // the message text of a message box
        const size_t n = texts_.size() - 1;
        pressButton(box, buttons_.empty() ? IDOK : buttons_[std::min(n, buttons_.size() - 1)]);
        while (IsWindow(box) && IsWindowVisible(box)) Sleep(5);
    }
}

TestCore* TestCore::last = nullptr;
bool TestCore::workerAliveAtClear = false;
bool TestCore::workerAliveAtDelete = false;

TestCore::TestCore() : release(CreateEventW(nullptr, TRUE, FALSE, nullptr)) { last = this; }

TestCore::~TestCore() {
    // The members below go before the base class waits: a worker still running here would use them.
    workerAliveAtDelete = !waitForWorker(0);
    if (release) CloseHandle(release);
    if (last == this) last = nullptr;
}

bool TestCore::convert(const std::wstring& input, const std::wstring& output) {
    int index = -1;
    for (const ConvertJob* job : jobs)
        if (job->inputPath == input) index = job->index;
    inConvert = index;
    if (hold) {
        while (state == Running && WaitForSingleObject(release, 10) == WAIT_TIMEOUT) {
        }
        if (state != Running && lingerMs) {
            // A converter slow to quit: still busy when the progress window has gone.
            while (findWindow(L"Progress")) Sleep(10);
            Sleep(lingerMs);
        }
    }
    const std::wstring name = fileNameOf(input);
    if (std::find(failing.begin(), failing.end(), name) == failing.end()) writeFile(output, "mp3");
    inConvert = -1;
    return true;
}

bool TestCore::start() {
    ++starts;
    if (startFails) return false;
    if (startRuns) return ConvertCore::start();
    state = Running;
    return true;
}

bool TestCore::clearJobs() {
    workerAliveAtClear = !waitForWorker(0);
    return ConvertCore::clearJobs();
}

ConvertCore* makeTestCore() { return new TestCore; }

Mp4Mp3 mp3Presets;

namespace {
const PresetEntry twoPresetTable[] = {
    {L"MP3 160k", L"-acodec libmp3lame -b:a 160k"},
    {L"MP3 320k", L"-acodec libmp3lame -b:a 320k"},
    {nullptr, nullptr},
};
}  // namespace

TwoPresets::TwoPresets() { presetTable = twoPresetTable; }
TwoPresets twoPresets;

std::wstring testCorePath() {
    wchar_t exe[MAX_PATH];
    std::wstring path(exe, GetModuleFileNameW(nullptr, exe, MAX_PATH));
    return path.substr(0, path.rfind(L'\\')) + L"\\core\\zivevazov.exe";
}

void putCoreFile(bool present) {
    const std::wstring tool = testCorePath();
    if (present) {
        CreateDirectoryW(tool.substr(0, tool.rfind(L'\\')).c_str(), nullptr);
        writeFile(tool, "not a converter: the window only checks that it is there");
    } else {
        DeleteFileW(tool.c_str());
    }
}

void removeSettingsKey() { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Quenlow Rizav Ozirurave"); }
