// The batch scripts through which the converter tool is started: one to probe an input, one to convert it.
#include "ConvertCore.h"
#include "ScriptFiles.h"

#include "ScopedWin.h"
#include "Trace.h"
#include "Utf8.h"

#include <shlobj.h>

#include <new>

namespace {

// cmd.exe refuses longer lines; a script it cannot read would fail without a word.
constexpr size_t kMaxCommandLine = 8191;

}  // namespace

std::wstring appDataFolder() {
    wchar_t buf[MAX_PATH] = L"";
    if (!SHGetSpecialFolderPathW(nullptr, buf, CSIDL_APPDATA, FALSE)) return std::wstring();
    return buf;
}

std::wstring scriptFolder() {
    std::wstring folder = appDataFolder() + L"\\Rizav Ozirurave";
    CreateDirectoryW(folder.c_str(), nullptr);  // normally there already
    return folder;
}

std::wstring numberedPath(const std::wstring& folder, const wchar_t* prefix, long number) {
    return folder + L"\\" + prefix + std::to_wstring(number);
}

ScopedHandle createUniqueFile(const std::wstring& folder, const wchar_t* prefix, const wchar_t* extension,
                              std::wstring& path) {
    // Two copies of the program can read the same tick count; neither may take the other's file.
    const DWORD tick = GetTickCount();
    for (DWORD n = 0; n < 1000; ++n) {
        path = numberedPath(folder, prefix, static_cast<long>(static_cast<int32_t>(tick + n))) + extension;
        ScopedHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                      nullptr));
        if (file) return file;
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    path.clear();
    return ScopedHandle();
}

std::wstring doublePercents(const std::wstring& text) {
    std::wstring out;
    out.reserve(text.size());
    for (wchar_t c : text) {
        out += c;
        if (c == L'%') out += L'%';
    }
    return out;
}

std::wstring makeScriptPath() {
    return numberedPath(scriptFolder(), L"mconv", static_cast<long>(static_cast<int32_t>(GetTickCount())));
}

std::wstring ConvertCore::writeScript(const wchar_t* args, const wchar_t* input, const wchar_t* output) {
    try {
        std::wstring command = L"\"" + toolPath + L"\"";
        if (output)
            command += L" -y -i \"" + std::wstring(input) + L"\" " + (args ? args : L"") + L" \"" + output + L"\"";
        else
            command += L" -i \"" + std::wstring(input) + L"\"";
        // The interpreter expands "%" even inside quotes: "100% live.mp4" would lose its "%", and a
        // crafted name could point the tool at another file.
        command = doublePercents(command);
        if (command.size() > kMaxCommandLine) {
            trace("writeScript : command line too long for the command interpreter\n");
            return std::wstring();
        }

        std::wstring path;
        ScopedHandle file = createUniqueFile(scriptFolder(), L"mconv", L".bat", path);
        if (!file) return std::wstring();
        // Code page 65001 makes the interpreter read the rest of this UTF-8 file as UTF-8, so names
        // outside the ANSI code page survive.
        const std::wstring text =
            L"chcp 65001\r\n\r\n" + command + L"\r\n\r\ndel \"" + doublePercents(path) + L"\"";
        const std::string bytes = toUtf8(text);
        DWORD written = 0;
        if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
            written != bytes.size()) {
            file.reset();
            DeleteFileW(path.c_str());
            return std::wstring();
        }
        return path;
    } catch (const std::bad_alloc&) {
        return std::wstring();
    }
}
