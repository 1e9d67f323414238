// A stand-in for quenlowupdate.dll that answers as its build flags say and writes every call it
// receives, one line each, to calls.txt beside itself.
#define QUENLOWUP_BUILDING
#include "quenlowupdate.h"

#include <cstdio>
#include <string>

namespace {

int g_token;  // its address is the handle handed out

std::wstring logPath() {
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&g_token), &self);
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(self, path, MAX_PATH);
    std::wstring s(path, n);
    return s.substr(0, s.find_last_of(L'\\') + 1) + L"calls.txt";
}

void record(const std::string& line) {
    FILE* f = _wfopen(logPath().c_str(), L"ab");
    if (!f) return;
    fprintf(f, "%s\n", line.c_str());
    fclose(f);
}

// Marks a call that came with some other handle than the one handed out.
std::string call(const char* name, void* handle) {
    return std::string(name) + (handle == &g_token ? "" : " (foreign handle)");
}

std::string utf8(const wchar_t* text) {
    if (!text) return "(null)";
    char buf[512];
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, buf, sizeof buf, nullptr, nullptr);
    return n > 0 ? std::string(buf) : "(unreadable)";
}

}  // namespace

QUENLOWUP_API void* quenlowup_create(HWND owner) {
    record("create " + std::to_string(reinterpret_cast<uintptr_t>(owner)));
    return DOUBLE_CREATE ? &g_token : nullptr;
}

QUENLOWUP_API int quenlowup_setParam(void* handle, int32_t id, LONG_PTR value) {
    // Ids 1 to 3 carry text by address, the others plain numbers.
    std::string shown = id >= 1 && id <= 3 ? "\"" + utf8(reinterpret_cast<const wchar_t*>(value)) + "\""
                                           : std::to_string(value);
    record(call("setParam", handle) + " " + std::to_string(id) + " " + shown);
    return 1;
}

QUENLOWUP_API int quenlowup_haveNew(void* handle, bool force) {
    record(call("haveNew", handle) + (force ? " true" : " false"));
    return DOUBLE_HAVE_NEW;
}

QUENLOWUP_API int quenlowup_download(void* handle) {
    record(call("download", handle));
    return DOUBLE_DOWNLOAD;
}

QUENLOWUP_API int quenlowup_install(void* handle) {
    record(call("install", handle));
    // What the program does next must not depend on this result.
    return 0;
}

QUENLOWUP_API int quenlowup_release(void* handle) {
    record(call("release", handle));
    return 0;
}
