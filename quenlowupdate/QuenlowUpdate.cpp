// The update library: a feed named in the registry says which release is newest, where its installer is
// and what its SHA-256 must be. Only a copy whose digest matches is ever started. There is no network
// code: the installer is reached through the file system (a local or shared path, or a file:// URL).
#include "quenlowupdate.h"

#include "ScopedWin.h"

#include <bcrypt.h>
#include <shlwapi.h>

#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

namespace {

constexpr size_t MaxTextParam = 256;
constexpr DWORD MaxFeedBytes = 64 * 1024;

struct Updater {
    // The library shows nothing, so the owner window and the display name are only kept.
    HWND owner = nullptr;
    std::wstring family;
    std::wstring product;
    std::wstring displayName;
    long release = 0;
    long checkInterval = 0;

    // Filled by a successful check.
    bool haveNew = false;
    std::wstring installerPath;
    std::string sha256;

    // Filled by a successful download. The copy stays open, shared for reading only, so that
    // nothing can change it between the digest test and its start.
    std::wstring downloadDir;
    std::wstring downloaded;
    ScopedHandle downloadedLock;
    bool installed = false;

    std::wstring keyPath() const { return L"Software\\" + family + L"\\update\\" + product; }

    void dropDownload() {
        downloadedLock.reset();
        // A started installer runs from its copy, so that one is left to it.
        if (!installed) {
            if (!downloaded.empty()) DeleteFileW(downloaded.c_str());
            if (!downloadDir.empty()) RemoveDirectoryW(downloadDir.c_str());
        }
        downloaded.clear();
        downloadDir.clear();
        installed = false;
    }
};

uint64_t nowSeconds() {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    ULARGE_INTEGER t;
    t.LowPart = ft.dwLowDateTime;
    t.HighPart = ft.dwHighDateTime;
    return t.QuadPart / 10000000ULL;
}

std::wstring readRegString(HKEY key, const wchar_t* name) {
    DWORD type = 0;
    DWORD bytes = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS || type != REG_SZ ||
        bytes > 2 * 1024 * sizeof(wchar_t))
        return std::wstring();
    std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&text[0]), &bytes) != ERROR_SUCCESS)
        return std::wstring();
    text.resize(wcsnlen(text.c_str(), bytes / sizeof(wchar_t)));
    return text;
}

std::wstring widen(const std::string& utf8) {
    if (utf8.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), &out[0], n);
    return out;
}

bool startsWithNoCase(const std::wstring& text, const wchar_t* prefix) {
    size_t n = wcslen(prefix);
    return text.size() >= n && _wcsnicmp(text.c_str(), prefix, n) == 0;
}

// A file path from a feed or registry location; empty for anything the file system cannot reach.
std::wstring toFilePath(const std::wstring& location, const std::wstring& baseDir) {
    if (location.empty()) return std::wstring();
    if (startsWithNoCase(location, L"file:")) {
        wchar_t path[MAX_PATH];
        DWORD n = MAX_PATH;
        if (FAILED(PathCreateFromUrlW(location.c_str(), path, &n, 0))) return std::wstring();
        return path;
    }
    if (location.find(L"://") != std::wstring::npos) return std::wstring();
    if (PathIsRelativeW(location.c_str())) {
        if (baseDir.empty()) return std::wstring();
        return baseDir + L"\\" + location;
    }
    return location;
}

