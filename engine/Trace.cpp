#include "Trace.h"
#include "Utf8.h"

#include <windows.h>

#include <atomic>

namespace {
std::atomic<TraceSink> g_sink{nullptr};
}  // namespace

void trace(const char* text) {
    OutputDebugStringA(text);
    if (TraceSink sink = g_sink.load()) sink(text);
}

void traceW(const wchar_t* text) {
    OutputDebugStringW(text);
    if (TraceSink sink = g_sink.load()) sink(toUtf8(std::wstring(text)));
}

void setTraceSink(TraceSink sink) { g_sink.store(sink); }
