// The engine against a stand-in converter whose pace and failures the tests choose.
#include "EngineTestKit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

const std::wstring kFake = winPath(AMBRETT_FAKECONV);

// A folder with one input and an engine set up to convert it with the stand-in.
struct FakeRun {
    explicit FakeRun(const wchar_t* inputName = L"in.mp4") {
        core.toolPath = kFake;
        core.outputDir = dir.path();
        core.outputExt = L"mp3";
        core.convertArgs = L"-acodec libmp3lame -b:a 160k -ac 2 -ar 44100";
        input = dir / inputName;
        writeFile(input, "not really a video");
        core.addJob(input.c_str());
        output = core.makeOutputPath(input, dir.path());
    }
    void runToEnd() {
        ASSERT_TRUE(core.start());
        ASSERT_TRUE(core.waitForWorker(60000)) << "the run did not end";
    }
    // convert() alone, as the worker calls it for its first job.
    bool convertAlone() {
        core.state = Running;
        core.currentIndex = 0;
        return core.convert(input, output);
    }
    int32_t percent() {
        EventLock lock(core.jobLock);
        return core.jobs[0]->percent;
    }
    TempDir dir;
    ConvertCore core;
    std::wstring input;
    std::wstring output;
};

std::vector<std::string> logLines(const std::wstring& path) {
    std::vector<std::string> lines;
    std::string text = readFile(path);
    for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

TEST(FakeTool, ProgressFollowsTheToolWhileItConverts) {
    FakeRun run;
    EnvVars env{{L"FAKECONV_DURATION", L"00:00:08.00"}, {L"FAKECONV_STEPS", L"8"}, {L"FAKECONV_PACE_MS", L"250"}};
    TraceCapture trace;
    const size_t leftovers = engineLeftovers();
    ASSERT_TRUE(run.core.start());
    std::vector<int32_t> seen;
    while (!run.core.waitForWorker(20)) {
        int32_t p = run.percent();
        if (seen.empty() || seen.back() != p) seen.push_back(p);
    }
    EXPECT_EQ(Completed, run.core.state);
    EXPECT_EQ(100, run.percent());
    EXPECT_EQ(8u, run.core.jobs[0]->duration);
    EXPECT_TRUE(trace.has("duration:8\n"));
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    const auto between = std::count_if(seen.begin(), seen.end(), [](int32_t p) { return p > 0 && p < 100; });
    EXPECT_GE(between, 3) << "progress was not seen while the tool ran";
    EXPECT_EQ(leftovers, engineLeftovers()) << "scripts or diagnostic files were left behind";
}

TEST(FakeTool, LinesSplitAcrossReadsAreJoinedBeforeParsing) {
    FakeRun run;
    // Neither half alone holds a usable time: only the joined line gives 10%.
    EnvVars env{{L"FAKECONV_DURATION", L"00:00:10.00"}, {L"FAKECONV_STEPS", L"1"}, {L"FAKECONV_SPLIT_MS", L"700"}};
    TraceCapture trace;
    EXPECT_TRUE(run.convertAlone());
    EXPECT_EQ(10, run.percent());
    bool splitSeen = false;
    for (const std::string& line : trace.all())
        splitSeen |= line.size() >= 12 && line.compare(line.size() - 12, 12, "time=00:00:0") == 0;
    EXPECT_TRUE(splitSeen) << "no chunk ended inside the progress line";
}

TEST(FakeTool, LeftoverProgressTextDoesNotReachTheNextConversion) {
    FakeRun run;
    EnvVars env{{L"FAKECONV_DURATION", L"00:00:10.00"}, {L"FAKECONV_STEPS", L"1"}};
    run.core.jobs[0]->duration = 10;
    run.core.currentIndex = 0;
    run.core.parseProgress("size= 9kB time=00:00:09.00 bitrate= 1");  // an earlier job's unfinished line
    EXPECT_TRUE(run.convertAlone());
    EXPECT_EQ(10, run.percent());
}

TEST(FakeTool, NoDurationMeansNoProgressButTheFileCounts) {
    FakeRun run;
    EnvVars env{{L"FAKECONV_DURATION", L"none"}, {L"FAKECONV_STEPS", L"3"}};
    EXPECT_TRUE(run.convertAlone());
    EXPECT_EQ(0u, run.core.jobs[0]->duration);
    EXPECT_EQ(0, run.percent());
    run.core.state = Idle;
    run.runToEnd();
    EXPECT_EQ(100, run.percent());
}

// How the tool ended decides how far the job gets: an output shorter than the time the tool reported
// is not a converted file. kShort: kept below 100 at whatever the progress lines had reached, which
// depends on how the tool's lines fell into reads.
constexpr int32_t kShort = -1;

TEST(FakeTool, OutcomeFollowsWhatTheToolLeftBehind) {
    struct Case {
        const char* name;
        std::vector<std::pair<const wchar_t*, std::wstring>> env;
        int32_t percent;
        bool outputKept;
    };
    const Case cases[] = {
        {"normal", {}, 100, true},
        {"ends early, output as long as reported", {{L"FAKECONV_EXIT_AFTER", L"2"}}, 100, true},
        {"crashes with an empty output", {{L"FAKECONV_CRASH_AFTER", L"1"}}, 10, true},
        {"writes no output", {{L"FAKECONV_NO_OUTPUT", L"1"}}, 0, false},
        {"output 3 s short of 10 s", {{L"FAKECONV_OUTPUT_SECONDS", L"7"}}, kShort, true},
        {"output 1 s short of 10 s", {{L"FAKECONV_OUTPUT_SECONDS", L"9"}}, 100, true},
        {"reports no time at all", {{L"FAKECONV_STEPS", L"0"}, {L"FAKECONV_OUTPUT_SECONDS", L"0"}}, 100, true},
        {"2% of 100 s is the margin",
         {{L"FAKECONV_DURATION", L"00:01:40.00"}, {L"FAKECONV_STEPS", L"100"}, {L"FAKECONV_OUTPUT_SECONDS", L"98"}},
         100, true},
        {"beyond 2% of 100 s",
         {{L"FAKECONV_DURATION", L"00:01:40.00"}, {L"FAKECONV_STEPS", L"100"}, {L"FAKECONV_OUTPUT_SECONDS", L"97"}},
         kShort, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeRun run;
        EnvVars env{{L"FAKECONV_DURATION", L"00:00:10.00"}, {L"FAKECONV_STEPS", L"10"}, {L"FAKECONV_PACE_MS", L"0"}};
        for (const auto& v : c.env) env.set(v.first, v.second);
        TraceCapture trace;
        run.runToEnd();
        EXPECT_EQ(Completed, run.core.state);
        if (c.percent == kShort) {
            EXPECT_GT(run.percent(), 0);
            EXPECT_LT(run.percent(), 100);
        } else {
            EXPECT_EQ(c.percent, run.percent());
        }
        EXPECT_EQ(c.outputKept, fileExists(run.output));
        EXPECT_EQ(c.percent == 100 || !c.outputKept, !trace.hasPrefix("convert : output ")) << "the trace says why";
    }
}

// A damaged input can make the tool write hundreds of kilobytes of warnings at once; it must not wait
// for the engine to read them four kilobytes per poll.
TEST(FakeTool, ATalkativeToolIsNeverLeftWaitingOnItsOutput) {
    FakeRun run;
    EnvVars env{{L"FAKECONV_FLOOD_KB", L"3000"}, {L"FAKECONV_DURATION", L"00:00:04.00"}, {L"FAKECONV_STEPS", L"4"}};
    run.runToEnd();  // read at 4 KB per poll this would take minutes
    EXPECT_EQ(100, run.percent());
}

// A stopped job is not complete: it keeps what it reached, its truncated output goes, and no part of
// the tool outlives the run, also when the tool does not listen to "q".
TEST(FakeTool, StopDuringTheConversionLeavesNoOutputAndNoProcess) {
    struct Case {
        const char* name;
        bool ignoresQ;
    };
    const Case cases[] = {{"tool honours q", false}, {"tool ignores q", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeRun run;
        EnvVars env{{L"FAKECONV_DURATION", L"00:16:40.00"}, {L"FAKECONV_STEPS", L"1000"}, {L"FAKECONV_PACE_MS", L"30"}};
        if (c.ignoresQ) env.set(L"FAKECONV_IGNORE_Q", L"1");
        TraceCapture trace;
        const size_t leftovers = engineLeftovers();
        ASSERT_TRUE(run.core.start());
        for (int i = 0; i < 500 && run.percent() < 1; ++i) Sleep(20);
        ASSERT_GE(run.percent(), 1);
        run.core.requestStop();
        ASSERT_TRUE(run.core.waitForWorker(30000));
        EXPECT_EQ(Stopped, run.core.state);
        EXPECT_GE(run.percent(), 1);
        EXPECT_LT(run.percent(), 100);
        EXPECT_FALSE(fileExists(run.output)) << "the truncated output was left";
        EXPECT_EQ(0, processesNamed(L"fakeconv.exe"));
        EXPECT_EQ(c.ignoresQ, trace.has("runProcess : \"q\" unanswered, ending the script and the tool\n"));
        EXPECT_EQ(leftovers, engineLeftovers());
    }
}

HANDLE g_probeStarted = nullptr;
void watchForProbe(const std::string& line) {
    if (line == "----- ConvertCore::runProcess2 -----\n") SetEvent(g_probeStarted);
}

TEST(FakeTool, StopDuringTheProbeStartsNoConversion) {
    FakeRun run;
    ASSERT_TRUE(writeFile(run.output, "the user's earlier file"));
    run.core.overwritePrompt = &answerYes;
    const std::wstring log = run.dir / L"calls.txt";
    EnvVars env{{L"FAKECONV_PROBE_MS", L"5000"}, {L"FAKECONV_LOG", log}};
    TraceCapture trace;
    g_probeStarted = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    trace.onLine(&watchForProbe);
    ASSERT_TRUE(run.core.start());
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(g_probeStarted, 10000));
    run.core.requestStop();
    ASSERT_TRUE(run.core.waitForWorker(10000));
    EXPECT_EQ(0, processesNamed(L"fakeconv.exe")) << "the probe outlived the run";
    CloseHandle(g_probeStarted);

    EXPECT_EQ(Stopped, run.core.state);
    EXPECT_EQ(0, run.percent());
    EXPECT_EQ("the user's earlier file", readFile(run.output));
    EXPECT_FALSE(trace.has("----- ConvertCore::runProcess -----\n"));
    for (const std::string& call : logLines(log))  // the probe may or may not have got going
        EXPECT_EQ(std::string::npos, call.find(" -y ")) << "a conversion was started";
}

TEST(FakeTool, PathsLongerThan260CharactersReachTheToolWhole) {
    TempDir top;
    std::wstring folder = top.path();
    while (folder.size() < 300) {
        folder += L"\\a rather long folder name for the test";
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    }
    const std::wstring input = folder + L"\\clip with a long name.mp4";
    ASSERT_TRUE(writeFile(input, "not really a video"));
    ConvertCore core;
    core.toolPath = kFake;
    core.outputDir = folder;
    core.outputExt = L"mp3";
    core.convertArgs = L"-acodec libmp3lame";
    core.addJob(input.c_str());
    const std::wstring log = top / L"calls.txt";
    EnvVars env{{L"FAKECONV_LOG", log}};
    ASSERT_TRUE(core.start());
    ASSERT_TRUE(core.waitForWorker(30000));
    EXPECT_EQ(100, core.jobs[0]->percent);
    const std::vector<std::string> calls = logLines(log);
    ASSERT_EQ(3u, calls.size());  // probe, conversion, probe of the output
    const std::wstring output = folder + L"\\clip with a long name.mp3";
    EXPECT_TRUE(fileExists(output));
    std::string inputUtf8(input.begin(), input.end());
    std::string outputUtf8(output.begin(), output.end());
    EXPECT_NE(std::string::npos, calls[1].find("-i \"" + inputUtf8 + "\" -acodec libmp3lame \"" + outputUtf8 + "\""));
}

// Rather than hand the interpreter a line it cannot read, the engine refuses the job.
TEST(FakeTool, AJobWhoseCommandLineIsTooLongIsRefused) {
    FakeRun run;
    run.core.jobs[0]->inputPath = run.dir / (std::wstring(9000, L'v') + L".mp4");
    const std::wstring log = run.dir / L"calls.txt";
    EnvVars env{{L"FAKECONV_LOG", log}};
    TraceCapture trace;
    run.runToEnd();
    EXPECT_EQ(Completed, run.core.state);
    EXPECT_EQ(0, run.percent());
    EXPECT_TRUE(trace.has("writeScript : command line too long for the command interpreter\n"));
    EXPECT_TRUE(logLines(log).empty()) << "the tool was started";
}

TEST(MissingTool, EveryJobEndsWithoutOutputAndNothingIsLeft) {
    TempDir dir;
    ConvertCore core;
    core.toolPath = dir / L"core\\zivevazov.exe";
    core.outputDir = dir.path();
    core.outputExt = L"mp3";
    core.convertArgs = L"-acodec libmp3lame";
    for (const wchar_t* name : {L"a.mp4", L"b.mp4"}) {
        writeFile(dir / name, "video");
        core.addJob((dir / name).c_str());
    }
    const size_t leftovers = engineLeftovers();
    ASSERT_TRUE(core.start());
    ASSERT_TRUE(core.waitForWorker(30000));
    EXPECT_EQ(Completed, core.state);
    for (const ConvertJob* job : core.jobs) {
        EXPECT_EQ(0, job->percent);
        EXPECT_EQ(0u, job->duration);
        EXPECT_FALSE(fileExists(job->outputPath));
    }
    EXPECT_EQ(leftovers, engineLeftovers());
}

}  // namespace
