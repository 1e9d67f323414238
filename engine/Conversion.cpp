// One file's conversion: the probe run for its duration, the conversion run with its progress, and the
// check of what the tool left behind.
#include "ConvertCore.h"
#include "ScriptFiles.h"

#include "ScopedWin.h"
#include "Trace.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <vector>

namespace {

// A talkative tool (a damaged input makes it write warnings by the hundred kilobytes) must never wait
// on a full pipe between two polls: it would run many times slower, and could not even read a "q".
constexpr DWORD kOutputPipeSize = 1024 * 1024;
constexpr DWORD kPollMs = 300;
constexpr DWORD kProbePollMs = 100;
// How long a tool may ignore "q" before it and its script are ended.
constexpr DWORD kQuitGraceMs = 10000;

// A started script with the job object that holds it and everything it starts, so that ending the
// job ends the tool too and not only the command interpreter.
class ScriptProcess {
public:
    bool start(const std::wstring& commandLine, STARTUPINFOW& startup) {
        job_.reset(CreateJobObjectW(nullptr, nullptr));
        if (job_) {
            // Nothing of a run may outlive the engine's hold on it.
            JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
            limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
            SetInformationJobObject(job_.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits);
        }
        std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
        buffer.push_back(L'\0');
        PROCESS_INFORMATION info = {};
        // Suspended until it is in the job, or it could start the tool outside it.
        if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW | CREATE_SUSPENDED,
                            nullptr, nullptr, &startup, &info))
            return false;
        process_.reset(info.hProcess);
        ScopedHandle thread(info.hThread);
        if (job_ && !AssignProcessToJobObject(job_.get(), process_.get())) {
            trace("ScriptProcess : AssignProcessToJobObject failed\n");
            job_.reset();
        }
        ResumeThread(thread.get());
        return true;
    }

    HANDLE handle() const { return process_.get(); }

    // Ends the script and the tool; waits a little for them so that their files are released.
    void kill() {
        if (job_)
            TerminateJobObject(job_.get(), 1);
        else
            TerminateProcess(process_.get(), 1);
        WaitForSingleObject(process_.get(), 5000);
    }

private:
    ScopedHandle job_;  // declared first: closed last, after the process handle
    ScopedHandle process_;
};

}  // namespace

// Runs on the worker thread, under its entry: nothing may be thrown out of here.
bool ConvertCore::convert(const std::wstring& input, const std::wstring& output) try {
    trace("----- convert -----\n");
    const uint32_t duration = probeDuration(input);
    {
        char line[64];
        snprintf(line, sizeof line, "duration:%ld\n", static_cast<long>(static_cast<int32_t>(duration)));
        trace(line);
        EventLock lock(jobLock);
        int32_t i = currentIndex;
        if (i >= 0 && static_cast<size_t>(i) < jobs.size()) jobs[static_cast<size_t>(i)]->duration = duration;
    }
    trace("----------\n");

    // Stopped before the output was touched: starting the tool now would only destroy an existing
    // output file to leave a truncated one.
    if (state != Running) {
        trace("convert : stopped during the probe, no conversion\n");
        return false;
    }

    const std::wstring script = writeScript(convertArgs.c_str(), input.c_str(), output.c_str());
    if (script.empty()) {
        trace("convert : no conversion script\n");
        return false;
    }
    progressBuffer_.clear();
    elapsedTail_.clear();
    lastElapsed_ = 0;
    quitSent_ = false;

    converting = true;
    const bool started = runProcess(script.c_str());
    converting = false;
    DeleteFileW(script.c_str());

    if (quitSent_) {
        // Told to quit, the tool leaves a valid but truncated file that would pass for a converted one.
        DeleteFileW(output.c_str());
        trace("convert : stopped, truncated output deleted\n");
        return false;
    }
    if (!started) return true;
    return outputIsWhole(output);
} catch (const std::bad_alloc&) {
    converting = false;
    trace("convert : out of memory\n");
    return false;
}

// A damaged input can make the tool skip what it cannot decode and still end normally; the output is
// then shorter than the time the tool said it reached. The input's own length is no measure: a video
// whose audio ends early is sound.
bool ConvertCore::outputIsWhole(const std::wstring& output) {
    if (lastElapsed_ == 0) return true;
    if (GetFileAttributesW(output.c_str()) == INVALID_FILE_ATTRIBUTES) return true;
    const uint32_t length = probeDuration(output);
    if (length == 0 && state != Running) return true;  // probe cut short by a stop; the tool itself finished
    const double margin = std::max(lastElapsed_ * 0.02, 1.0);
    if (length != 0 && static_cast<double>(length) + margin >= lastElapsed_) return true;
    char line[128];
    if (length == 0)
        snprintf(line, sizeof line, "convert : output has no duration, tool reported %lu s; not complete\n",
                 static_cast<unsigned long>(lastElapsed_));
    else
        snprintf(line, sizeof line, "convert : output lasts %lu s, tool reported %lu s; not complete\n",
                 static_cast<unsigned long>(length), static_cast<unsigned long>(lastElapsed_));
    trace(line);
    return false;
}

uint32_t ConvertCore::probeDuration(const std::wstring& input) {
    const std::wstring script = writeScript(nullptr, input.c_str(), nullptr);
    std::string probeOutput;
    if (!script.empty()) {
        runProcess2(script.c_str(), probeOutput);
        DeleteFileW(script.c_str());
    }
    return extractDuration(probeOutput);
}

