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
    // Converts one file. False when the job must not count as complete although a file may be there:
    // the tool was told to quit, the run was stopped during the probe, or the output came out short.
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

    // Converter scripts, runs and output parsing (Scripts.cpp, Conversion.cpp, Parsing.cpp).
    // writeScript returns the written script's path, or an empty string when none could be written.
    std::wstring writeScript(const wchar_t* args, const wchar_t* input, const wchar_t* output);
    uint32_t probeDuration(const std::wstring& input);
    bool runProcess2(const wchar_t* scriptPath, std::string& probeOutput);
    bool runProcess(const wchar_t* commandLine);
    // Reads one chunk when the pipe holds one; never waits. False when there was nothing to read.
    bool readOutputChunk(HANDLE pipe);
    void parseProgress(const std::string& chunk);

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
    // A job that is not complete keeps the percentage it reached, but never shows as done.
    void keepBelowComplete(int32_t index);

    // A handle of our own on the worker: the worker closes workerThread itself, so waiting on that
    // one would race with its closing.
    HANDLE workerDone_ = nullptr;
    DWORD workerId_ = 0;

    // Worker-only state of the conversion in hand.
    std::string progressBuffer_;   // progress text up to the next line end; emptied at each conversion
    std::string elapsedTail_;      // unfinished last line, for lastElapsed_
    uint32_t lastElapsed_ = 0;     // last elapsed time the tool reported, in seconds; 0 = none
    bool quitSent_ = false;        // the running conversion was told to quit
    char readBuffer_[4096 + 1];

    void noteElapsed(const std::string& chunk);
    bool drainOutput(HANDLE pipe, bool parse);
    bool outputIsWhole(const std::wstring& output);
};

// Seconds of an "h:m:s" clock text, rounded to the nearest second; 0 when it is not three fields.
int32_t clockToSeconds(const std::string& clock);
// The duration of a probe output's first "Duration:" line, in seconds; 0 when there is none.
uint32_t extractDuration(const std::string& probeOutput);
// The script folder's path plus "mconv" and the tick count, without extension; creates the folder.
std::wstring makeScriptPath();

// The text after the last backslash; only the backslash separates.
std::wstring fileNameOf(const std::wstring& path);
// Whether the C runtime can open the file for reading now: how the program tells that a file is there.
bool fileOpensForReading(const std::wstring& path);
