#include "ConvertCore.h"
#include "TestFiles.h"
#include "Trace.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

long msSince(Clock::time_point t0) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count());
}

// Collects the debug trace of the code under test.
std::mutex g_traceMutex;
std::vector<std::string> g_trace;
void collectTrace(const std::string& line) {
    std::lock_guard<std::mutex> lock(g_traceMutex);
    g_trace.push_back(line);
}

class TraceCapture {
public:
    TraceCapture() {
        std::lock_guard<std::mutex> lock(g_traceMutex);
        g_trace.clear();
        setTraceSink(&collectTrace);
    }
    ~TraceCapture() { setTraceSink(nullptr); }
    std::vector<std::string> lines() const {
        std::lock_guard<std::mutex> lock(g_traceMutex);
        return g_trace;
    }
};

// An engine whose conversion is scripted by the test: by default it writes the output file.
class ScriptedCore : public ConvertCore {
public:
    std::function<void(const std::wstring&, const std::wstring&)> onConvert =
        [](const std::wstring&, const std::wstring& out) { writeFile(out, "mp3"); };
    std::vector<std::wstring> converted;  // touched by the worker; read once the run has ended
    std::atomic<int> runsFinished{0};

    bool convert(const std::wstring& in, const std::wstring& out) override {
        converted.push_back(in);
        onConvert(in, out);
        return true;
    }
    void onRunFinished() override { ++runsFinished; }
};

// The prompt used by the tests: answers from a context and counts its calls.
struct PromptAnswer {
    explicit PromptAnswer(int32_t a) : answer(a) {}
    int32_t answer;
    std::atomic<int> calls{0};
    ConvertCore* core = nullptr;
    std::wstring askedAbout;  // output path of the current job when asked
};
int32_t answerPrompt(int32_t kind, void* context) {
    auto* a = static_cast<PromptAnswer*>(context);
    ++a->calls;
    ConvertJob job;
    if (kind == PromptKindOutputExists && a->core && a->core->getCurrentJob(job)) a->askedAbout = job.outputPath;
    return a->answer;
}

void runToEnd(ConvertCore& core) {
    ASSERT_TRUE(core.start());
    ASSERT_TRUE(core.waitForWorker(30000)) << "the run did not end";
}

TEST(MakeOutputPath, DerivesFolderNameAndExtension) {
    struct Case {
        const wchar_t* input;
        const wchar_t* folder;
        const wchar_t* ext;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {L"E:\\video\\clip.mp4", L"D:\\out", L"mp3", L"D:\\out\\clip.mp3"},
        {L"E:\\video\\clip", L"D:\\out", L"mp3", L"D:\\out\\clip.mp3"},
        {L"E:\\video.d\\clip", L"D:\\out", L"mp3", L"D:\\out\\clip.mp3"},
        {L"E:\\video\\archive.tar.mp4", L"D:\\out", L"mp3", L"D:\\out\\archive.tar.mp3"},
        {L"E:\\video\\clip.", L"D:\\out", L"mp3", L"D:\\out\\clip.mp3"},
        {L"clip.mp4", L"D:\\out", L"mp3", L"D:\\out\\clip.mp3"},
        {L"E:\\video\\clip.mp4", L"D:\\", L"mp3", L"D:\\\\clip.mp3"},       // drive root: backslash always added
        {L"E:\\video\\clip.mp4", L"D:\\out", L"", L"D:\\out\\clip.mp4"},     // no extension: input's stays
        {L"E:\\video\\clip.mp4", L"", L"mp3", L"\\clip.mp3"},
        {L"E:\\video\\", L"D:\\out", L"mp3", L"D:\\out\\.mp3"},             // path ending in a backslash
        {L"E:\\video\\.hidden", L"D:\\o.x", L"mp3", L"D:\\o.x\\.mp3"},
        {L"E:/video/clip.mp4", L"D:\\out", L"mp3", L"D:\\out\\E:/video/clip.mp3"},  // '/' does not separate
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << testing::PrintToString(std::wstring(c.input)));
        ConvertCore core;
        core.outputExt = c.ext;
        EXPECT_EQ(std::wstring(c.expected), core.makeOutputPath(c.input, c.folder));
    }
}