bool ConvertCore::runProcess2(const wchar_t* scriptPath, std::string& probeOutput) {
    std::wstring diagnostic;
    // Reserved under a name no other copy of the program holds; the interpreter's "2>" then reuses it.
    createUniqueFile(appDataFolder(), L"zivevazov", L".txt", diagnostic);
    if (diagnostic.empty()) {
        trace("runProcess2 : no diagnostic file\n");
        return false;
    }
    const std::wstring commandLine = L"\"" + std::wstring(scriptPath) + L"\" 2> \"" + diagnostic + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    {
        ScriptProcess process;
        if (!process.start(commandLine, startup)) {
            traceW(L"CreateProcess");
            traceW(L"\n");
            DeleteFileW(diagnostic.c_str());
            return false;
        }
        trace("----- ConvertCore::runProcess2 -----\n");
        DWORD wait;
        while ((wait = WaitForSingleObject(process.handle(), kProbePollMs)) == WAIT_TIMEOUT && state == Running) {
        }
        // Stopped: the probe's answer is no longer needed, and a tool left behind would hold its files.
        if (wait == WAIT_TIMEOUT) process.kill();
    }
    trace("----- runProcess2 : CloseHandle -----\n");

    ScopedHandle file(CreateFileW(diagnostic.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) {
        char piece[256 + 1];
        DWORD got = 0;
        while (ReadFile(file.get(), piece, 256, &got, nullptr) && got > 0) {
            piece[got] = '\0';
            probeOutput += piece;
        }
    }
    file.reset();
    DeleteFileW(diagnostic.c_str());
    return true;
}

bool ConvertCore::runProcess(const wchar_t* commandLine) {
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    ScopedHandle outRead, outWrite, inRead, inWrite;
    if (!CreatePipe(outRead.out(), outWrite.out(), &inheritable, kOutputPipeSize)) {
        traceW(L"StdoutRd CreatePipe");
        traceW(L"\n");
    }
    if (!SetHandleInformation(outRead.get(), HANDLE_FLAG_INHERIT, 0)) {
        traceW(L"Stdout SetHandleInformation");
        traceW(L"\n");
    }
    if (!CreatePipe(inRead.out(), inWrite.out(), &inheritable, 0)) {
        traceW(L"Stdin CreatePipe");
        traceW(L"\n");
    }
    if (!SetHandleInformation(inWrite.get(), HANDLE_FLAG_INHERIT, 0)) {
        traceW(L"Stdin SetHandleInformation");
        traceW(L"\n");
    }

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = outWrite.get();
    startup.hStdError = outWrite.get();
    startup.hStdInput = inRead.get();

    ScriptProcess process;
    // Quoted: the script folder's name holds a space, and an unquoted path would let a stray
    // "Rizav.exe" higher up be started instead.
    if (!process.start(L"\"" + std::wstring(commandLine) + L"\"", startup)) {
        traceW(L"CreateProcess");
        traceW(L"\n");
        return false;
    }
    trace("----- ConvertCore::runProcess -----\n");
    // Only the tool holds these ends now, so the output pipe breaks when it ends and no read can
    // wait on it afterwards.
    outWrite.reset();
    inRead.reset();

    DWORD quitSince = 0;
    for (;;) {
        const DWORD wait = WaitForSingleObject(process.handle(), kPollMs);
        if (wait != WAIT_TIMEOUT) break;
        const int32_t now = state;
        if (now == Running) {
            drainOutput(outRead.get(), true);
        } else if (now == StopRequested) {
            if (!quitSent_) {
                quitSent_ = true;
                quitSince = GetTickCount();
            }
            DWORD written = 0;
            WriteFile(inWrite.get(), "q", 1, &written, nullptr);
            // Read on, unparsed: a tool stuck on a full pipe would never see the "q".
            drainOutput(outRead.get(), false);
            if (GetTickCount() - quitSince >= kQuitGraceMs) {
                trace("runProcess : \"q\" unanswered, ending the script and the tool\n");
                process.kill();
                break;
            }
        }
    }
    drainOutput(outRead.get(), state == Running);
    trace("----- runProcess : CloseHandle -----\n");
    return true;
}

bool ConvertCore::drainOutput(HANDLE pipe, bool parse) {
    bool any = false;
    if (parse) {
        while (readOutputChunk(pipe)) any = true;
        return any;
    }
    DWORD available = 0;
    while (PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
        DWORD got = 0;
        if (!ReadFile(pipe, readBuffer_, sizeof readBuffer_ - 1, &got, nullptr) || got == 0) break;
        any = true;
    }
    return any;
}

bool ConvertCore::readOutputChunk(HANDLE pipe) {
    DWORD available = 0;
    if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) || available == 0) return false;
    trace("----------\n");
    DWORD got = 0;
    if (!ReadFile(pipe, readBuffer_, sizeof readBuffer_ - 1, &got, nullptr) || got == 0) return false;
    readBuffer_[got] = '\0';
    trace(readBuffer_);
    if (converting) {
        try {
            const std::string chunk(readBuffer_);
            noteElapsed(chunk);
            parseProgress(chunk);
        } catch (const std::bad_alloc&) {
        }
    }
    return true;
}
