// The main window: file list, output folder, Convert, and the engine's owner.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class ConvertCore;

INT_PTR CALLBACK mainDlgProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

int addListItem(const wchar_t* path);
bool isListed(const wchar_t* path);
bool hasMp4Extension(const std::wstring& path);
std::wstring getFolderText(HWND hwnd);
std::wstring corePath();
// The tool's path for an executable path, or empty when it would not fit a MAX_PATH buffer.
std::wstring corePathFor(const std::wstring& exePath);
bool onConvert();
void selectCompleted();

// What the open-file dialog returned, as whole paths: one file, or a folder followed by names that
// start at fileOffset. A string that runs to the end of the buffer was cut there and is left out.
std::vector<std::wstring> selectedPaths(const wchar_t* buffer, size_t bufferChars, size_t fileOffset);

// Lets a test hand the window an engine of its own; nullptr restores the plain ConvertCore.
// Not for the program itself.
using EngineFactory = ConvertCore* (*)();
void setEngineFactory(EngineFactory factory);