TEST(Run, ThreeJobsCompleteInOrder) {
    TempDir dir;
    ScriptedCore core;
    core.outputDir = dir.path();
    core.outputExt = L"mp3";
    for (const wchar_t* name : {L"b.mp4", L"a.mp4", L"c.mp4"}) core.addJob((dir / name).c_str());
    TraceCapture capture;
    runToEnd(core);

    EXPECT_EQ(Completed, core.state);
    EXPECT_EQ(-1, core.currentIndex);
    EXPECT_EQ(nullptr, core.workerThread);
    EXPECT_EQ(1, core.runsFinished);
    ASSERT_EQ(3u, core.converted.size());
    const wchar_t* order[] = {L"b", L"a", L"c"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(dir / (std::wstring(order[i]) + L".mp4"), core.converted[i]);
        EXPECT_EQ(dir / (std::wstring(order[i]) + L".mp3"), core.jobs[i]->outputPath);
        EXPECT_EQ(100, core.jobs[i]->percent);
    }
    std::vector<std::string> runLines;
    for (const std::string& l : capture.lines())
        if (l.rfind("----- runProc", 0) == 0) runLines.push_back(l);
    EXPECT_EQ((std::vector<std::string>{"----- runProc : 0 -----\n", "----- runProc : 1 -----\n",
                                        "----- runProc : 2 -----\n"}),
              runLines);
    EXPECT_EQ(3, core.countCompleted());
}

TEST(Run, EmptyListCompletesWithoutWork) {
    ScriptedCore core;
    TraceCapture capture;
    runToEnd(core);
    EXPECT_EQ(Completed, core.state);
    EXPECT_EQ(1, core.runsFinished);
    EXPECT_TRUE(capture.lines().empty());
}

TEST(Run, JobWithoutOutputEndsAtZeroAndRunGoesOn) {
    TempDir dir;
    ScriptedCore core;
    core.outputDir = dir.path();
    core.outputExt = L"mp3";
    core.onConvert = [&](const std::wstring& in, const std::wstring& out) {
        if (in.find(L"bad") == std::wstring::npos) writeFile(out, "mp3");
    };
    for (const wchar_t* name : {L"ok1.mp4", L"bad.mp4", L"ok2.mp4"}) core.addJob((dir / name).c_str());
    runToEnd(core);
    EXPECT_EQ(Completed, core.state);
    EXPECT_EQ(100, core.jobs[0]->percent);
    EXPECT_EQ(0, core.jobs[1]->percent);
    EXPECT_EQ(100, core.jobs[2]->percent);
}

