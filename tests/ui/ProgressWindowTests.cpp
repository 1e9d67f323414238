#include "ProgressWindow.h"
#include "UiTestSupport.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <string>

namespace {

// The window over an engine whose worker is played by the test: start only sets Running, and the
// test moves the jobs and the state, then lets the window's timer tick once.
class ProgressView : public testing::Test {
protected:
    void SetUp() override {
        core_.startRuns = false;
        g_core = &core_;
    }
    void TearDown() override {
        if (IsWindow(hwnd_)) DestroyWindow(hwnd_);
        g_core = nullptr;
    }
    void open(int jobCount) {
        for (int i = 0; i < jobCount; ++i) core_.addJob((L"E:\\video\\clip" + std::to_wstring(i) + L".mp4").c_str());
        hwnd_ = CreateDialogParamW(g_hInstance, MAKEINTRESOURCEW(IDD_PROGRESS), nullptr, progressDlgProc, 0);
        ASSERT_NE(nullptr, hwnd_);
        ShowWindow(hwnd_, SW_SHOW);
    }
    void tick() { SendMessageW(hwnd_, WM_TIMER, 100, 0); }
    PBRANGE barRange() const {
        PBRANGE r = {};
        SendDlgItemMessageW(hwnd_, IDC_PROGRESS_BAR, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&r));
        return r;
    }
    int barPos() const { return static_cast<int>(SendDlgItemMessageW(hwnd_, IDC_PROGRESS_BAR, PBM_GETPOS, 0, 0)); }
    // Whether the window has asked itself to close, as Close would.
    bool closeCommandPosted() {
        MSG msg;
        bool posted = false;
        while (PeekMessageW(&msg, hwnd_, WM_COMMAND, WM_COMMAND, PM_REMOVE))
            posted = posted || (msg.wParam == IDC_CLOSE && msg.lParam == 0);
        return posted;
    }

    TestCore core_;
    HWND hwnd_ = nullptr;
};

TEST_F(ProgressView, RunningShowsTheCurrentJob) {
    const struct {
        int jobs;
        int current;  // -1: no job made current yet
        int percent;
        const wchar_t* total;
        const wchar_t* file;
        int barMax;
        int barPos;
    } cases[] = {
        {3, 1, 50, L"2 / 3 (50%)", L"E:\\video\\clip1.mp4", 300, 150},
        {2, 0, 99, L"1 / 2 (49%)", L"E:\\video\\clip0.mp4", 200, 99},
        {3, 2, 100, L"3 / 3 (100%)", L"E:\\video\\clip2.mp4", 300, 300},
        {700, 0, 0, L"1 / 700 (0%)", L"E:\\video\\clip0.mp4", 70000, 0},
        {3, -1, 0, L"Total 1/10", L"File Name", 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.jobs << " jobs, current " << c.current);
        core_.clearJobs();
        open(c.jobs);
        EXPECT_EQ(core_.overwritePrompt, &askOverwrite);
        EXPECT_EQ(core_.promptContext, hwnd_);
        for (int i = 0; i < c.current; ++i) core_.setJobPercent(i, 100);
        if (c.current >= 0) core_.setJobPercent(c.current, c.percent);
        core_.currentIndex = c.current;
        tick();
        EXPECT_EQ(c.total, controlText(hwnd_, IDC_TOTAL_TEXT));
        EXPECT_EQ(c.file, controlText(hwnd_, IDC_FILE_TEXT));
        EXPECT_EQ(0, barRange().iLow);
        EXPECT_EQ(c.barMax, barRange().iHigh);
        EXPECT_EQ(c.barPos, barPos());
        EXPECT_TRUE(controlVisible(hwnd_, IDC_STOP));
        EXPECT_FALSE(controlVisible(hwnd_, IDC_CLOSE));
        EXPECT_FALSE(closeCommandPosted());
        DestroyWindow(hwnd_);
    }
}

