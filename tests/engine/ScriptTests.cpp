#include "EngineTestKit.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

std::string utf8(const std::wstring& w) {
    if (w.empty()) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
    return s;
}

const wchar_t kArgs[] = L"-acodec libmp3lame -b:a 160k -ac 2 -ar 44100";

TEST(WriteScript, WritesFiveUtf8LinesWithCrLfAndDoubledPercents) {
    struct Case {
        const char* name;
        const wchar_t* tool;
        const wchar_t* input;
        const wchar_t* output;  // null: a probe script
        std::string command;    // line 3, as bytes
    };
    const Case cases[] = {
        {"probe", L"C:\\app\\core\\zivevazov.exe", L"D:\\v\\clip.mp4", nullptr,
         "\"C:\\app\\core\\zivevazov.exe\" -i \"D:\\v\\clip.mp4\""},
        {"conversion", L"C:\\app\\core\\zivevazov.exe", L"D:\\v\\clip.mp4", L"E:\\out\\clip.mp3",
         "\"C:\\app\\core\\zivevazov.exe\" -y -i \"D:\\v\\clip.mp4\" -acodec libmp3lame -b:a 160k -ac 2 -ar 44100 "
         "\"E:\\out\\clip.mp3\""},
        {"percent signs", L"C:\\100%\\core\\zivevazov.exe", L"D:\\v\\100% live %PATH%.mp4", L"E:\\%%\\x.mp3",
         "\"C:\\100%%\\core\\zivevazov.exe\" -y -i \"D:\\v\\100%% live %%PATH%%.mp4\" "
         "-acodec libmp3lame -b:a 160k -ac 2 -ar 44100 \"E:\\%%%%\\x.mp3\""},
        {"outside ASCII", L"C:\\app\\core\\zivevazov.exe", L"D:\\caf\u00e9\\\u65e5\u672c \u0416.mp4", nullptr,
         "\"C:\\app\\core\\zivevazov.exe\" -i \"D:\\caf\xc3\xa9\\\xe6\x97\xa5\xe6\x9c\xac \xd0\x96.mp4\""},
        {"interpreter's special characters stay as they are", L"C:\\a&b\\zivevazov.exe",
         L"D:\\v\\(x) ^a & b! 'c'.mp4", nullptr,
         "\"C:\\a&b\\zivevazov.exe\" -i \"D:\\v\\(x) ^a & b! 'c'.mp4\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ConvertCore core;
        core.toolPath = c.tool;
        const std::wstring path = core.writeScript(c.output ? kArgs : nullptr, c.input, c.output);
        ASSERT_FALSE(path.empty());
        const std::wstring folder = scriptFolder();
        EXPECT_EQ(folder + L"\\mconv", path.substr(0, folder.size() + 6));
        EXPECT_EQ(L".bat", path.substr(path.size() - 4));
        std::string del = utf8(path);
        for (size_t at = del.find('%'); at != std::string::npos; at = del.find('%', at + 2)) del.insert(at, "%");
        EXPECT_EQ("chcp 65001\r\n\r\n" + c.command + "\r\n\r\ndel \"" + del + "\"", readFile(path));
        DeleteFileW(path.c_str());
    }
}

TEST(WriteScript, KeepsLongPathsWholeAndRefusesWhatTheInterpreterCannotRead) {
    ConvertCore core;
    core.toolPath = L"C:\\app\\core\\zivevazov.exe";
    std::wstring longInput = L"D:\\";
    while (longInput.size() < 600) longInput += L"a folder name of some length\\";
    longInput += L"clip.mp4";
    const std::wstring longOutput = L"E:\\" + std::wstring(700, L'o') + L".mp3";
    const std::wstring path = core.writeScript(kArgs, longInput.c_str(), longOutput.c_str());
    ASSERT_FALSE(path.empty());
    const std::string text = readFile(path);
    EXPECT_NE(std::string::npos, text.find("\"" + utf8(longInput) + "\" -acodec"));
    EXPECT_NE(std::string::npos, text.find(" \"" + utf8(longOutput) + "\"\r\n"));
    DeleteFileW(path.c_str());

    const size_t before = engineLeftovers();
    const std::wstring tooLong = L"D:\\" + std::wstring(9000, L'x') + L".mp4";
    EXPECT_TRUE(core.writeScript(nullptr, tooLong.c_str(), nullptr).empty());
    EXPECT_EQ(before, engineLeftovers());
}

// Two copies of the program may read the same tick count; a file that exists is never taken over.
TEST(UniqueNames, TakeTheNextNumberWhileAFileOfThatNameExists) {
    struct Case {
        const char* name;
        std::wstring folder;
        const wchar_t* prefix;
        const wchar_t* extension;
    };
    const Case cases[] = {
        {"script", scriptFolder(), L"mconv", L".bat"},
        {"diagnostic file", appDataFolder(), L"zivevazov", L".txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Another copy's files for every tick count of the next moments.
        const DWORD now = GetTickCount();
        std::set<std::wstring> taken;
        for (DWORD t = now - 2; t < now + 300; ++t) {
            std::wstring p = numberedPath(c.folder, c.prefix, static_cast<long>(static_cast<int32_t>(t))) +
                             c.extension;
            if (writeFile(p, "another copy's")) taken.insert(p);
        }
        std::wstring path;
        if (std::wstring(c.extension) == L".bat") {
            ConvertCore core;
            core.toolPath = L"C:\\t.exe";
            path = core.writeScript(nullptr, L"D:\\a.mp4", nullptr);
        } else {
            path = std::wstring();
            ScopedHandle file = createUniqueFile(c.folder, c.prefix, c.extension, path);
            EXPECT_TRUE(file.valid());
        }
        ASSERT_FALSE(path.empty());
        EXPECT_EQ(0u, taken.count(path)) << "took over another copy's file";
        EXPECT_EQ(fileNameOf(path).rfind(c.prefix, 0), 0u);
        DeleteFileW(path.c_str());
        for (const std::wstring& p : taken) {
            EXPECT_EQ("another copy's", readFile(p));
            DeleteFileW(p.c_str());
        }
    }
}

}  // namespace
