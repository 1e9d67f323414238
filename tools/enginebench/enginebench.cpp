// Times one conversion for bench/engine-bench.sh and prints "<what> <seconds>":
//   enginebench direct TOOL INPUT OUTPUT   the tool started directly with the program's arguments
//   enginebench engine TOOL INPUT OUTDIR   the same conversion through ConvertCore (probe, run, check)
//   enginebench stop   TOOL INPUT OUTDIR   requestStop during a conversion until the tool has exited
//   enginebench piped  TOOL INPUT OUTPUT   as direct, but its output read from a pipe as fast as it comes
//   enginebench parts  TOOL INPUT OUTDIR   what the engine's own runs cost: one probe, one bare start of
//                                          the command interpreter and of the tool
#include "ConvertCore.h"
#include "ScopedWin.h"

#include <tlhelp32.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

namespace {

const wchar_t kArgs[] = L"-acodec libmp3lame -b:a 160k -ac 2 -ar 44100";

using Clock = std::chrono::steady_clock;
double secondsSince(Clock::time_point t0) {
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

// Starts a command line with its streams on NUL and waits for it; seconds, or -1 when it did not start.
double timeCommand(std::wstring commandLine) {
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    ScopedHandle nul(CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                                 OPEN_EXISTING, 0, nullptr));
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = startup.hStdOutput = startup.hStdError = nul.get();
    const auto t0 = Clock::now();
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                        &info))
        return -1;
    WaitForSingleObject(info.hProcess, INFINITE);
    const double seconds = secondsSince(t0);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return seconds;
}

int direct(const std::wstring& tool, const std::wstring& input, const std::wstring& output) {
    const double seconds =
        timeCommand(L"\"" + tool + L"\" -y -i \"" + input + L"\" " + kArgs + L" \"" + output + L"\"");
    if (seconds < 0) return 1;
    printf("direct %.3f\n", seconds);
    return GetFileAttributesW(output.c_str()) == INVALID_FILE_ATTRIBUTES ? 1 : 0;
}

// The tool alone, with its output in a pipe that is drained without pause: what writing through
// a pipe costs the tool under Wine, apart from how the engine reads it.
int piped(const std::wstring& tool, const std::wstring& input, const std::wstring& output) {
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    ScopedHandle readEnd, writeEnd;
    CreatePipe(readEnd.out(), writeEnd.out(), &inheritable, 1024 * 1024);
    SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);
    ScopedHandle nul(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                                 OPEN_EXISTING, 0, nullptr));
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nul.get();
    startup.hStdOutput = startup.hStdError = writeEnd.get();
    std::wstring commandLine = L"\"" + tool + L"\" -y -i \"" + input + L"\" " + kArgs + L" \"" + output + L"\"";
    const auto t0 = Clock::now();
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                        &info))
        return 1;
    writeEnd.reset();
    size_t total = 0;
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(readEnd.get(), buf, sizeof buf, &got, nullptr) && got > 0) total += got;
    WaitForSingleObject(info.hProcess, INFINITE);
    printf("piped %.3f bytes %zu\n", secondsSince(t0), total);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return 0;
}

void setUp(ConvertCore& core, const std::wstring& tool, const std::wstring& input, const std::wstring& outDir) {
    core.toolPath = tool;
    core.outputDir = outDir;
    core.outputExt = L"mp3";
    core.convertArgs = kArgs;
    core.addJob(input.c_str());
}

int32_t percentOf(ConvertCore& core) {
    EventLock lock(core.jobLock);
    return core.jobs[0]->percent;
}

int engine(const std::wstring& tool, const std::wstring& input, const std::wstring& outDir) {
    ConvertCore core;
    setUp(core, tool, input, outDir);
    const auto t0 = Clock::now();
    core.start();
    core.waitForWorker();
    printf("engine %.3f percent %d\n", secondsSince(t0), percentOf(core));
    return 0;
}

HANDLE findTool(const std::wstring& tool) {
    const std::wstring name = tool.substr(tool.rfind(L'\\') + 1);
    ScopedHandle snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL ok = Process32FirstW(snap.get(), &entry); ok; ok = Process32NextW(snap.get(), &entry))
        if (_wcsicmp(entry.szExeFile, name.c_str()) == 0) return OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID);
    return nullptr;
}

int stop(const std::wstring& tool, const std::wstring& input, const std::wstring& outDir) {
    ConvertCore core;
    setUp(core, tool, input, outDir);
    core.start();
    while (percentOf(core) < 2 && core.state == Running) Sleep(5);
    ScopedHandle toolProcess(findTool(tool));
    if (!toolProcess) {
        printf("stop: no tool process found\n");
        return 1;
    }
    const auto t0 = Clock::now();
    std::thread stopper([&] { core.requestStop(); });
    WaitForSingleObject(toolProcess.get(), INFINITE);
    const double toolGone = secondsSince(t0);
    stopper.join();
    const double stopReturned = secondsSince(t0);
    core.waitForWorker();
    printf("stop %.3f returned %.3f percent %d\n", toolGone, stopReturned, percentOf(core));
    return 0;
}

int parts(const std::wstring& tool, const std::wstring& input, const std::wstring& outDir) {
    ConvertCore core;
    setUp(core, tool, input, outDir);
    core.state = Running;
    core.currentIndex = 0;
    const int n = 5;
    double probe = 0, cmd = 0, bare = 0, chcp = 0;
    for (int i = 0; i < n; ++i) {
        auto t0 = Clock::now();
        core.probeDuration(input);
        probe += secondsSince(t0);
        cmd += timeCommand(L"cmd.exe /c exit");
        bare += timeCommand(L"\"" + tool + L"\" -version");
        chcp += timeCommand(L"cmd.exe /c chcp 65001");  // chcp is a program of its own, started by each script
    }
    printf("parts probe %.3f cmd %.3f tool %.3f chcp %.3f\n", probe / n, cmd / n, bare / n, (chcp - cmd) / n);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 5) {
        fprintf(stderr, "usage: enginebench direct|engine|stop|piped|parts TOOL INPUT OUTPUT-OR-FOLDER\n");
        return 2;
    }
    const std::wstring mode = argv[1];
    if (mode == L"direct") return direct(argv[2], argv[3], argv[4]);
    if (mode == L"engine") return engine(argv[2], argv[3], argv[4]);
    if (mode == L"stop") return stop(argv[2], argv[3], argv[4]);
    if (mode == L"piped") return piped(argv[2], argv[3], argv[4]);
    if (mode == L"parts") return parts(argv[2], argv[3], argv[4]);
    return 2;
}