std::wstring folderOf(const std::wstring& path) {
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

bool readSmallFile(const std::wstring& path, std::string& out) {
    ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > MaxFeedBytes) return false;
    out.assign(static_cast<size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    return out.empty() || (ReadFile(file.get(), &out[0], static_cast<DWORD>(out.size()), &got, nullptr) &&
                           got == out.size());
}

std::string trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return std::string();
    size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

bool isHexDigest(const std::string& s) {
    if (s.size() != 64) return false;
    for (char c : s)
        if (!isxdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return s;
}

struct Feed {
    long version = 0;
    std::string location;
    std::string sha256;
};

// Every field must be present and well formed; anything else makes the feed unusable.
bool parseFeed(const std::string& text, Feed& feed) {
    bool haveVersion = false;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = trim(text.substr(pos, end - pos));
        pos = end + 1;
        size_t eq = line.find('=');
        if (line.empty() || line[0] == '#' || eq == std::string::npos) continue;
        std::string key = trim(line.substr(0, eq));
        std::string value = trim(line.substr(eq + 1));
        if (key == "version") {
            char* stop = nullptr;
            long v = strtol(value.c_str(), &stop, 10);
            if (value.empty() || *stop != '\0' || v <= 0) return false;
            feed.version = v;
            haveVersion = true;
        } else if (key == "location") {
            feed.location = value;
        } else if (key == "sha256") {
            feed.sha256 = lower(value);
        }
    }
    return haveVersion && !feed.location.empty() && isHexDigest(feed.sha256);
}

class BcryptHash {
public:
    BcryptHash() {
        if (BCryptOpenAlgorithmProvider(&alg_, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0) alg_ = nullptr;
        if (alg_ && BCryptCreateHash(alg_, &hash_, nullptr, 0, nullptr, 0, 0) != 0) hash_ = nullptr;
    }
    ~BcryptHash() {
        if (hash_) BCryptDestroyHash(hash_);
        if (alg_) BCryptCloseAlgorithmProvider(alg_, 0);
    }
    BcryptHash(const BcryptHash&) = delete;
    BcryptHash& operator=(const BcryptHash&) = delete;

    bool valid() const { return hash_ != nullptr; }
    bool add(const void* data, ULONG size) {
        return BCryptHashData(hash_, static_cast<PUCHAR>(const_cast<void*>(data)), size, 0) == 0;
    }
    bool finish(std::string& hex) {
        UCHAR digest[32];
        if (BCryptFinishHash(hash_, digest, sizeof digest, 0) != 0) return false;
        static const char digits[] = "0123456789abcdef";
        hex.clear();
        for (UCHAR b : digest) {
            hex += digits[b >> 4];
            hex += digits[b & 15];
        }
        return true;
    }

private:
    BCRYPT_ALG_HANDLE alg_ = nullptr;
    BCRYPT_HASH_HANDLE hash_ = nullptr;
};

bool sha256OfOpenFile(HANDLE file, std::string& hex) {
    BcryptHash hash;
    if (!hash.valid()) return false;
    std::vector<char> buf(64 * 1024);
    DWORD got = 0;
    for (;;) {
        if (!ReadFile(file, buf.data(), static_cast<DWORD>(buf.size()), &got, nullptr)) return false;
        if (got == 0) break;
        if (!hash.add(buf.data(), got)) return false;
    }
    return hash.finish(hex);
}

bool makePrivateTempDir(std::wstring& dir) {
    wchar_t temp[MAX_PATH + 1];
    DWORD n = GetTempPathW(MAX_PATH + 1, temp);
    if (n == 0 || n > MAX_PATH) return false;
    std::wstring base(temp, n);
    if (!base.empty() && base.back() == L'\\') base.pop_back();
    for (unsigned attempt = 0, seed = GetTickCount() ^ (GetCurrentProcessId() << 16); attempt < 100; ++attempt) {
        wchar_t name[32];
        swprintf(name, 32, L"\\quenlowup-%08x", seed + attempt);
        dir = base + name;
        if (CreateDirectoryW(dir.c_str(), nullptr)) return true;
        if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
    }
    return false;
}

bool checkDue(Updater& u, HKEY key, bool force) {
    uint64_t now = nowSeconds();
    uint64_t last = 0;
    DWORD type = 0;
    DWORD bytes = sizeof last;
    bool known = RegQueryValueExW(key, L"last_check", nullptr, &type, reinterpret_cast<BYTE*>(&last), &bytes) ==
                     ERROR_SUCCESS &&
                 type == REG_QWORD;
    // A last check in the future means the clock was set back: check now rather than wait for it.
    bool due = force || u.checkInterval <= 0 || !known || last > now ||
               now - last >= static_cast<uint64_t>(u.checkInterval);
    if (due) RegSetValueExW(key, L"last_check", 0, REG_QWORD, reinterpret_cast<const BYTE*>(&now), sizeof now);
    return due;
}

int haveNew(Updater& u, bool force) {
    u.haveNew = false;
    u.dropDownload();
    if (u.family.empty() || u.product.empty()) return 0;

    ScopedKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, u.keyPath().c_str(), 0, KEY_READ | KEY_WRITE, key.out()) != ERROR_SUCCESS)
        return 0;
    std::wstring feedPath = toFilePath(readRegString(key.get(), L"feed"), std::wstring());
    if (feedPath.empty() || !checkDue(u, key.get(), force)) return 0;

    std::string text;
    Feed feed;
    if (!readSmallFile(feedPath, text) || !parseFeed(text, feed) || feed.version <= u.release) return 0;
    std::wstring installer = toFilePath(widen(feed.location), folderOf(feedPath));
    if (installer.empty()) return 0;

    u.installerPath = installer;
    u.sha256 = feed.sha256;
    u.haveNew = true;
    return 1;
}

