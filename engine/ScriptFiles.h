// Where the engine keeps its scripts and diagnostic files, and how it names them.
#pragma once

#include "ScopedWin.h"

#include <string>

// The user's application-data folder; empty when the shell cannot name it.
std::wstring appDataFolder();
// The folder of the converter scripts, created when missing.
std::wstring scriptFolder();
// folder\prefix<number>
std::wstring numberedPath(const std::wstring& folder, const wchar_t* prefix, long number);
// Creates folder\prefix<tick count>extension, taking the next number while a file of that name exists.
// Returns the open file (and its path), or an invalid handle and an empty path.
ScopedHandle createUniqueFile(const std::wstring& folder, const wchar_t* prefix, const wchar_t* extension,
                              std::wstring& path);
// Every "%" written twice, as a batch script needs it to stand for itself.
std::wstring doublePercents(const std::wstring& text);