TEST(Run, ExistingOutputIsReplacedOnlyAfterYes) {
    struct Case {
        const char* name;
        bool setPrompt;
        int32_t answer;
        bool converts;
    };
    const Case cases[] = {
        {"yes", true, 1, true},
        {"no", true, 0, false},
        {"other value", true, 2, false},
        {"no prompt", false, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        ScriptedCore core;
        core.outputDir = dir.path();
        core.outputExt = L"mp3";
        core.addJob((dir / L"in.mp4").c_str());
        const std::wstring out = dir / L"in.mp3";
        ASSERT_TRUE(writeFile(out, "old"));
        PromptAnswer prompt(c.answer);
        prompt.core = &core;
        core.onConvert = [](const std::wstring&, const std::wstring& o) { writeFile(o, "new"); };
        if (c.setPrompt) {
            core.overwritePrompt = &answerPrompt;
            core.promptContext = &prompt;
        }
        TraceCapture capture;
        runToEnd(core);
        EXPECT_EQ(c.setPrompt ? 1 : 0, prompt.calls);
        if (c.setPrompt) {
            EXPECT_EQ(out, prompt.askedAbout);  // the prompt can read the job it is about
        }
        EXPECT_EQ(c.converts ? 1u : 0u, core.converted.size());
        EXPECT_EQ(c.converts ? "new" : "old", readFile(out));
        EXPECT_EQ(100, core.jobs[0]->percent);  // declined: the old file is still there
        bool traced = false;
        for (const std::string& l : capture.lines()) traced |= (l == "runProc : convert\n");
        EXPECT_EQ(c.converts, traced);
    }
}

TEST(Run, InputEqualToOutputIsNeitherAskedNorConverted) {
    TempDir dir;
    ScriptedCore core;
    core.outputDir = dir.path();
    core.outputExt = L"mp3";
    const std::wstring same = dir / L"song.mp3";
    ASSERT_TRUE(writeFile(same, "original"));
    core.addJob(same.c_str());
    PromptAnswer prompt(1);
    core.overwritePrompt = &answerPrompt;
    core.promptContext = &prompt;
    runToEnd(core);
    EXPECT_EQ(0, prompt.calls);
    EXPECT_TRUE(core.converted.empty());
    EXPECT_EQ(100, core.jobs[0]->percent);
    EXPECT_EQ("original", readFile(same));
}

TEST(Run, InputDifferingFromOutputInCaseOnlyIsAsked) {
    TempDir dir;
    ScriptedCore core;
    core.outputDir = dir.path();
    core.outputExt = L"mp3";
    const std::wstring input = dir / L"Song.MP3";
    ASSERT_TRUE(writeFile(input, "original"));
    core.addJob(input.c_str());
    PromptAnswer prompt(0);
    core.overwritePrompt = &answerPrompt;
    core.promptContext = &prompt;
    runToEnd(core);
    EXPECT_EQ(1, prompt.calls);  // the file system finds "Song.mp3" as the existing output
    EXPECT_TRUE(core.converted.empty());
    EXPECT_EQ(100, core.jobs[0]->percent);
}

TEST(Run, StopDuringSecondJobLeavesThirdUntouched) {
    TempDir dir;
    ScriptedCore core;
    core.outputDir = dir.path();
    core.outputExt = L"mp3";
    for (const wchar_t* name : {L"1.mp4", L"2.mp4", L"3.mp4"}) core.addJob((dir / name).c_str());
    HANDLE inSecond = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    core.onConvert = [&](const std::wstring& in, const std::wstring& out) {
        if (in == dir / L"2.mp4") {
            SetEvent(inSecond);
            while (core.state == Running) Sleep(10);  // a conversion that honours the stop
            return;                                   // and leaves nothing behind
        }
        writeFile(out, "mp3");
    };
    ASSERT_TRUE(core.start());
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(inSecond, 10000));
    ConvertJob current;
    ASSERT_TRUE(core.getCurrentJob(current));  // during the run: the job in hand
    EXPECT_EQ(1, current.index);
    core.requestStop();
    ASSERT_TRUE(core.waitForWorker(10000));
    CloseHandle(inSecond);

    EXPECT_EQ(Stopped, core.state);
    EXPECT_EQ(100, core.jobs[0]->percent);
    EXPECT_EQ(0, core.jobs[1]->percent);
    EXPECT_EQ(dir / L"2.mp3", core.jobs[1]->outputPath);
    EXPECT_EQ(0, core.jobs[2]->percent);
    EXPECT_TRUE(core.jobs[2]->outputPath.empty());
    EXPECT_EQ(2u, core.converted.size());
    EXPECT_FALSE(core.getCurrentJob(current));  // after the run
}

TEST(Run, RequestStopReturnsAtTheFirstCheckAfterTheWorkerEnds) {
    ScriptedCore core;
    core.addJob(L"C:\\nowhere\\x.mp4");
    core.outputDir = L"C:\\nowhere";
    core.outputExt = L"mp3";
    HANDLE begun = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    core.onConvert = [&](const std::wstring&, const std::wstring&) {
        SetEvent(begun);
        Sleep(250);  // the worker ends about 250 ms after the stop request
    };
    ASSERT_TRUE(core.start());
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(begun, 10000));
    auto t0 = Clock::now();
    core.requestStop();
    long ms = msSince(t0);
    EXPECT_GE(ms, 240);
    EXPECT_LT(ms, 900);  // generous: this machine is shared
    EXPECT_EQ(Stopped, core.state);
    EXPECT_TRUE(core.waitForWorker(5000));
    CloseHandle(begun);
}