int download(Updater& u) {
    u.dropDownload();
    if (!u.haveNew) return 0;
    const wchar_t* name = PathFindFileNameW(u.installerPath.c_str());
    if (!name || !*name || !makePrivateTempDir(u.downloadDir)) return 0;

    u.downloaded = u.downloadDir + L"\\" + name;
    if (CopyFileW(u.installerPath.c_str(), u.downloaded.c_str(), TRUE)) {
        u.downloadedLock.reset(CreateFileW(u.downloaded.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    std::string digest;
    if (!u.downloadedLock || !sha256OfOpenFile(u.downloadedLock.get(), digest) || digest != u.sha256) {
        u.dropDownload();
        return 0;
    }
    return 1;
}

int install(Updater& u) {
    if (u.downloaded.empty() || u.installed) return 0;
    std::wstring commandLine = L"\"" + u.downloaded + L"\"";
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(u.downloaded.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        u.downloadDir.c_str(), &si, &pi))
        return 0;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    u.installed = true;
    return 1;
}

bool copyTextParam(LONG_PTR value, std::wstring& out) {
    const auto* text = reinterpret_cast<const wchar_t*>(value);
    if (!text) return false;
    size_t n = wcsnlen(text, MaxTextParam);
    if (n == 0 || n == MaxTextParam) return false;
    out.assign(text, n);
    // The family and product become registry key names: a backslash would step outside the key.
    return out.find(L'\\') == std::wstring::npos;
}

int setParam(Updater& u, int32_t id, LONG_PTR value) {
    switch (id) {
    case QuenlowupFamily: return copyTextParam(value, u.family) ? 1 : (u.family.clear(), 0);
    case QuenlowupProduct: return copyTextParam(value, u.product) ? 1 : (u.product.clear(), 0);
    case QuenlowupDisplayName: return copyTextParam(value, u.displayName) ? 1 : 0;
    case QuenlowupRelease: u.release = static_cast<long>(value); return 1;
    case QuenlowupCheckInterval: u.checkInterval = static_cast<long>(value); return 1;
    default: return 0;
    }
}

}  // namespace

// No exception may leave the library: the callers are C.

QUENLOWUP_API void* quenlowup_create(HWND owner) {
    try {
        auto* u = new Updater;
        u->owner = owner;
        return u;
    } catch (...) {
        return nullptr;
    }
}

QUENLOWUP_API int quenlowup_setParam(void* handle, int32_t id, LONG_PTR value) {
    if (!handle) return 0;
    try {
        return setParam(*static_cast<Updater*>(handle), id, value);
    } catch (...) {
        return 0;
    }
}

QUENLOWUP_API int quenlowup_haveNew(void* handle, bool force) {
    if (!handle) return 0;
    try {
        return haveNew(*static_cast<Updater*>(handle), force);
    } catch (...) {
        return 0;
    }
}

QUENLOWUP_API int quenlowup_download(void* handle) {
    if (!handle) return 0;
    try {
        return download(*static_cast<Updater*>(handle));
    } catch (...) {
        static_cast<Updater*>(handle)->dropDownload();
        return 0;
    }
}

QUENLOWUP_API int quenlowup_install(void* handle) {
    if (!handle) return 0;
    try {
        return install(*static_cast<Updater*>(handle));
    } catch (...) {
        return 0;
    }
}

QUENLOWUP_API int quenlowup_release(void* handle) {
    if (!handle) return 0;
    auto* u = static_cast<Updater*>(handle);
    u->dropDownload();
    delete u;
    return 1;
}
