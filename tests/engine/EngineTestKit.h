// Helpers for tests that run the engine against a converter: the trace it writes, environment settings
// for the fake converter, processes left running, and files left in the engine's folders.
#pragma once

#include "ConvertCore.h"
#include "ScriptFiles.h"
#include "TestFiles.h"
#include "Trace.h"

#include <windows.h>
#include <tlhelp32.h>

#include <mutex>
#include <string>
#include <vector>

// A Linux path handed over by the build, as Wine shows it.
inline std::wstring winPath(const char* unixPath) {
    std::wstring out = L"Z:";
    for (const char* p = unixPath; *p; ++p) out += (*p == '/') ? L'\\' : static_cast<wchar_t>(*p);
    return out;
}

// Collects the engine's debug trace while it lives; `onLine` may watch lines as they come.
class TraceCapture {
public:
    TraceCapture() {
        std::lock_guard<std::mutex> lock(mutex());
        lines().clear();
        watcher() = nullptr;
        setTraceSink(&collect);
    }
    ~TraceCapture() {
        setTraceSink(nullptr);
        std::lock_guard<std::mutex> lock(mutex());
        watcher() = nullptr;
    }
    // Called on the writing thread for every line; keep it short.
    void onLine(void (*watch)(const std::string&)) {
        std::lock_guard<std::mutex> lock(mutex());
        watcher() = watch;
    }
    std::vector<std::string> all() const {
        std::lock_guard<std::mutex> lock(mutex());
        return lines();
    }
    bool has(const std::string& line) const {
        for (const std::string& l : all())
            if (l == line) return true;
        return false;
    }
    bool hasPrefix(const std::string& prefix) const {
        for (const std::string& l : all())
            if (l.rfind(prefix, 0) == 0) return true;
        return false;
    }

private:
    static std::mutex& mutex() {
        static std::mutex m;
        return m;
    }
    static std::vector<std::string>& lines() {
        static std::vector<std::string> l;
        return l;
    }
    static void (*&watcher())(const std::string&) {
        static void (*w)(const std::string&) = nullptr;
        return w;
    }
    static void collect(const std::string& line) {
        void (*watch)(const std::string&) = nullptr;
        {
            std::lock_guard<std::mutex> lock(mutex());
            lines().push_back(line);
            watch = watcher();
        }
        if (watch) watch(line);
    }
};

// Sets environment variables for the converters this process starts, and removes them again.
class EnvVars {
public:
    EnvVars() = default;
    EnvVars(std::initializer_list<std::pair<const wchar_t*, std::wstring>> vars) {
        for (const auto& v : vars) set(v.first, v.second);
    }
    ~EnvVars() {
        for (const std::wstring& name : names_) SetEnvironmentVariableW(name.c_str(), nullptr);
    }
    EnvVars(const EnvVars&) = delete;
    EnvVars& operator=(const EnvVars&) = delete;
    void set(const wchar_t* name, const std::wstring& value) {
        SetEnvironmentVariableW(name, value.c_str());
        names_.push_back(name);
    }

private:
    std::vector<std::wstring> names_;
};

// Processes running the given program file name (for example "zivevazov.exe").
inline int processesNamed(const std::wstring& exeName) {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return -1;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    int n = 0;
    for (BOOL ok = Process32FirstW(snap, &entry); ok; ok = Process32NextW(snap, &entry))
        if (_wcsicmp(entry.szExeFile, exeName.c_str()) == 0) ++n;
    CloseHandle(snap);
    return n;
}

// Names of the files in a folder that match a pattern such as "mconv*.bat".
inline std::vector<std::wstring> filesMatching(const std::wstring& folder, const wchar_t* pattern) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW((folder + L"\\" + pattern).c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        names.push_back(fd.cFileName);
    } while (FindNextFileW(find, &fd));
    FindClose(find);
    return names;
}

// The engine's scripts and diagnostic files that exist now.
inline size_t engineLeftovers() {
    return filesMatching(scriptFolder(), L"mconv*.bat").size() +
           filesMatching(appDataFolder(), L"zivevazov*.txt").size();
}

// Answers the overwrite question with a fixed value.
inline int32_t answerYes(int32_t, void*) { return PromptAnswerReplace; }