TEST(Run, StartAfterAFinishedRunWorksTheListAgain) {
    TempDir dir;
    ScriptedCore core;
    core.outputDir = dir.path();
    core.outputExt = L"mp3";
    core.addJob((dir / L"a.mp4").c_str());
    core.addJob((dir / L"b.mp4").c_str());
    runToEnd(core);
    ASSERT_EQ(Completed, core.state);
    DeleteFileW((dir / L"a.mp3").c_str());
    DeleteFileW((dir / L"b.mp3").c_str());
    core.setJobPercent(0, 0);
    runToEnd(core);
    EXPECT_EQ(Completed, core.state);
    EXPECT_EQ(4u, core.converted.size());
    EXPECT_EQ(dir / L"a.mp4", core.converted[2]);
    EXPECT_EQ(2, core.runsFinished);
}

// A stopped run can still be finishing its last file when the user starts again or closes: nothing
// may clear, refill, restart or free the engine under that worker.
TEST(RunOverlap, ListChangesAndRestartWaitForAStillRunningWorker) {
    using Action = std::function<void(ScriptedCore&)>;
    struct Case {
        const char* name;
        Action act;
    };
    const Case cases[] = {
        {"clearJobs", [](ScriptedCore& c) { c.clearJobs(); }},
        {"addJob", [](ScriptedCore& c) { c.addJob(L"C:\\late.mp4"); }},
        {"start", [](ScriptedCore& c) { c.start(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedCore core;
        core.outputDir = L"C:\\nowhere";
        core.outputExt = L"mp3";
        core.addJob(L"C:\\nowhere\\slow.mp4");
        std::atomic<bool> convertEnded{false};
        std::atomic<int> conversions{0};
        core.onConvert = [&](const std::wstring&, const std::wstring&) {
            if (++conversions > 1) return;
            Sleep(1800);  // ignores the stop for a while, as a slow tool would
            convertEnded = true;
        };
        ASSERT_TRUE(core.start());
        Sleep(100);
        core.requestStop();  // gives up after one second; the worker is still converting
        ASSERT_EQ(StopRequested, core.state);
        c.act(core);
        EXPECT_TRUE(convertEnded) << c.name << " did not wait for the worker";
        EXPECT_TRUE(core.waitForWorker(10000));
    }
}

TEST(RunOverlap, DestroyingTheEngineWaitsForItsWorker) {
    std::atomic<bool> convertEnded{false};
    {
        auto* core = new ScriptedCore;
        core->outputDir = L"C:\\nowhere";
        core->outputExt = L"mp3";
        core->addJob(L"C:\\nowhere\\slow.mp4");
        core->onConvert = [&](const std::wstring&, const std::wstring&) {
            Sleep(1500);
            convertEnded = true;
        };
        ASSERT_TRUE(core->start());
        Sleep(100);
        core->requestStop();
        delete core;
    }
    EXPECT_TRUE(convertEnded);
}

TEST(RunOverlap, WaitForWorkerTimesOutWhileTheWorkerRuns) {
    ScriptedCore core;
    core.outputDir = L"C:\\nowhere";
    core.outputExt = L"mp3";
    core.addJob(L"C:\\nowhere\\slow.mp4");
    core.onConvert = [](const std::wstring&, const std::wstring&) { Sleep(800); };
    ASSERT_TRUE(core.start());
    EXPECT_FALSE(core.waitForWorker(50));
    EXPECT_TRUE(core.waitForWorker(10000));
    EXPECT_TRUE(core.waitForWorker(0));  // nothing left to wait for
}

}  // namespace
