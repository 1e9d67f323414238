// Debug trace: lines for the debugger's output channel. There is no log file.
#pragma once

#include <string>

void trace(const char* text);
void traceW(const wchar_t* text);

// Lets a test watch the trace; nullptr restores the plain debugger output. Not for the program itself.
using TraceSink = void (*)(const std::string& utf8Line);
void setTraceSink(TraceSink sink);
