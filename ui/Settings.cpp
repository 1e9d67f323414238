#include "Settings.h"

#include "Globals.h"
#include "ScopedWin.h"
#include "VideoPreset.h"

#include <windows.h>

namespace {

constexpr DWORD maxValueBytes = 520;  // 260 characters; anything longer counts as absent

// Opens with the given access, else creates; a first read thus leaves the empty key behind.
bool openOrCreate(const std::wstring& path, REGSAM openAccess, ScopedKey& key) {
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, openAccess, key.out()) == ERROR_SUCCESS) return true;
    *key.out() = nullptr;
    return RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_READ | KEY_WRITE, nullptr, key.out(), nullptr) == ERROR_SUCCESS;
}

}  // namespace

std::wstring settingsKeyPath() {
    const wchar_t* ext = g_presets ? g_presets->extension() : L"";
    return std::wstring(L"Software\\") + L"Quenlow Rizav Ozirurave" + L"\\" + (ext ? ext : L"");
}

std::wstring readOutputDir() {
    ScopedKey key;
    if (!openOrCreate(settingsKeyPath(), KEY_READ, key)) return std::wstring();

    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key.get(), L"out_dir", nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return {};
    if (type != REG_SZ || size > maxValueBytes) return std::wstring();

    // The writer stores no terminator, so the text is ended here after the last character read.
    wchar_t buffer[maxValueBytes / sizeof(wchar_t) + 1] = {};
    if (RegQueryValueExW(key.get(), L"out_dir", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
        ERROR_SUCCESS)
        return std::wstring();
    if (type != REG_SZ || size > maxValueBytes) return std::wstring();
    buffer[size / sizeof(wchar_t)] = L'\0';
    return std::wstring(buffer);
}

bool writeOutputDir(const std::wstring& folder) {
    ScopedKey key;
    if (!openOrCreate(settingsKeyPath(), KEY_READ | KEY_WRITE, key)) return false;
    RegSetValueExW(key.get(), L"out_dir", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                   static_cast<DWORD>(folder.size() * sizeof(wchar_t)));
    return true;
}
