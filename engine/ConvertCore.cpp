#include "ConvertCore.h"

#include "ScopedWin.h"
#include "Trace.h"

#include <cstdio>
#include <new>

ConvertCore::ConvertCore() : jobLock(CreateEventW(nullptr, FALSE, TRUE, nullptr)) {}

ConvertCore::~ConvertCore() {
    // A stopped run may still be finishing its last file; freeing the jobs under it would crash it.
    waitForWorker();
    {
        EventLock lock(jobLock);  // without a lock (its creation failed) waiting and releasing do nothing
        freeJobs();
    }
    if (jobLock) CloseHandle(jobLock);
}

bool ConvertCore::init() {
    // Without its lock the engine cannot share the list with the worker safely.
    return jobLock != nullptr;
}

void ConvertCore::freeJobs() {
    for (ConvertJob* job : jobs) delete job;
    jobs.clear();
    jobIndex.clear();
}

bool ConvertCore::clearJobs() {
    waitForWorker();
    EventLock lock(jobLock);
    freeJobs();
    currentIndex = -1;
    return true;
}

bool ConvertCore::hasJob(const wchar_t* path) const {
    return jobIndex.find(std::wstring(path)) != jobIndex.end();
}

bool ConvertCore::addJob(const wchar_t* path) {
    waitForWorker();
    try {
        if (hasJob(path)) return false;
        EventLock lock(jobLock);
        ConvertJob* job = new ConvertJob;
        job->index = static_cast<int32_t>(jobs.size());
        try {
            job->inputPath = path;
            jobs.push_back(job);
        } catch (...) {
            delete job;
            throw;
        }
        try {
            jobIndex.emplace(job->inputPath, job);
        } catch (...) {
            jobs.pop_back();
            delete job;
            throw;
        }
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool ConvertCore::getCurrentJob(ConvertJob& out) {
    try {
        EventLock lock(jobLock);
        int32_t i = currentIndex;
        if (i < 0) return false;
        out = *jobs[static_cast<size_t>(i)];
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

void ConvertCore::setJobPercent(int32_t index, int32_t percent) {
    if (index < 0 || static_cast<size_t>(index) >= jobs.size()) return;
    EventLock lock(jobLock);
    if (percent < 0) percent = 0;
    if (percent > 100) percent = 100;
    jobs[static_cast<size_t>(index)]->percent = percent;
}

int32_t ConvertCore::countCompleted() {
    EventLock lock(jobLock);
    int32_t n = 0;
    for (const ConvertJob* job : jobs)
        if (job && job->percent == 100) ++n;
    return n;
}

void ConvertCore::keepBelowComplete(int32_t index) {
    if (index < 0 || static_cast<size_t>(index) >= jobs.size()) return;
    EventLock lock(jobLock);
    int32_t& percent = jobs[static_cast<size_t>(index)]->percent;
    if (percent > 99) percent = 99;
}

void ConvertCore::requestStop() {
    int32_t expected = Running;
    state.compare_exchange_strong(expected, StopRequested);
    DWORD elapsed = 0;
    for (;;) {
        Sleep(100);
        elapsed += 100;
        if (state > StopRequested) return;
        if (elapsed >= 1000) return;
    }
}

bool ConvertCore::waitForWorker(DWORD timeoutMs) {
    if (!workerDone_) return true;
    if (GetCurrentThreadId() == workerId_) return false;
    if (WaitForSingleObject(workerDone_, timeoutMs) != WAIT_OBJECT_0) return false;
    CloseHandle(workerDone_);
    workerDone_ = nullptr;
    workerId_ = 0;
    return true;
}

bool ConvertCore::start() {
    waitForWorker();
    if (workerThread) {
        CloseHandle(workerThread);
        workerThread = nullptr;
    }
    state = Running;
    // Created suspended so that the handle is stored (and our own copy made) before the worker can
    // reach the end of its run and close it.
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, &ConvertCore::threadEntry, this, CREATE_SUSPENDED, &id);
    if (!thread) {
        trace("start : CreateThread failed\n");
        state = Stopped;
        return false;
    }
    if (!DuplicateHandle(GetCurrentProcess(), thread, GetCurrentProcess(), &workerDone_, SYNCHRONIZE,
                         FALSE, 0)) {
        trace("start : DuplicateHandle failed\n");
        workerDone_ = nullptr;
        TerminateThread(thread, 1);  // it never ran a single instruction of ours
        CloseHandle(thread);
        state = Stopped;
        return false;
    }
    workerThread = thread;
    workerId_ = id;
    ResumeThread(thread);
    return true;
}

void ConvertCore::onRunFinished() {}

DWORD WINAPI ConvertCore::threadEntry(LPVOID param) {
    if (param) static_cast<ConvertCore*>(param)->runProc();
    return 0;
}

bool fileOpensForReading(const std::wstring& path) {
    ScopedFile f(_wfopen(path.c_str(), L"r"));
    return static_cast<bool>(f);
}

void ConvertCore::runProc() {
    for (size_t i = 0; i < jobs.size(); ++i) {
        if (state != Running) break;

        char line[64];
        snprintf(line, sizeof line, "----- runProc : %ld -----\n", static_cast<long>(i));
        trace(line);

        std::wstring input;
        std::wstring output;
        try {
            EventLock lock(jobLock);
            ConvertJob* job = jobs[i];
            input = job->inputPath;
            output = makeOutputPath(input, outputDir);
            job->outputPath = output;
            currentIndex = static_cast<int32_t>(i);
        } catch (const std::bad_alloc&) {
            trace("runProc : out of memory\n");
            continue;
        }
        const int32_t index = static_cast<int32_t>(i);
        setJobPercent(index, 0);

        if (input == output) {
            setJobPercent(index, 100);
            continue;
        }

        const bool mayWrite = !fileOpensForReading(output) ||
                              (overwritePrompt &&
                               overwritePrompt(PromptKindOutputExists, promptContext) == PromptAnswerReplace);
        bool complete = true;
        if (mayWrite) {
            trace("runProc : convert\n");
            complete = convert(input, output);
        }

        if (complete)
            setJobPercent(index, fileOpensForReading(output) ? 100 : 0);
        else
            keepBelowComplete(index);
    }

    int32_t expected = Running;
    if (!state.compare_exchange_strong(expected, Completed)) state = Stopped;
    onRunFinished();
    if (workerThread) {
        CloseHandle(workerThread);
        workerThread = nullptr;
    }
    currentIndex = -1;
}

std::wstring fileNameOf(const std::wstring& path) {
    size_t slash = path.rfind(L'\\');
    if (slash == std::wstring::npos) return path;
    return path.substr(slash + 1);
}

std::wstring ConvertCore::makeOutputPath(const std::wstring& input, const std::wstring& folder) const {
    std::wstring out = folder + L"\\" + fileNameOf(input);
    if (outputExt.empty()) return out;
    size_t dot = out.rfind(L'.');
    size_t slash = out.rfind(L'\\');
    if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash))
        return out + L"." + outputExt;
    return out.substr(0, dot + 1) + outputExt;
}
