#include "quenlowupdate.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// SHA-256 of "abc" (FIPS 180-2, appendix B.1).
const char kAbcDigest[] = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

std::wstring ownFolder() {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring s(path, n);
    return s.substr(0, s.find_last_of(L'\\'));
}

std::string narrow(const std::wstring& w) {
    std::string s;
    for (wchar_t c : w) s += static_cast<char>(c);  // test paths are ASCII
    return s;
}

std::vector<std::wstring> entriesOf(const std::wstring& dir) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW((dir + L"\\*").c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        std::wstring name = fd.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(find, &fd));
    FindClose(find);
    return names;
}

// Each test gets a family key of its own and a private temporary folder (TMP), so that what the
// library downloads, and what it leaves behind, can be seen.
class UpdateLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        family_ = L"Quenlow Test " + std::to_wstring(GetCurrentProcessId());
        productKey_ = L"Software\\" + family_ + L"\\update\\Tolvarex";
        tmp_ = work_ / L"tmp";
        source_ = work_ / L"source";
        CreateDirectoryW(tmp_.c_str(), nullptr);
        CreateDirectoryW(source_.c_str(), nullptr);
        wchar_t old[MAX_PATH];
        DWORD n = GetEnvironmentVariableW(L"TMP", old, MAX_PATH);
        oldTmp_ = n ? std::wstring(old, n) : std::wstring();
        SetEnvironmentVariableW(L"TMP", tmp_.c_str());
    }
    void TearDown() override {
        SetEnvironmentVariableW(L"TMP", oldTmp_.empty() ? nullptr : oldTmp_.c_str());
        RegDeleteTreeW(HKEY_CURRENT_USER, (L"Software\\" + family_).c_str());
    }

    void setFeedLocation(const std::wstring& location) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, productKey_.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                                  nullptr),
                  ERROR_SUCCESS);
        RegSetValueExW(key, L"feed", 0, REG_SZ, reinterpret_cast<const BYTE*>(location.c_str()),
                       static_cast<DWORD>((location.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }
    void writeFeed(const std::string& text) {
        ASSERT_TRUE(writeFile(source_ + L"\\feed.txt", text));
        setFeedLocation(source_ + L"\\feed.txt");
    }

    // Set up as the program does, with the interval given.
    void* open(long interval = 0) {
        void* h = quenlowup_create(nullptr);
        EXPECT_NE(h, nullptr);
        EXPECT_EQ(quenlowup_setParam(h, QuenlowupFamily, reinterpret_cast<LONG_PTR>(family_.c_str())), 1);
        EXPECT_EQ(quenlowup_setParam(h, QuenlowupProduct, reinterpret_cast<LONG_PTR>(L"Tolvarex")), 1);
        EXPECT_EQ(quenlowup_setParam(h, QuenlowupDisplayName, reinterpret_cast<LONG_PTR>(L"Ambrett")), 1);
        EXPECT_EQ(quenlowup_setParam(h, QuenlowupRelease, 2), 1);
        EXPECT_EQ(quenlowup_setParam(h, QuenlowupCheckInterval, interval), 1);
        return h;
    }

    std::wstring downloadedFile() {
        std::vector<std::wstring> dirs = entriesOf(tmp_);
        if (dirs.size() != 1) return std::wstring();
        std::vector<std::wstring> files = entriesOf(tmp_ + L"\\" + dirs[0]);
        return files.size() == 1 ? tmp_ + L"\\" + dirs[0] + L"\\" + files[0] : std::wstring();
    }

    TempDir work_{L"quenlowup-test"};
    std::wstring family_, productKey_, tmp_, source_, oldTmp_;
};

TEST_F(UpdateLibrary, NoFeedConfiguredMeansNoUpdate) {
    void* h = open();
    EXPECT_EQ(quenlowup_haveNew(h, false), 0);
    EXPECT_EQ(quenlowup_haveNew(h, true), 0);
    EXPECT_EQ(quenlowup_download(h), 0);
    EXPECT_EQ(quenlowup_install(h), 0);
    EXPECT_EQ(quenlowup_release(h), 1);
    EXPECT_TRUE(entriesOf(tmp_).empty());
}

struct FeedCase {
    const char* what;
    const char* version;
    const char* location;  // "$" is replaced by the installer's absolute path, "@" by its file:// URL
    std::string digest;
    bool installerThere;
    int haveNew;
    int download;
};

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return s;
}

