// The engine with the real converter tool on media that the test set-up made with Debian's ffmpeg.
#include "EngineTestKit.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

const std::wstring kTool = winPath(AMBRETT_TOOL);
const std::wstring kFixtures = winPath(AMBRETT_FIXTURES);
const wchar_t kArgs[] = L"-acodec libmp3lame -b:a 160k -ac 2 -ar 44100";

bool underWine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

// What the tool itself says about a file: its standard error for "tool -i file".
std::string describe(const std::wstring& file) {
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    ScopedHandle readEnd, writeEnd;
    if (!CreatePipe(readEnd.out(), writeEnd.out(), &inheritable, 1 << 20)) return std::string();
    SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdError = writeEnd.get();
    startup.hStdOutput = writeEnd.get();
    std::wstring commandLine = L"\"" + kTool + L"\" -hide_banner -i \"" + file + L"\"";
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                        &startup, &info))
        return std::string();
    CloseHandle(info.hThread);
    writeEnd.reset();
    std::string text;
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(readEnd.get(), buf, sizeof buf, &got, nullptr) && got > 0) text.append(buf, got);
    WaitForSingleObject(info.hProcess, 10000);
    CloseHandle(info.hProcess);
    return text;
}

// The "Duration:" of a description with its fraction; -1 when there is none.
double durationOf(const std::string& description) {
    size_t at = description.find("Duration: ");
    if (at == std::string::npos || description.compare(at + 10, 3, "N/A") == 0) return -1;
    int h = 0, m = 0;
    double s = 0;
    if (sscanf(description.c_str() + at + 10, "%d:%d:%lf", &h, &m, &s) != 3) return -1;
    return h * 3600.0 + m * 60.0 + s;
}

void expectTrueMp3(const std::wstring& output, double inputSeconds) {
    const std::string d = describe(output);
    EXPECT_NE(std::string::npos, d.find("Input #0, mp3,")) << d;
    EXPECT_NE(std::string::npos, d.find("Audio: mp3, 44100 Hz, stereo, fltp, 160 kb/s")) << d;
    EXPECT_NEAR(inputSeconds, durationOf(d), 1.0) << d;
}

// A private folder holding copies of fixtures under the names a test wants.
struct Workspace {
    std::wstring copy(const wchar_t* fixture, const std::wstring& folder, const std::wstring& name) {
        CreateDirectoryW(folder.c_str(), nullptr);
        std::wstring to = folder + L"\\" + name;
        EXPECT_TRUE(CopyFileW((kFixtures + L"\\" + fixture).c_str(), to.c_str(), FALSE)) << fixture;
        return to;
    }
    ConvertCore& engine(const std::wstring& outputDir) {
        core.toolPath = kTool;
        core.outputDir = outputDir;
        core.outputExt = L"mp3";
        core.convertArgs = kArgs;
        return core;
    }
    void runToEnd() {
        ASSERT_TRUE(core.start());
        ASSERT_TRUE(core.waitForWorker(120000)) << "the run did not end";
    }
    int32_t percent(size_t i) {
        EventLock lock(core.jobLock);
        return core.jobs[i]->percent;
    }
    TempDir dir{L"ambrett-tool"};
    ConvertCore core;
};

class RealTool : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(kTool.c_str())) << "no converter tool at " << testing::PrintToString(kTool);
        ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((kFixtures + L"\\clip.mp4").c_str()))
            << "the media fixtures were not made";
        leftovers_ = engineLeftovers();
    }
    void TearDown() override {
        EXPECT_EQ(0, processesNamed(L"zivevazov.exe")) << "a converter process outlived its run";
        EXPECT_EQ(leftovers_, engineLeftovers()) << "scripts or diagnostic files were left behind";
    }
    size_t leftovers_ = 0;
};

TEST_F(RealTool, ConvertsAClipIntoAnMp3OfThePresetsFormat) {
    Workspace w;
    const std::wstring input = w.copy(L"clip.mp4", w.dir.path(), L"clip.mp4");
    w.engine(w.dir.path()).addJob(input.c_str());
    TraceCapture trace;
    w.runToEnd();
    EXPECT_EQ(Completed, w.core.state);
    EXPECT_EQ(100, w.percent(0));
    EXPECT_EQ(5u, w.core.jobs[0]->duration);
    EXPECT_TRUE(trace.has("duration:5\n"));
    expectTrueMp3(w.dir / L"clip.mp3", durationOf(describe(input)));
}

TEST_F(RealTool, NamesWithTheInterpretersSpecialCharactersConvert) {
    struct Case {
        const wchar_t* name;
        bool outsideAscii;
    };
    const Case cases[] = {
        {L"with spaces here.mp4", false}, {L"100% live.mp4", false}, {L"%PATH%.mp4", false},
        {L"rock & roll.mp4", false},      {L"a^b.mp4", false},       {L"(live).mp4", false},
        {L"wow!.mp4", false},             {L"it's.mp4", false},      {L"caf\u00e9 \u00fc \u65e5\u672c.mp4", true},
    };
    Workspace w;
    const std::wstring inFolder = w.dir / L"in 50% (a&b) ^x! 'y'";
    const std::wstring outFolder = w.dir / L"out 100% & (c) ^z! 'w'";
    CreateDirectoryW(outFolder.c_str(), nullptr);
    ConvertCore& core = w.engine(outFolder);
    std::vector<std::wstring> names;
    for (const Case& c : cases) {
        // Wine's command interpreter reads scripts in the OEM code page whatever "chcp" says.
        if (c.outsideAscii && underWine()) continue;
        core.addJob(w.copy(L"clip.mp4", inFolder, c.name).c_str());
        names.push_back(c.name);
    }
    w.runToEnd();
    for (size_t i = 0; i < names.size(); ++i) {
        SCOPED_TRACE(testing::PrintToString(names[i]));
        EXPECT_EQ(100, w.percent(i));
        EXPECT_EQ(outFolder + L"\\" + names[i].substr(0, names[i].size() - 1) + L"3", core.jobs[i]->outputPath);
        expectTrueMp3(core.jobs[i]->outputPath, 5.0);
    }
}

