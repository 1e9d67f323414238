#include "FileDialog.h"
#include "MainWindow.h"
#include "Settings.h"
#include "UiTestSupport.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <string>
#include <vector>

namespace {

const wchar_t mp3Args[] = L"-acodec libmp3lame -b:a 160k -ac 2 -ar 44100";

// One main window per test, made from the real template, with a test engine and a clean settings key.
class MainWindow : public testing::Test {
protected:
    void SetUp() override {
        removeSettingsKey();
        putCoreFile(true);
        setEngineFactory(&makeTestCore);
    }
    void TearDown() override {
        if (IsWindow(hwnd_)) {
            if (IsWindowVisible(hwnd_)) command(IDCANCEL);
            DestroyWindow(hwnd_);
        }
        setEngineFactory(nullptr);
        g_presets = &mp3Presets;
        removeSettingsKey();
    }

    void open(int templateId = IDD_MAIN) {
        hwnd_ = CreateDialogParamW(g_hInstance, MAKEINTRESOURCEW(templateId), nullptr, mainDlgProc, 0);
        ASSERT_NE(nullptr, hwnd_);
        ShowWindow(hwnd_, SW_SHOW);
        core_ = TestCore::last;
        ASSERT_NE(nullptr, core_);
    }
    void command(int id) { SendMessageW(hwnd_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
    HWND list() const { return GetDlgItem(hwnd_, IDC_FILELIST); }
    void setFolder(const std::wstring& folder) { SetDlgItemTextW(hwnd_, IDC_FOLDER, folder.c_str()); }

    std::vector<std::wstring> items() const {
        std::vector<std::wstring> out;
        const LRESULT n = SendMessageW(list(), LB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < n; ++i) {
            std::wstring text(static_cast<size_t>(SendMessageW(list(), LB_GETTEXTLEN, i, 0)) + 1, L'\0');
            text.resize(static_cast<size_t>(SendMessageW(list(), LB_GETTEXT, i, reinterpret_cast<LPARAM>(&text[0]))));
            out.push_back(text);
        }
        return out;
    }
    std::vector<int> selection() const {
        std::vector<int> out;
        const LRESULT n = SendMessageW(list(), LB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < n; ++i)
            if (SendMessageW(list(), LB_GETSEL, i, 0) > 0) out.push_back(static_cast<int>(i));
        return out;
    }
    void select(std::initializer_list<int> indexes) {
        SendMessageW(list(), LB_SETSEL, FALSE, -1);
        for (int i : indexes) SendMessageW(list(), LB_SETSEL, TRUE, i);
    }
    // Runs Convert with a person answering its message boxes; gives the texts they showed.
    std::vector<std::wstring> convertAnswering(std::vector<int> buttons = {IDOK}) {
        BoxAnswerer person(std::move(buttons));
        command(IDC_CONVERT);
        return person.finish();
    }

    HWND hwnd_ = nullptr;
    TestCore* core_ = nullptr;
};

using Texts = std::vector<std::wstring>;

TEST_F(MainWindow, OpensWithTitleIconFolderAndTooltips) {
    writeOutputDir(L"C:\\");
    open();
    EXPECT_EQ(L"Ambrett 1.1", windowText(hwnd_));
    EXPECT_EQ(hwnd_, g_hMainWnd);
    EXPECT_NE(nullptr, g_hIcon);
    EXPECT_EQ(reinterpret_cast<LRESULT>(g_hIcon), SendMessageW(hwnd_, WM_GETICON, ICON_BIG, 0));
    EXPECT_EQ(reinterpret_cast<LRESULT>(g_hIcon), SendMessageW(hwnd_, WM_GETICON, ICON_SMALL, 0));
    EXPECT_EQ(static_cast<ConvertCore*>(core_), g_core);
    EXPECT_EQ(L"C:\\", controlText(hwnd_, IDC_FOLDER));
    EXPECT_EQ(nullptr, GetDlgItem(hwnd_, IDC_PRESET));

    ASSERT_NE(nullptr, g_hToolTip);
    EXPECT_EQ(hwnd_, GetWindow(g_hToolTip, GW_OWNER));
    EXPECT_EQ(4, SendMessageW(g_hToolTip, TTM_GETTOOLCOUNT, 0, 0));
    for (const ToolButton* row = toolButtons; row->controlId; ++row) {
        wchar_t text[80] = {};
        TOOLINFOW info = {};
        info.cbSize = sizeof(info);
        info.hwnd = hwnd_;
        info.uId = reinterpret_cast<UINT_PTR>(GetDlgItem(hwnd_, row->controlId));
        info.lpszText = text;
        SendMessageW(g_hToolTip, TTM_GETTEXTW, 80, reinterpret_cast<LPARAM>(&info));
        EXPECT_STREQ(row->tipText, text);
    }
}

TEST_F(MainWindow, ClosingSavesTheFolderAndReleasesEverything) {
    const struct {
        const char* how;
        UINT msg;
        WPARAM wParam;
    } ways[] = {{"close box", WM_CLOSE, 0}, {"Escape", WM_COMMAND, IDCANCEL}};
    const std::wstring folders[] = {L"D:\\music", L""};
    for (const auto& way : ways) {
        for (const std::wstring& folder : folders) {
            SCOPED_TRACE(testing::Message() << way.how << ", folder " << testing::PrintToString(folder));
            open();
            setFolder(folder);
            HWND tip = g_hToolTip;
            PostMessageW(hwnd_, way.msg, way.wParam, 0);
            EXPECT_TRUE(waitUntil([&] { return !IsWindowVisible(hwnd_); }));
            EXPECT_EQ(nullptr, g_core);
            EXPECT_EQ(nullptr, g_hToolTip);
            EXPECT_FALSE(IsWindow(tip));
            EXPECT_EQ(folder, readOutputDir());
            DestroyWindow(hwnd_);

            open();
            EXPECT_EQ(folder, controlText(hwnd_, IDC_FOLDER));
            command(IDCANCEL);
            DestroyWindow(hwnd_);
        }
    }
}

TEST_F(MainWindow, AddsOnlyNewMp4Paths) {
    open();
    const struct {
        const wchar_t* path;
        bool added;
    } cases[] = {
        {L"D:\\in\\Clip.MP4", true},
        {L"D:\\in\\clip.Mp4", true},  // duplicates are found case-sensitively
        {L"D:\\in\\clip.Mp4", false},
        {L"D:\\in\\a.mp4", true},
        {L"D:\\in\\a.mp4", false},
        {L"D:\\in\\clip.mp4.part", false},
        {L"D:\\in.d\\clip", false},
        {L"D:\\in\\clip.", false},
        {L"D:\\in\\clip.mp3", false},
        {L"D:\\in\\clip.mp4 ", false},
    };
    for (const auto& c : cases) {
        const int at = addListItem(c.path);
        EXPECT_EQ(c.added, at >= 0) << testing::PrintToString(std::wstring(c.path));
        if (at >= 0) {
            EXPECT_EQ(c.path, items()[static_cast<size_t>(at)]) << "position reported";
        }
    }
    EXPECT_EQ((Texts{L"D:\\in\\a.mp4", L"D:\\in\\clip.Mp4", L"D:\\in\\Clip.MP4"}), items());
}

TEST_F(MainWindow, LongPathsAreListedWholeOrNotAtAll) {
    open();
    const std::wstring folder = L"D:\\" + std::wstring(240, L'f') + L"\\";
    const std::wstring longest = folder + std::wstring(259 - folder.size() - 4, L'n') + L".mp4";
    const std::wstring tooLong = folder + std::wstring(260 - folder.size() - 4, L'n') + L".mp4";
    ASSERT_EQ(259u, longest.size());
    EXPECT_EQ(0, addListItem(longest.c_str()));
    EXPECT_EQ(-1, addListItem(tooLong.c_str()));
    EXPECT_EQ(-1, addListItem(longest.c_str())) << "the duplicate test must compare the whole item";

    // An item longer than any buffer of the path size, put there directly: it still reaches the engine
    // whole, and a shorter path that shares its beginning is not taken for it.
    const std::wstring huge = L"D:\\" + std::wstring(400, L'h') + L".mp4";
    SendMessageW(list(), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(huge.c_str()));
    EXPECT_TRUE(isListed(huge.c_str()));
    EXPECT_FALSE(isListed(huge.substr(0, 259).c_str()));

    TempDir out;
    setFolder(out.path());
    core_->startFails = true;
    EXPECT_EQ(Texts{}, convertAnswering());
    ASSERT_EQ(2u, core_->jobs.size());
    EXPECT_EQ(longest, core_->jobs[0]->inputPath);
    EXPECT_EQ(huge, core_->jobs[1]->inputPath);
}

TEST_F(MainWindow, CorePathIsBesideTheProgramOrRefused) {
    const std::wstring deep = L"C:\\" + std::wstring(237, L'd');  // 240; + \core\zivevazov.exe = 259
    const struct {
        std::wstring exe;
        std::wstring expected;
    } cases[] = {
        {L"D:\\Tools\\App\\app.exe", L"D:\\Tools\\App\\core\\zivevazov.exe"},
        {L"app.exe", L"app.exe\\core\\zivevazov.exe"},
        {deep + L"\\a.exe", deep + L"\\core\\zivevazov.exe"},
        {deep + L"x\\a.exe", L""},
    };
    for (const auto& c : cases) EXPECT_EQ(c.expected, corePathFor(c.exe)) << testing::PrintToString(c.exe);
    EXPECT_EQ(testCorePath(), corePath());
}

TEST_F(MainWindow, RemoveAndClear) {
    open();
    const wchar_t* four[] = {L"C:\\0.mp4", L"C:\\1.mp4", L"C:\\2.mp4", L"C:\\3.mp4"};
    const struct {
        std::initializer_list<int> selected;
        Texts left;
    } cases[] = {
        {{}, {L"C:\\0.mp4", L"C:\\1.mp4", L"C:\\2.mp4", L"C:\\3.mp4"}},
        {{1, 3}, {L"C:\\0.mp4", L"C:\\2.mp4"}},
        {{0, 1, 2, 3}, {}},
        {{3}, {L"C:\\0.mp4", L"C:\\1.mp4", L"C:\\2.mp4"}},
    };
    for (const auto& c : cases) {
        command(IDC_CLEAR);
        EXPECT_EQ(Texts{}, items());
        for (const wchar_t* p : four) addListItem(p);
        select(c.selected);
        command(IDC_REMOVE);
        EXPECT_EQ(c.left, items());
    }
}

TEST_F(MainWindow, ConvertChecksComeInOrder) {
    TempDir dir;
    const std::wstring aFile = dir / L"file.txt";
    writeFile(aFile, "x");
    const struct {
        const char* what;
        bool listed;
        std::wstring folder;
        bool coreFile;
        const wchar_t* message;
    } cases[] = {
        {"nothing at all", false, L"", false, L"Please add source files."},
        {"no folder", true, L"", false, L"Please select output folder."},
        {"missing folder", true, dir / L"missing", false, L"The output folder doesn't exist."},
        {"folder names a file", true, aFile, false, L"The output folder doesn't exist."},
        {"no converter tool", true, dir.path(), false, L"There isn't a core file."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        open();
        if (c.listed) addListItem(L"D:\\in\\a.mp4");
        setFolder(c.folder);
        putCoreFile(c.coreFile);
        EXPECT_EQ(Texts{c.message}, convertAnswering());
        EXPECT_EQ(0, core_->starts);
        EXPECT_TRUE(core_->jobs.empty());
        EXPECT_EQ(L"", core_->toolPath);
        command(IDCANCEL);
        DestroyWindow(hwnd_);
    }
    putCoreFile(true);
}

TEST_F(MainWindow, PresetIndexComesFromTheChooserOnlyWithSeveralPresets) {
    TempDir out;
    const struct {
        const char* what;
        VideoPreset* provider;
        int templateId;
        int select;  // -2: leave the chooser as opened
        const wchar_t* args;
    } cases[] = {
        {"one preset", &mp3Presets, IDD_MAIN, -2, mp3Args},
        {"chooser as opened", &twoPresets, IDD_MAIN_PRESETS, -2, L"-acodec libmp3lame -b:a 160k"},
        {"second chosen", &twoPresets, IDD_MAIN_PRESETS, 1, L"-acodec libmp3lame -b:a 320k"},
        {"nothing chosen", &twoPresets, IDD_MAIN_PRESETS, -1, L"-acodec libmp3lame -b:a 160k"},
        {"two presets, no chooser", &twoPresets, IDD_MAIN, -2, L"-acodec libmp3lame -b:a 160k"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        g_presets = c.provider;
        open(c.templateId);
        HWND chooser = GetDlgItem(hwnd_, IDC_PRESET);
        if (c.templateId == IDD_MAIN_PRESETS) {
            ASSERT_NE(nullptr, chooser);
            EXPECT_EQ(2, SendMessageW(chooser, CB_GETCOUNT, 0, 0));
            wchar_t name[32] = {};
            SendMessageW(chooser, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(name));
            EXPECT_STREQ(L"MP3 320k", name);
            EXPECT_EQ(0, SendMessageW(chooser, CB_GETCURSEL, 0, 0));
            if (c.select != -2) SendMessageW(chooser, CB_SETCURSEL, static_cast<WPARAM>(c.select), 0);
        }
        addListItem(L"D:\\in\\a.mp4");
        setFolder(out.path());
        core_->startFails = true;  // the progress window ends at once
        EXPECT_EQ(Texts{}, convertAnswering());
        EXPECT_EQ(1, core_->starts);
        EXPECT_EQ(c.args, core_->convertArgs);
        EXPECT_EQ(L"mp3", core_->outputExt);
        command(IDCANCEL);
        DestroyWindow(hwnd_);
    }
}

TEST_F(MainWindow, ARunConvertsTheListInOrderAndSelectsWhatWasConverted) {
    TempDir in;
    TempDir out;
    open();
    for (const wchar_t* name : {L"c.mp4", L"a.mp4", L"b.mp4"}) addListItem((in / name).c_str());
    select({1});  // chosen by the user before the run: deselected, its job fails
    setFolder(out.path());
    writeFile(out / L"c.mp3", "old");
    core_->failing = {L"b.mp4"};

    // The person watching the progress window: reads it once the run is over, then presses Close.
    std::wstring total, file;
    bool barShown = true, stopShown = true;
    std::thread watcher([&] {
        HWND progress = waitForWindow(L"Progress");
        if (!progress) return;
        if (!waitUntil([&] { return controlVisible(progress, IDC_CLOSE); })) return;
        total = controlText(progress, IDC_TOTAL_TEXT);
        file = controlText(progress, IDC_FILE_TEXT);
        barShown = controlVisible(progress, IDC_PROGRESS_BAR);
        stopShown = controlVisible(progress, IDC_STOP);
        pressButton(progress, IDC_CLOSE);
    });
    const Texts asked = convertAnswering({IDYES});
    watcher.join();

    EXPECT_EQ(Texts{L"'" + (out / L"c.mp3") + L"' already exists.\nDo you want to replace it?"}, asked);
    EXPECT_EQ(L"2 / 3 (67%)", total);
    EXPECT_EQ(L"Complete", file);
    EXPECT_FALSE(barShown);
    EXPECT_FALSE(stopShown);

    EXPECT_EQ(testCorePath(), core_->toolPath);
    EXPECT_EQ(out.path(), core_->outputDir);
    EXPECT_EQ(L"mp3", core_->outputExt);
    EXPECT_EQ(mp3Args, core_->convertArgs);
    ASSERT_EQ(3u, core_->jobs.size());
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(items()[i], core_->jobs[i]->inputPath);
    EXPECT_EQ("mp3", readFile(out / L"c.mp3")) << "replaced after Yes";
    EXPECT_EQ((std::vector<int>{0, 2}), selection());
}

TEST_F(MainWindow, SelectCompletedFollowsTheJobs) {
    open();
    for (const wchar_t* p : {L"C:\\0.mp4", L"C:\\1.mp4", L"C:\\2.mp4", L"C:\\3.mp4"}) addListItem(p);
    const struct {
        std::vector<int> percents;
        std::initializer_list<int> before;
        std::vector<int> after;
    } cases[] = {
        {{100, 99, 100, 0}, {1, 3}, {0, 2}},
        {{100, 100, 100, 100}, {}, {0, 1, 2, 3}},
        {{0, 0, 0, 0}, {0, 1, 2, 3}, {}},
        {{100, 100}, {3}, {0, 1, 3}},  // fewer jobs than items: the rest keep their selection
    };
    for (const auto& c : cases) {
        core_->clearJobs();
        for (size_t i = 0; i < c.percents.size(); ++i) {
            core_->addJob(items()[i].c_str());
            core_->setJobPercent(static_cast<int32_t>(i), c.percents[i]);
        }
        select(c.before);
        selectCompleted();
        EXPECT_EQ(c.after, selection());
    }
}

// After Stop the progress window closes while the converter may still be quitting; neither a new
// Convert nor Close may pull the engine from under that worker.
TEST_F(MainWindow, ConvertAndCloseWaitForAStoppedRun) {
    TempDir in;
    TempDir out;
    open();
    addListItem((in / L"a.mp4").c_str());
    addListItem((in / L"b.mp4").c_str());
    setFolder(out.path());
    core_->hold = true;
    core_->lingerMs = 1000;  // ample for the next command to reach the engine

    std::wstring stopQuestion;
    std::thread person([&] {
        HWND progress = waitForWindow(L"Progress");
        if (!progress || !waitUntil([&] { return core_->inConvert == 0; })) return;
        pressButton(progress, IDC_STOP);
    });
    const Texts asked = convertAnswering({IDYES});
    person.join();
    EXPECT_EQ(Texts{L"Are you sure you want to stop the conversion?"}, asked);
    EXPECT_NE(Completed, core_->state);

    core_->startFails = true;
    EXPECT_EQ(Texts{}, convertAnswering());
    EXPECT_FALSE(TestCore::workerAliveAtClear);
    EXPECT_EQ(2, core_->starts);

    // The same through Close.
    core_->startFails = false;
    std::thread again([&] {
        HWND progress = waitForWindow(L"Progress");
        if (!progress || !waitUntil([&] { return core_->inConvert == 0; })) return;
        pressButton(progress, IDC_STOP);
    });
    convertAnswering({IDYES});
    again.join();
    command(IDCANCEL);
    EXPECT_FALSE(TestCore::workerAliveAtClear);
    EXPECT_FALSE(TestCore::workerAliveAtDelete);
    EXPECT_EQ(nullptr, g_core);
}

// Add through the real open-file dialog: each entry is typed into its file-name field and Open pressed
// (a folder moves the dialog there; a name or quoted names end it); an empty list cancels.
TEST_F(MainWindow, AddThroughTheOpenFileDialog) {
    TempDir dir;
    // The dialog makes the chosen folder the current one, which would keep it from being removed.
    struct KeepCurrentFolder {
        wchar_t saved[MAX_PATH] = {};
        KeepCurrentFolder() { GetCurrentDirectoryW(MAX_PATH, saved); }
        ~KeepCurrentFolder() { SetCurrentDirectoryW(saved); }
    } keep;
    for (const wchar_t* name : {L"b.mp4", L"a.MP4", L"notes.txt"}) writeFile(dir / name, "x");
    // A drive root, where the folder already ends in a backslash.
    const std::wstring root = L"C:\\";
    const std::wstring rootNames[] = {L"ambrett-ui-test-x.mp4", L"ambrett-ui-test-y.mp4"};
    for (const std::wstring& name : rootNames) writeFile(root + name, "x");

    const struct {
        const char* what;
        std::vector<std::wstring> typed;
        Texts added;
    } cases[] = {
        {"one file", {dir / L"b.mp4"}, {dir / L"b.mp4"}},
        {"several, one not mp4", {dir.path(), L"\"b.mp4\" \"a.MP4\" \"notes.txt\""}, {dir / L"a.MP4", dir / L"b.mp4"}},
        {"drive root", {root, L"\"" + rootNames[0] + L"\" \"" + rootNames[1] + L"\""},
         {root + rootNames[0], root + rootNames[1]}},
        {"cancelled", {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        open();
        bool closed = false;
        std::thread person([&] {
            HWND dialog = waitForWindow(L"Select Files");
            HWND field = nullptr;
            if (!dialog || !waitUntil([&] { return (field = fileNameField(dialog)) != nullptr; })) return;
            for (const std::wstring& entry : c.typed) {
                SendMessageW(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(entry.c_str()));
                // Sent, not posted: the dialog has moved to a typed folder before the names come.
                SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                             reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
            }
            if (c.typed.empty()) pressButton(dialog, IDCANCEL);
            closed = waitUntil([&] { return !IsWindowVisible(dialog); });
        });
        command(IDC_ADD);
        person.join();
        EXPECT_TRUE(closed);
        EXPECT_EQ(c.added, items());
        command(IDCANCEL);
        DestroyWindow(hwnd_);
    }
    for (const std::wstring& name : rootNames) DeleteFileW((root + name).c_str());
}

// The text of the selected item in the folder browser's tree.
std::wstring selectedTreeItem(HWND browser) {
    HWND tree = FindWindowExW(browser, nullptr, WC_TREEVIEWW, nullptr);
    if (!tree) return std::wstring();
    TVITEMW item = {};
    wchar_t text[MAX_PATH] = {};
    item.mask = TVIF_TEXT;
    item.hItem = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
    item.pszText = text;
    item.cchTextMax = MAX_PATH;
    if (!item.hItem || !SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return std::wstring();
    return text;
}

// The folder browser opens on the folder field's folder, so OK right away gives that folder back;
// Cancel leaves the field alone; a text too long for the browser's buffer is never cut into a path.
TEST_F(MainWindow, BrowseStartsAtTheFolderField) {
    // Under Wine the browser does not always find a folder below the user's Temp folder in its tree;
    // one in the drive root it finds.
    struct RootFolder {
        std::wstring path = L"C:\\ambrett-ui-browse-" + std::to_wstring(GetCurrentProcessId());
        RootFolder() { CreateDirectoryW(path.c_str(), nullptr); }
        ~RootFolder() { RemoveDirectoryW(path.c_str()); }
    } dir;
    const std::wstring tooLong = L"C:\\" + std::wstring(300, L'z');
    const struct {
        const char* what;
        std::wstring field;
        int button;
        std::wstring expected;  // empty: see below
    } cases[] = {
        {"OK", dir.path, IDOK, dir.path},
        {"Cancel", dir.path + L"\\nowhere", IDCANCEL, dir.path + L"\\nowhere"},
        {"too long for the browser", tooLong, IDOK, L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        open();
        setFolder(c.field);
        bool answered = false;
        std::thread person([&] {
            HWND browser = waitForWindow(L"Browse for Folder");
            if (!browser) return;
            // The callback selects the folder once the browser is ready; a person waits to see it.
            if (c.button == IDOK && !c.expected.empty()) {
                const std::wstring name = fileNameOf(c.expected);
                waitUntil([&] { return selectedTreeItem(browser) == name; });
            } else {
                Sleep(300);
            }
            pressButton(browser, c.button);
            answered = waitUntil([&] { return !IsWindowVisible(browser); });
        });
        command(IDC_BROWSE);
        person.join();
        EXPECT_TRUE(answered);
        const std::wstring now = controlText(hwnd_, IDC_FOLDER);
        if (!c.expected.empty()) {
            EXPECT_EQ(c.expected, now);
        } else {
            // Left as typed, or whatever the browser had selected instead; never the beginning of it.
            EXPECT_TRUE(now == c.field || (now.size() < MAX_PATH && c.field.compare(0, now.size(), now) != 0))
                << testing::PrintToString(now);
        }
        command(IDCANCEL);
        DestroyWindow(hwnd_);
    }
}

TEST(OpenFileBuffer, SingleFileOrFolderWithNames) {
    TempDir dir;
    const std::wstring file = dir / L"one.mp4";
    writeFile(file, "x");
    const std::wstring missing = dir / L"locked.mp4";
    struct Case {
        const char* what;
        std::wstring buffer;  // as the dialog fills it, zeros included
        size_t offset;
        Texts paths;
    };
    const std::wstring folderThenNames = L"D:\\in" + std::wstring(1, L'\0') + L"b.mp4" + std::wstring(1, L'\0') +
                                         L"a.mp4" + std::wstring(2, L'\0');
    const Case cases[] = {
        {"one readable file", file + std::wstring(2, L'\0'), dir.path().size() + 1, {file}},
        {"several files", folderThenNames, 6, {L"D:\\in\\b.mp4", L"D:\\in\\a.mp4"}},
        {"drive root", std::wstring(L"D:\\\0x.mp4\0y.mp4\0\0", 17), 4, {L"D:\\x.mp4", L"D:\\y.mp4"}},
        {"one file that cannot be read", missing + std::wstring(2, L'\0'), dir.path().size() + 1, {missing}},
        {"no names", std::wstring(L"D:\\in\0\0", 7), 6, {}},
        {"empty", std::wstring(2, L'\0'), 0, {}},
        {"last name without its end", std::wstring(L"D:\\in\0a.mp4\0bb", 14), 6, {L"D:\\in\\a.mp4"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.paths, selectedPaths(c.buffer.data(), c.buffer.size(), c.offset));
    }
}

}  // namespace
