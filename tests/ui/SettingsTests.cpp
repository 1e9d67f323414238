#include "Globals.h"
#include "Settings.h"
#include "VideoPreset.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

const wchar_t keyPath[] = L"Software\\Quenlow Rizav Ozirurave\\mp3";

class SettingsStore : public testing::Test {
protected:
    void SetUp() override {
        g_presets = &provider_;
        clean();
    }
    void TearDown() override {
        clean();
        g_presets = nullptr;
    }
    static void clean() { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Quenlow Rizav Ozirurave"); }

    static bool keyExists() {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, keyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
        RegCloseKey(key);
        return true;
    }
    // Stores raw bytes as another program (or an older copy of this one) might have.
    static void store(DWORD type, const void* data, DWORD bytes) {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, keyPath, 0, nullptr, 0, KEY_WRITE, nullptr,
                                                 &key, nullptr));
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, L"out_dir", 0, type, static_cast<const BYTE*>(data), bytes));
        RegCloseKey(key);
    }
    struct Stored {
        DWORD type = 0;
        std::wstring bytesAsText;  // exactly the bytes stored, as UTF-16 units
        DWORD bytes = 0;
    };
    // The raw bytes: RegGetValueW would add a terminator of its own.
    static Stored stored() {
        Stored s;
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, keyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) return s;
        wchar_t buffer[600] = {};
        DWORD size = sizeof buffer;
        if (RegQueryValueExW(key, L"out_dir", nullptr, &s.type, reinterpret_cast<BYTE*>(buffer), &size) ==
            ERROR_SUCCESS) {
            s.bytes = size;
            s.bytesAsText.assign(buffer, size / sizeof(wchar_t));
        }
        RegCloseKey(key);
        return s;
    }

    Mp4Mp3 provider_;
};

TEST_F(SettingsStore, KeyIsNamedAfterTheOutputExtension) {
    EXPECT_EQ(keyPath, settingsKeyPath());
}

TEST_F(SettingsStore, FirstReadCreatesTheEmptyKey) {
    ASSERT_FALSE(keyExists());
    EXPECT_EQ(L"", readOutputDir());
    EXPECT_TRUE(keyExists());
    EXPECT_EQ(0u, stored().bytes);
}

TEST_F(SettingsStore, WritesTheTextAndReadsItBack) {
    const std::wstring folders[] = {L"D:\\", L"", L"C:\\Users\\Public\\Music\\Ambrett out",
                                    std::wstring(259, L'x')};  // the longest folder a path can hold
    for (const std::wstring& folder : folders) {
        SCOPED_TRACE(testing::Message() << folder.size() << " characters");
        ASSERT_TRUE(writeOutputDir(folder));
        const Stored s = stored();
        EXPECT_EQ(static_cast<DWORD>(REG_SZ), s.type);
        // The program hands over the characters alone; the registry itself appends the terminator it
        // finds right after them (Windows NT does the same), except for an empty text.
        const std::wstring expected = folder.empty() ? folder : folder + L'\0';
        EXPECT_EQ(expected, s.bytesAsText);
        EXPECT_EQ(expected.size() * 2, s.bytes);
        EXPECT_EQ(folder, readOutputDir());
    }
}

TEST_F(SettingsStore, ReadsOnlyWhatFitsAndEndsTheTextItself) {
    const std::wstring folder = L"E:\\mp3";
    const std::wstring withTerminator(L"E:\\mp3\0", 7);
    const std::wstring embeddedNull(L"E:\\mp3\0junk", 11);
    // One character more than is stored, so that the registry finds no terminator to append.
    const std::wstring longest(261, L'y');
    const std::wstring tooLong(262, L'y');
    const DWORD number = 7;
    const struct {
        const char* what;
        DWORD type;
        const void* data;
        DWORD bytes;
        std::wstring expected;
    } cases[] = {
        {"with terminator", REG_SZ, withTerminator.data(), 14, folder},
        {"embedded null", REG_SZ, embeddedNull.data(), 22, folder},
        {"520 bytes", REG_SZ, longest.data(), 520, longest.substr(0, 260)},
        {"522 bytes", REG_SZ, tooLong.data(), 522, L""},
        {"odd byte count", REG_SZ, folder.data(), 11, L"E:\\mp"},
        {"REG_EXPAND_SZ", REG_EXPAND_SZ, withTerminator.data(), 14, L""},
        {"REG_DWORD", REG_DWORD, &number, 4, L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        store(c.type, c.data, c.bytes);
        EXPECT_EQ(c.expected, readOutputDir());
    }
}

TEST_F(SettingsStore, AValueOfAnotherTypeIsReplacedAtTheNextWrite) {
    const DWORD number = 7;
    store(REG_DWORD, &number, 4);
    ASSERT_TRUE(writeOutputDir(L"F:\\"));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), stored().type);
    EXPECT_EQ(L"F:\\", readOutputDir());
}

}  // namespace