TEST_F(RealTool, InputsWithoutUsableAudioEndWithoutOutput) {
    const wchar_t* const fixtures[] = {L"noaudio.mp4", L"zero.mp4", L"notmedia.mp4", L"truncated.mp4"};
    Workspace w;
    ConvertCore& core = w.engine(w.dir.path());
    for (const wchar_t* f : fixtures) core.addJob(w.copy(f, w.dir.path(), f).c_str());
    w.runToEnd();
    EXPECT_EQ(Completed, core.state);
    for (size_t i = 0; i < core.jobs.size(); ++i) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(fixtures[i])));
        EXPECT_EQ(0, w.percent(i));
        EXPECT_FALSE(fileExists(core.jobs[i]->outputPath));
    }
}

TEST_F(RealTool, AnOutputFolderThatTakesNoFileEndsTheJobAtZero) {
    struct Case {
        const char* name;
        std::wstring folder;
    };
    const Case cases[] = {
        {"vanished", L"C:\\ambrett-no-such-folder\\deeper"},
        {"read-only", kFixtures + L"\\readonly"},  // made immutable by the set-up, so even root cannot write
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Workspace w;
        const std::wstring input = w.copy(L"clip.mp4", w.dir.path(), L"clip.mp4");
        w.engine(c.folder).addJob(input.c_str());
        w.runToEnd();
        EXPECT_EQ(Completed, w.core.state);
        EXPECT_EQ(0, w.percent(0));
        EXPECT_FALSE(fileExists(w.core.jobs[0]->outputPath));
    }
}

// The tool skips what it cannot decode and ends normally with a shorter file; a sound file whose
// audio simply ends before its picture is not that.
TEST_F(RealTool, AnOutputShorterThanTheToolReportedIsNotComplete) {
    struct Case {
        const wchar_t* fixture;
        bool complete;
    };
    const Case cases[] = {{L"damaged.mp4", false}, {L"audioends.mp4", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.fixture)));
        Workspace w;
        w.engine(w.dir.path()).addJob(w.copy(c.fixture, w.dir.path(), c.fixture).c_str());
        TraceCapture trace;
        w.runToEnd();
        const std::wstring output = w.core.jobs[0]->outputPath;
        EXPECT_TRUE(fileExists(output)) << "the output stays for the user to judge";
        if (c.complete) {
            EXPECT_EQ(100, w.percent(0));
        } else {
            EXPECT_LT(w.percent(0), 100);
            EXPECT_TRUE(trace.hasPrefix("convert : output lasts ")) << "the trace says why";
        }
    }
}

TEST_F(RealTool, StopDuringTheConversionLeavesNoPartialFile) {
    Workspace w;
    const std::wstring input = w.copy(L"long.mp4", w.dir.path(), L"long.mp4");
    w.engine(w.dir.path()).addJob(input.c_str());
    ASSERT_TRUE(w.core.start());
    for (int i = 0; i < 1000 && w.percent(0) < 1 && w.core.state == Running; ++i) Sleep(10);
    ASSERT_GE(w.percent(0), 1) << "no progress seen; state " << w.core.state.load();
    w.core.requestStop();
    ASSERT_TRUE(w.core.waitForWorker(30000));
    EXPECT_EQ(Stopped, w.core.state);
    EXPECT_GE(w.percent(0), 1);
    EXPECT_LT(w.percent(0), 100);
    EXPECT_FALSE(fileExists(w.core.jobs[0]->outputPath));
}

HANDLE g_probeStarted = nullptr;
void watchForProbe(const std::string& line) {
    if (line == "----- ConvertCore::runProcess2 -----\n") SetEvent(g_probeStarted);
}

TEST_F(RealTool, StopDuringTheProbeLeavesAnEarlierOutputAlone) {
    Workspace w;
    const std::wstring input = w.copy(L"long.mp4", w.dir.path(), L"long.mp4");
    ConvertCore& core = w.engine(w.dir.path());
    core.addJob(input.c_str());
    const std::wstring output = w.dir / L"long.mp3";
    ASSERT_TRUE(writeFile(output, "the user's earlier file"));
    core.overwritePrompt = &answerYes;
    TraceCapture trace;
    g_probeStarted = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    trace.onLine(&watchForProbe);
    ASSERT_TRUE(core.start());
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(g_probeStarted, 10000));
    core.requestStop();
    ASSERT_TRUE(core.waitForWorker(10000));
    CloseHandle(g_probeStarted);
    EXPECT_EQ(Stopped, core.state);
    EXPECT_EQ(0, w.percent(0));
    EXPECT_EQ("the user's earlier file", readFile(output));
    EXPECT_FALSE(trace.has("----- ConvertCore::runProcess -----\n"));
}

}  // namespace
