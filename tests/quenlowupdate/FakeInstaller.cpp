// Stands in for a downloaded installer: records the path it was started from, so the test can tell
// that the verified copy ran and not the original.
#include <windows.h>

int main() {
    wchar_t marker[MAX_PATH];
    if (!GetEnvironmentVariableW(L"QUENLOWUP_TEST_MARKER", marker, MAX_PATH)) return 1;
    wchar_t self[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    HANDLE h = CreateFileW(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    WriteFile(h, self, n * sizeof(wchar_t), &written, nullptr);
    CloseHandle(h);
    return 0;
}
