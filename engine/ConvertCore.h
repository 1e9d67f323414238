// The conversion engine: settings of a run, the job list under its lock, the engine state and the worker.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

enum EngineState : int32_t {
    Idle = 0,
    Running = 1,
    StopRequested = 2,
    Stopped = 3,
    Completed = 4,
};

struct ConvertJob {
    int32_t index = 0;
    std::wstring inputPath;
    std::wstring outputPath;
    uint32_t duration = 0;  // whole seconds; 0 = unknown, then no progress is computed
    int32_t percent = 0;    // 0..100; 100 marks a finished job
};

// Asked on the worker thread when a job's output file already exists; only a result of exactly 1 allows
// the file to be replaced.
using OverwritePrompt = int32_t (*)(int32_t kind, void* context);
constexpr int32_t PromptKindOutputExists = 1;
constexpr int32_t PromptAnswerReplace = 1;

class ConvertCore {
public:
    ConvertCore();
    virtual ~ConvertCore();

    virtual bool init();
    virtual bool clearJobs();
    virtual bool convert(const std::wstring& input, const std::wstring& output);
    virtual bool start();
    virtual void onRunFinished();

    bool hasJob(const wchar_t* path) const;
    bool addJob(const wchar_t* path);
    bool getCurrentJob(ConvertJob& out);
    void setJobPercent(int32_t index, int32_t percent);
    int32_t countCompleted();
    void requestStop();

    // Waits until the worker of the last run has ended. Runs must never overlap, and the job list
    // must not change under a worker that is still finishing a stopped run. Returns false on time-out
    // (or when called from the worker itself, which would wait forever).
    bool waitForWorker(DWORD timeoutMs = INFINITE);

    std::wstring makeOutputPath(const std::wstring& input, const std::wstring& folder) const;
    void runProc();

    HANDLE jobLock;                  // auto-reset event used as a plain, non-recursive lock
    HANDLE workerThread = nullptr;   // closed by the worker itself at the end of its run

    std::wstring toolPath;
    std::wstring outputDir;
    std::wstring convertArgs;
    std::wstring outputExt;

    std::vector<ConvertJob*> jobs;                  // owns the records
    std::map<std::wstring, ConvertJob*> jobIndex;   // refuses duplicates; exact, case-sensitive keys

    std::atomic<int32_t> state{Idle};
    std::atomic<int32_t> currentIndex{-1};
    bool converting = false;         // worker only

    OverwritePrompt overwritePrompt = nullptr;
    void* promptContext = nullptr;

private:
    static DWORD WINAPI threadEntry(LPVOID param);
    void freeJobs();

    // A handle of our own on the worker: the worker closes workerThread itself, so waiting on that
    // one would race with its closing.
    HANDLE workerDone_ = nullptr;
    DWORD workerId_ = 0;
};

// The text after the last backslash; only the backslash separates.
std::wstring fileNameOf(const std::wstring& path);