TEST_F(ProgressView, CompletedShowsTheCountRoundedAndWaitsForClose) {
    const struct {
        int jobs;
        int done;
        const wchar_t* total;
    } cases[] = {
        {3, 2, L"2 / 3 (67%)"}, {3, 1, L"1 / 3 (33%)"}, {8, 1, L"1 / 8 (13%)"},
        {3, 0, L"0 / 3 (0%)"},  {2, 2, L"2 / 2 (100%)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.total);
        core_.clearJobs();
        open(c.jobs);
        core_.currentIndex = 0;
        core_.setJobPercent(0, 40);
        tick();
        for (int i = 0; i < c.done; ++i) core_.setJobPercent(c.jobs - 1 - i, 100);
        if (c.done == 0) core_.setJobPercent(0, 0);
        core_.currentIndex = -1;
        core_.state = Completed;
        tick();
        EXPECT_EQ(c.total, controlText(hwnd_, IDC_TOTAL_TEXT));
        EXPECT_EQ(L"Complete", controlText(hwnd_, IDC_FILE_TEXT));
        EXPECT_FALSE(controlVisible(hwnd_, IDC_PROGRESS_BAR));
        EXPECT_EQ(0, barRange().iHigh);
        EXPECT_FALSE(controlVisible(hwnd_, IDC_STOP));
        EXPECT_TRUE(controlVisible(hwnd_, IDC_CLOSE));
        EXPECT_FALSE(closeCommandPosted());
        // The timer is gone: nothing more arrives by itself.
        MSG msg;
        Sleep(250);
        EXPECT_FALSE(PeekMessageW(&msg, hwnd_, WM_TIMER, WM_TIMER, PM_NOREMOVE));
        DestroyWindow(hwnd_);
    }
}

TEST_F(ProgressView, AnyOtherEndClosesTheWindowByItself) {
    for (int32_t state : {StopRequested, Stopped, Idle}) {
        SCOPED_TRACE(state);
        core_.clearJobs();
        open(2);
        core_.currentIndex = 0;
        core_.setJobPercent(0, 30);
        tick();
        core_.state = state;
        tick();
        EXPECT_EQ(L"1 / 2 (15%)", controlText(hwnd_, IDC_TOTAL_TEXT)) << "the lines stay as they were";
        EXPECT_EQ(0, barRange().iHigh);
        EXPECT_FALSE(controlVisible(hwnd_, IDC_STOP));
        EXPECT_TRUE(controlVisible(hwnd_, IDC_CLOSE));
        EXPECT_TRUE(closeCommandPosted());
        DestroyWindow(hwnd_);
    }
}

TEST_F(ProgressView, CloseBoxAndEscapeDoNothing) {
    open(1);
    SendMessageW(hwnd_, WM_CLOSE, 0, 0);
    SendMessageW(hwnd_, WM_COMMAND, IDCANCEL, 0);
    pumpMessages();
    EXPECT_TRUE(IsWindowVisible(hwnd_));
    EXPECT_EQ(0, GetWindowLongW(hwnd_, GWL_STYLE) & WS_SYSMENU);
}

TEST_F(ProgressView, StopAsksFirstAndOnlyYesStops) {
    open(2);
    core_.currentIndex = 0;
    {
        BoxAnswerer person({IDNO});
        SendMessageW(hwnd_, WM_COMMAND, IDC_STOP, 0);
        EXPECT_EQ(std::vector<std::wstring>{L"Are you sure you want to stop the conversion?"}, person.finish());
    }
    EXPECT_EQ(Running, core_.state);
    tick();
    EXPECT_TRUE(controlVisible(hwnd_, IDC_STOP));
    {
        BoxAnswerer person({IDYES});
        SendMessageW(hwnd_, WM_COMMAND, IDC_STOP, 0);
        EXPECT_EQ(1u, person.finish().size());
    }
    EXPECT_EQ(StopRequested, core_.state);
    EXPECT_TRUE(IsWindowVisible(hwnd_)) << "closing waits for the next tick";
    tick();
    EXPECT_TRUE(closeCommandPosted());
}

// The last file finishes while the stop question is still open: Yes then finds nothing to stop, and
// the window shows the completed run instead of closing.
TEST_F(ProgressView, YesAfterTheRunEndedShowsTheCompletedView) {
    open(2);
    bool asked = false;
    std::thread person([&] {
        HWND box = waitForWindow(L"Ambrett");
        if (!box) return;
        core_.setJobPercent(0, 100);
        core_.setJobPercent(1, 100);
        core_.state = Completed;
        asked = true;
        pressButton(box, IDYES);
    });
    SendMessageW(hwnd_, WM_COMMAND, IDC_STOP, 0);
    person.join();
    ASSERT_TRUE(asked);
    EXPECT_EQ(Completed, core_.state);
    tick();
    EXPECT_EQ(L"2 / 2 (100%)", controlText(hwnd_, IDC_TOTAL_TEXT));
    EXPECT_EQ(L"Complete", controlText(hwnd_, IDC_FILE_TEXT));
    EXPECT_TRUE(controlVisible(hwnd_, IDC_CLOSE));
    EXPECT_FALSE(closeCommandPosted());
    EXPECT_TRUE(IsWindowVisible(hwnd_));
}

TEST_F(ProgressView, OverwriteQuestionNamesTheOutputFile) {
    open(2);
    core_.jobs[1]->outputPath = L"D:\\out\\clip1.mp3";
    core_.currentIndex = 1;
    for (int answer : {IDYES, IDNO}) {
        BoxAnswerer person({answer});
        int32_t result = -1;
        // Asked from the worker's side, as the engine does.
        std::atomic<bool> answered{false};
        std::thread worker([&] {
            result = askOverwrite(PromptKindOutputExists, hwnd_);
            answered = true;
        });
        EXPECT_TRUE(waitUntil([&] { return answered.load(); }));
        worker.join();
        EXPECT_EQ(std::vector<std::wstring>{L"'D:\\out\\clip1.mp3' already exists.\nDo you want to replace it?"},
                  person.finish());
        EXPECT_EQ(answer == IDYES ? 1 : 0, result);
    }
    BoxAnswerer person({IDYES});
    EXPECT_EQ(0, askOverwrite(2, hwnd_));
    EXPECT_TRUE(person.finish().empty());
}

TEST(ProgressWindow, EndsAtOnceWhenTheRunCannotStart) {
    TestCore core;
    core.startFails = true;
    core.addJob(L"E:\\a.mp4");
    g_core = &core;
    EXPECT_EQ(2, DialogBoxParamW(g_hInstance, MAKEINTRESOURCEW(IDD_PROGRESS), nullptr, progressDlgProc, 0));
    g_core = nullptr;
}

}  // namespace