TEST_F(UpdateLibrary, FeedsAndDownloads) {
    const FeedCase cases[] = {
        {"good feed", "3", "$", kAbcDigest, true, 1, 1},
        {"digest in capitals", "3", "$", upper(kAbcDigest), true, 1, 1},
        {"location beside the feed", "3", "setup.bin", kAbcDigest, true, 1, 1},
        {"file URL", "3", "@", kAbcDigest, true, 1, 1},
        {"wrong digest", "3", "$", std::string(64, 'a'), true, 1, 0},
        {"installer missing", "3", "$", kAbcDigest, false, 1, 0},
        {"same release", "2", "$", kAbcDigest, true, 0, 0},
        {"version not a number", "3a", "$", kAbcDigest, true, 0, 0},
        {"network location", "3", "https://example.invalid/setup.bin", kAbcDigest, true, 0, 0},
        {"short digest", "3", "$", "ba7816bf", true, 0, 0},
        {"no location", "3", "", kAbcDigest, true, 0, 0},
    };
    const std::wstring installer = source_ + L"\\setup.bin";
    std::string url = "file:///" + narrow(installer);
    for (char& c : url)
        if (c == '\\') c = '/';

    for (const FeedCase& c : cases) {
        SCOPED_TRACE(c.what);
        DeleteFileW(installer.c_str());
        if (c.installerThere) {
            ASSERT_TRUE(writeFile(installer, "abc"));
        }
        std::string location = c.location;
        if (location == "$") location = narrow(installer);
        if (location == "@") location = url;
        writeFeed("# newest release\r\nversion=" + std::string(c.version) + "\r\nlocation=" + location +
                  "\r\nsha256=" + c.digest + "\r\n");

        void* h = open();
        EXPECT_EQ(quenlowup_haveNew(h, false), c.haveNew);
        EXPECT_EQ(quenlowup_download(h), c.download);
        if (c.download) {
            EXPECT_EQ(readFile(downloadedFile()), "abc");
        } else {
            EXPECT_TRUE(entriesOf(tmp_).empty()) << "an unverified copy was left behind";
        }
        EXPECT_EQ(quenlowup_release(h), 1);
        EXPECT_TRUE(entriesOf(tmp_).empty()) << "release leaves a copy that was never installed";
    }
}

TEST_F(UpdateLibrary, UnreadableFeedsMeanNoUpdate) {
    const std::wstring missing = source_ + L"\\no-such-feed.txt";
    const std::wstring asFolder = source_;
    for (const std::wstring& feed : {missing, asFolder, std::wstring(L"http://example.invalid/feed.txt")}) {
        SCOPED_TRACE(narrow(feed));
        setFeedLocation(feed);
        void* h = open();
        EXPECT_EQ(quenlowup_haveNew(h, true), 0);
        EXPECT_EQ(quenlowup_download(h), 0);
        quenlowup_release(h);
    }
}

TEST_F(UpdateLibrary, ChecksNoMoreOftenThanTheInterval) {
    ASSERT_TRUE(writeFile(source_ + L"\\setup.bin", "abc"));
    writeFeed(std::string("version=3\nlocation=setup.bin\nsha256=") + kAbcDigest + "\n");

    void* first = open(3600);
    EXPECT_EQ(quenlowup_haveNew(first, false), 1);
    quenlowup_release(first);

    // The time of that check is remembered between handles, as between starts of the program.
    void* second = open(3600);
    EXPECT_EQ(quenlowup_haveNew(second, false), 0);
    EXPECT_EQ(quenlowup_haveNew(second, true), 1);
    quenlowup_release(second);

    void* unlimited = open(0);
    EXPECT_EQ(quenlowup_haveNew(unlimited, false), 1);
    quenlowup_release(unlimited);
}

TEST_F(UpdateLibrary, InstallStartsTheVerifiedCopy) {
    const std::wstring built = ownFolder() + L"\\fake_installer.exe";
    std::string digest = readFile(built + L".sha256").substr(0, 64);
    ASSERT_EQ(digest.size(), 64u);
    ASSERT_TRUE(CopyFileW(built.c_str(), (source_ + L"\\setup.exe").c_str(), FALSE));
    writeFeed("version=7\nlocation=setup.exe\nsha256=" + digest + "\n");
    const std::wstring marker = work_ / L"installed.txt";
    SetEnvironmentVariableW(L"QUENLOWUP_TEST_MARKER", marker.c_str());

    void* h = open();
    EXPECT_EQ(quenlowup_install(h), 0) << "install before any download";
    ASSERT_EQ(quenlowup_haveNew(h, false), 1);
    ASSERT_EQ(quenlowup_download(h), 1);
    std::wstring copy = downloadedFile();
    EXPECT_EQ(quenlowup_install(h), 1);
    EXPECT_EQ(quenlowup_install(h), 0) << "a second start of the same installer";
    EXPECT_EQ(quenlowup_release(h), 1);

    for (int i = 0; i < 200 && !fileExists(marker); ++i) Sleep(50);
    std::string ranFrom = readFile(marker);
    EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(ranFrom.data()), ranFrom.size() / 2), copy);
    EXPECT_TRUE(fileExists(copy)) << "release must leave a started installer its file";
    SetEnvironmentVariableW(L"QUENLOWUP_TEST_MARKER", nullptr);
}

TEST(UpdateLibraryCalls, RefuseNullHandlesAndUnknownParameters) {
    EXPECT_EQ(quenlowup_setParam(nullptr, QuenlowupFamily, reinterpret_cast<LONG_PTR>(L"x")), 0);
    EXPECT_EQ(quenlowup_haveNew(nullptr, true), 0);
    EXPECT_EQ(quenlowup_download(nullptr), 0);
    EXPECT_EQ(quenlowup_install(nullptr), 0);
    EXPECT_EQ(quenlowup_release(nullptr), 0);

    void* h = quenlowup_create(nullptr);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(quenlowup_setParam(h, 5, 1), 0);
    EXPECT_EQ(quenlowup_setParam(h, QuenlowupFamily, 0), 0);
    EXPECT_EQ(quenlowup_setParam(h, QuenlowupFamily, reinterpret_cast<LONG_PTR>(L"")), 0);
    EXPECT_EQ(quenlowup_setParam(h, QuenlowupFamily, reinterpret_cast<LONG_PTR>(L"..\\Other")), 0);
    EXPECT_EQ(quenlowup_haveNew(h, true), 0) << "no family, no product";
    EXPECT_EQ(quenlowup_release(h), 1);
}

}  // namespace
