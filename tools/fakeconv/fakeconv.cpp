// A stand-in for the converter tool: accepts the probe and the conversion command lines and answers
// as the tool does, with its behaviour chosen through environment variables (the scripts that start it
// pass their environment on):
//   FAKECONV_LOG=path          append each command line received (UTF-8, one per line)
//   FAKECONV_DURATION=clock    the probe's "Duration:" text (default 00:00:03.00); "none": no such line
//   FAKECONV_PROBE_MS=n        the probe takes n ms
//   FAKECONV_STEPS=n           progress lines, one second of media each (default 3)
//   FAKECONV_PACE_MS=n         pause before each progress line (default 20)
//   FAKECONV_SPLIT_MS=n        write each progress line in two parts, n ms apart
//   FAKECONV_FLOOD_KB=n        first write n KB of decoder warnings
//   FAKECONV_IGNORE_Q=1        carry on after "q"
//   FAKECONV_EXIT_AFTER=n      end normally after n progress lines
//   FAKECONV_CRASH_AFTER=n     die as from an access violation after n progress lines
//   FAKECONV_NO_OUTPUT=1       write no output file
//   FAKECONV_OUTPUT_SECONDS=n  the output file's length as its own probe reports it (default: the time reached)
// A file that starts with "fake-duration <clock>" probes as that clock; the output files are written so.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::atomic<bool> g_quit{false};

std::wstring env(const wchar_t* name, const wchar_t* fallback = L"") {
    wchar_t buf[32768];
    DWORD n = GetEnvironmentVariableW(name, buf, 32768);
    if (n == 0 || n >= 32768) return fallback;
    return std::wstring(buf, n);
}

long envNumber(const wchar_t* name, long fallback) {
    std::wstring v = env(name);
    return v.empty() ? fallback : wcstol(v.c_str(), nullptr, 10);
}

std::string utf8(const std::wstring& w) {
    if (w.empty()) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
    return s;
}

void writeAll(HANDLE h, const std::string& text) {
    DWORD written = 0;
    WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

void say(const std::string& text) { writeAll(GetStdHandle(STD_ERROR_HANDLE), text); }

std::string clock(long seconds) {
    char buf[32];
    snprintf(buf, sizeof buf, "%02ld:%02ld:%02ld.00", seconds / 3600, seconds / 60 % 60, seconds % 60);
    return buf;
}

void appendLog() {
    std::wstring log = env(L"FAKECONV_LOG");
    if (log.empty()) return;
    HANDLE h = CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    writeAll(h, utf8(GetCommandLineW()) + "\n");
    CloseHandle(h);
}

std::string durationOf(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        char buf[64] = {};
        DWORD got = 0;
        ReadFile(h, buf, sizeof buf - 1, &got, nullptr);
        CloseHandle(h);
        std::string text(buf, got);
        if (text.rfind("fake-duration ", 0) == 0) return text.substr(14, text.find('\n') - 14);
    }
    return utf8(env(L"FAKECONV_DURATION", L"00:00:03.00"));
}

int probe(const std::wstring& input) {
    Sleep(static_cast<DWORD>(envNumber(L"FAKECONV_PROBE_MS", 0)));
    std::string duration = durationOf(input);
    say("Input #0, mov,mp4,m4a,3gp,3g2,mj2, from '" + utf8(input) + "':\n");
    if (duration != "none") say("  Duration: " + duration + ", start: 0.000000, bitrate: 128 kb/s\n");
    say("At least one output file must be specified\n");
    return 1;
}

DWORD WINAPI watchInput(LPVOID) {
    char c;
    DWORD got = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), &c, 1, &got, nullptr) && got == 1)
        if (c == 'q') g_quit = true;
    return 0;
}

void writeOutput(const std::wstring& path, long seconds) {
    if (envNumber(L"FAKECONV_NO_OUTPUT", 0)) return;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        say("Could not open output file\n");
        return;
    }
    writeAll(h, "fake-duration " + clock(envNumber(L"FAKECONV_OUTPUT_SECONDS", seconds)) + "\n");
    CloseHandle(h);
}

int convert(const std::wstring& output) {
    CloseHandle(CreateThread(nullptr, 0, watchInput, nullptr, 0, nullptr));
    const long steps = envNumber(L"FAKECONV_STEPS", 3);
    const long pace = envNumber(L"FAKECONV_PACE_MS", 20);
    const long split = envNumber(L"FAKECONV_SPLIT_MS", 0);
    const long exitAfter = envNumber(L"FAKECONV_EXIT_AFTER", -1);
    const long crashAfter = envNumber(L"FAKECONV_CRASH_AFTER", -1);
    const bool ignoreQ = envNumber(L"FAKECONV_IGNORE_Q", 0) != 0;

    const long floodKb = envNumber(L"FAKECONV_FLOOD_KB", 0);
    const std::string warning = "[aac @ 0000000000000000] Input buffer exhausted before END element found\n";
    for (long written = 0; written < floodKb * 1024; written += static_cast<long>(warning.size())) say(warning);

    writeOutput(output, 0);
    long reached = 0;
    for (long i = 1; i <= steps; ++i) {
        Sleep(static_cast<DWORD>(pace));
        if (g_quit && !ignoreQ) {
            say("\n[q] command received. Exiting.\n\n");
            writeOutput(output, reached);
            return 0;
        }
        std::string line = "size=     " + std::to_string(i * 20) + "kB time=" + clock(i) +
                           " bitrate= 160.0kbits/s speed=1.0x    " + (i == steps ? "\n" : "\r");
        if (split > 0) {
            size_t half = line.find("time=") + 12;  // cut inside the seconds
            say(line.substr(0, half));
            Sleep(static_cast<DWORD>(split));
            say(line.substr(half));
        } else {
            say(line);
        }
        reached = i;
        if (i == crashAfter) TerminateProcess(GetCurrentProcess(), 0xC0000005);
        if (i == exitAfter) break;
    }
    // A tool that ignores "q" is one that never stops on its own accord either.
    while (ignoreQ && g_quit) Sleep(100);
    writeOutput(output, reached);
    say("video:0kB audio:" + std::to_string(reached * 20) + "kB subtitle:0kB other streams:0kB\n");
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    appendLog();
    std::wstring input;
    bool overwrite = false;
    for (int i = 1; i < argc; ++i) {
        std::wstring a = argv[i];
        if (a == L"-y") overwrite = true;
        if (a == L"-i" && i + 1 < argc) input = argv[++i];
    }
    if (input.empty()) {
        say("usage: fakeconv -i input | -y -i input args output\n");
        return 1;
    }
    if (!overwrite) return probe(input);
    return convert(argv[argc - 1]);
}
