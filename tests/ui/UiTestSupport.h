// Helpers for driving the real dialogs in-process, the way a person would: windows are found by their
// caption, texts are read from the controls, buttons are pressed with the command they send.
#pragma once

#include "ConvertCore.h"
#include "Globals.h"
#include "ImageButtons.h"
#include "TestFiles.h"
#include "VideoPreset.h"

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

constexpr DWORD patienceMs = 15000;  // generous: only a broken program ever waits this long

// A visible top-level window of this process whose caption is exactly `caption`, or null.
HWND findWindow(const wchar_t* caption);
// Waits up to timeoutMs for findWindow to find one.
HWND waitForWindow(const wchar_t* caption, DWORD timeoutMs = patienceMs);
// Polls a condition (from a helper thread or while pumping this thread's messages).
bool waitUntil(const std::function<bool()>& condition, DWORD timeoutMs = patienceMs);
void pumpMessages();
std::wstring windowText(HWND hwnd);
std::wstring controlText(HWND dialog, int id);
bool controlVisible(HWND dialog, int id);
// What a click on the button sends to its dialog.
void pressButton(HWND dialog, int id);

// Plays the user in front of the message boxes captioned "Ambrett" that appear while it lives: reads
// each text and presses the next of the given buttons (the last one again for further boxes).
class BoxAnswerer {
public:
    explicit BoxAnswerer(std::vector<int> buttons);
    ~BoxAnswerer();
    BoxAnswerer(const BoxAnswerer&) = delete;
    BoxAnswerer& operator=(const BoxAnswerer&) = delete;

    // Stops watching and gives the texts of the boxes answered, in order.
    std::vector<std::wstring> finish();

private:
    void watch();
    std::vector<int> buttons_;
    std::vector<std::wstring> texts_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// An engine whose conversions the test decides: an input is "converted" by writing its output, unless
// its file name is listed in `failing`. While `hold` is set, a conversion waits until it is let go or the
// run is stopped; after a stop it then outlives the progress window by `lingerMs`, as a converter that is
// slow to quit.
class TestCore : public ConvertCore {
public:
    TestCore();
    ~TestCore() override;

    bool convert(const std::wstring& input, const std::wstring& output) override;
    bool start() override;
    bool clearJobs() override;

    std::vector<std::wstring> failing;
    std::atomic<bool> hold{false};
    HANDLE release = nullptr;  // manual-reset event; set to let held conversions go
    DWORD lingerMs = 0;
    std::atomic<bool> startFails{false};
    std::atomic<bool> startRuns{true};  // false: start sets the state only, the test plays the worker
    std::atomic<int> inConvert{-1};     // index of the job inside convert, -1 when none
    std::atomic<int> starts{0};

    static TestCore* last;            // the engine the main window made most recently
    // Whether a worker was still running when the job list was last cleared, or an engine deleted.
    static bool workerAliveAtClear;
    static bool workerAliveAtDelete;
};

ConvertCore* makeTestCore();

// The product's provider and one with two presets, for the chooser.
extern Mp4Mp3 mp3Presets;
class TwoPresets : public VideoPreset {
public:
    TwoPresets();
    const wchar_t* extension() const override { return L"mp3"; }
};
extern TwoPresets twoPresets;

// The converter tool's place beside this test program.
std::wstring testCorePath();
void putCoreFile(bool present);

// Removes the settings key of every provider used here.
void removeSettingsKey();
