#include "VideoPreset.h"

namespace {

const PresetEntry mp4Mp3Table[] = {
    {L"MP3", L"-acodec libmp3lame -b:a 160k -ac 2 -ar 44100"},
    {nullptr, nullptr},
};

}  // namespace

int32_t VideoPreset::presetCount() const {
    if (!presetTable) return 0;
    int32_t n = 0;
    while (presetTable[n].name) ++n;
    return n;
}

std::wstring VideoPreset::presetName(int32_t index) const {
    if (!presetTable) return std::wstring();
    for (int32_t i = 0; presetTable[i].name; ++i)
        if (i == index) return presetTable[i].name;
    return std::wstring();
}

std::wstring VideoPreset::presetArgs(int32_t index) const {
    if (!presetTable) return std::wstring();
    for (int32_t i = 0; presetTable[i].name; ++i)
        if (i == index) return presetTable[i].args ? presetTable[i].args : L"";
    return std::wstring();
}

Mp4Mp3::Mp4Mp3() { presetTable = mp4Mp3Table; }

const wchar_t* Mp4Mp3::extension() const { return L"mp3"; }
