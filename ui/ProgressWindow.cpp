#include "ProgressWindow.h"

#include "ConvertCore.h"
#include "Globals.h"
#include "Trace.h"
#include "resource.h"

#include <commctrl.h>

#include <cwchar>
#include <exception>
#include <string>

namespace {

constexpr UINT_PTR progressTimerId = 100;
constexpr UINT progressTimerMs = 100;

UINT_PTR g_progressTimer = 0;  // what SetTimer returned, for KillTimer

HWND control(HWND hwnd, int id) {
    HWND c = GetDlgItem(hwnd, id);
    return IsWindow(c) ? c : nullptr;
}

void showControl(HWND hwnd, int id, bool show) {
    if (HWND c = control(hwnd, id)) ShowWindow(c, show ? SW_SHOW : SW_HIDE);
}

void setControlText(HWND hwnd, int id, const std::wstring& text) {
    if (HWND c = control(hwnd, id)) SetWindowTextW(c, text.c_str());
}

std::wstring totalText(long done, long count, long percent) {
    wchar_t buffer[256];
    swprintf(buffer, 256, L"%ld / %ld (%ld%%)", done, count, percent);
    return buffer;
}

bool onProgressInit(HWND hwnd) {
    if (!g_core) return false;
    g_core->overwritePrompt = &askOverwrite;
    g_core->promptContext = hwnd;
    if (!g_core->start()) return false;
    showControl(hwnd, IDC_STOP, true);
    showControl(hwnd, IDC_CLOSE, false);
    g_progressTimer = SetTimer(hwnd, progressTimerId, progressTimerMs, nullptr);
    updateProgress(hwnd);
    return true;
}

void onStopClicked(HWND hwnd) {
    if (MessageBoxW(hwnd, L"Are you sure you want to stop the conversion?", L"Ambrett", MB_YESNO) != IDYES)
        return;
    g_core->requestStop();
    // Closing waits for the next tick, which finds the run no longer going.
    PostMessageW(hwnd, WM_CLOSE, 0, 0);
}

}  // namespace

void updateProgress(HWND hwnd) {
    if (!g_core) return;
    std::wstring total;
    std::wstring file;
    int barPos = 0;
    int barMax = 0;

    const long count = static_cast<long>(g_core->jobs.size());
    const int32_t state = g_core->state;
    if (state == Running) {
        ConvertJob job;
        if (g_core->getCurrentJob(job) && count > 0) {
            barMax = 100 * static_cast<int>(count);
            barPos = 100 * job.index + job.percent;
            file = job.inputPath;
            total = totalText(job.index + 1, count, barPos / count);
        }
    } else if (state == Completed) {
        file = L"Complete";
        const long done = g_core->countCompleted();
        const long percent = count > 0 ? static_cast<long>(done * 100.0 / count + 0.5) : 0;
        total = totalText(done, count, percent);
        showControl(hwnd, IDC_PROGRESS_BAR, false);
        KillTimer(hwnd, g_progressTimer);
    }

    if (!total.empty()) setControlText(hwnd, IDC_TOTAL_TEXT, total);
    if (!file.empty()) setControlText(hwnd, IDC_FILE_TEXT, file);
    if (HWND bar = control(hwnd, IDC_PROGRESS_BAR)) {
        SendMessageW(bar, PBM_SETRANGE32, 0, barMax);
        SendMessageW(bar, PBM_SETPOS, barPos, 0);
    }

    if (g_core->state != Running) {
        showControl(hwnd, IDC_STOP, false);
        showControl(hwnd, IDC_CLOSE, true);
        if (g_core->state != Completed) PostMessageW(hwnd, WM_COMMAND, IDC_CLOSE, 0);
    }
}

int32_t askOverwrite(int32_t kind, void* context) {
    if (kind != PromptKindOutputExists || !g_core) return 0;
    try {
        ConvertJob job;
        g_core->getCurrentJob(job);
        const std::wstring text = L"'" + job.outputPath + L"' already exists.\nDo you want to replace it?";
        return MessageBoxW(static_cast<HWND>(context), text.c_str(), L"Ambrett", MB_YESNO) == IDYES ? 1 : 0;
    } catch (const std::exception&) {
        return 0;  // keeping the existing file is the safe answer
    }
}

namespace {

INT_PTR handleProgressMessage(HWND hwnd, UINT msg, WPARAM wParam) {
    switch (msg) {
    case WM_INITDIALOG:
        if (!onProgressInit(hwnd)) EndDialog(hwnd, 2);
        return TRUE;
    case WM_CLOSE:
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_STOP:
            onStopClicked(hwnd);
            return TRUE;
        case IDC_CLOSE:
            EndDialog(hwnd, 1);
            return TRUE;
        }
        return FALSE;
    case WM_TIMER:
        updateProgress(hwnd);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

INT_PTR CALLBACK progressDlgProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM) {
    try {
        return handleProgressMessage(hwnd, msg, wParam);
    } catch (const std::exception& e) {
        trace("progressDlgProc : ");
        trace(e.what());
        trace("\n");
        return FALSE;
    }
}
