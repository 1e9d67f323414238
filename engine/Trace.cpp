#include "Trace.h"

#include <windows.h>

#include <atomic>

namespace {
std::atomic<TraceSink> g_sink{nullptr};

std::string toUtf8(const wchar_t* text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return std::string();
    std::string out(static_cast<size_t>(n - 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], n, nullptr, nullptr);
    return out;
}
}  // namespace

void trace(const char* text) {
    OutputDebugStringA(text);
    if (TraceSink sink = g_sink.load()) sink(text);
}

void traceW(const wchar_t* text) {
    OutputDebugStringW(text);
    if (TraceSink sink = g_sink.load()) sink(toUtf8(text));
}

void setTraceSink(TraceSink sink) { g_sink.store(sink); }
