// Output presets: which kind of file the program makes and the converter arguments for it.
#pragma once

#include <cstdint>
#include <string>

// One row of a preset table; a table ends with a row whose name is null.
struct PresetEntry {
    const wchar_t* name;
    const wchar_t* args;
};

class VideoPreset {
public:
    virtual ~VideoPreset() = default;

    // The output extension without the dot; static text, valid for the life of the process.
    virtual const wchar_t* extension() const = 0;

    int32_t presetCount() const;
    // Out-of-range indexes give an empty string, never an error.
    std::wstring presetName(int32_t index) const;
    std::wstring presetArgs(int32_t index) const;

    const PresetEntry* presetTable = nullptr;  // not owned: constant, static data
};

class AudioMp3 : public VideoPreset {};

class Mp4Mp3 : public AudioMp3 {
public:
    Mp4Mp3();
    const wchar_t* extension() const override;
};
