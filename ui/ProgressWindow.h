// The modal window in which a run takes place: counter, current file, bar, Stop and Close.
#pragma once

#include <windows.h>

#include <cstdint>

INT_PTR CALLBACK progressDlgProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// The engine's overwrite prompt; runs on the worker thread. context is the progress window.
int32_t askOverwrite(int32_t kind, void* context);
void updateProgress(HWND hwnd);
