#include "VideoPreset.h"

#include <gtest/gtest.h>

namespace {

// Providers other than the product's own: the table operations must serve every member alike.
class TableProvider : public VideoPreset {
public:
    explicit TableProvider(const PresetEntry* table) { presetTable = table; }
    const wchar_t* extension() const override { return L"wav"; }
};

const PresetEntry emptyTable[] = {{nullptr, nullptr}};
const PresetEntry twoPresets[] = {
    {L"Low", L"-b:a 96k"},
    {L"High", L"-b:a 320k"},
    {nullptr, nullptr},
};

TEST(Presets, Mp4Mp3HasTheSingleMp3Preset) {
    Mp4Mp3 provider;
    const VideoPreset& p = provider;
    EXPECT_STREQ(L"mp3", p.extension());
    EXPECT_EQ(1, p.presetCount());
    EXPECT_EQ(L"MP3", p.presetName(0));
    EXPECT_EQ(L"-acodec libmp3lame -b:a 160k -ac 2 -ar 44100", p.presetArgs(0));
}

TEST(Presets, IndexesOutsideTheTableGiveEmptyText) {
    Mp4Mp3 mp3;
    TableProvider none(nullptr);
    TableProvider empty(emptyTable);
    TableProvider two(twoPresets);
    struct Case {
        const char* what;
        const VideoPreset* provider;
        int32_t count;
    };
    const Case cases[] = {{"Mp4Mp3", &mp3, 1}, {"null table", &none, 0}, {"end row only", &empty, 0},
                          {"two presets", &two, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.count, c.provider->presetCount());
        for (int32_t index : {-1, c.count, c.count + 1, INT32_MIN, INT32_MAX}) {
            EXPECT_EQ(L"", c.provider->presetName(index)) << index;
            EXPECT_EQ(L"", c.provider->presetArgs(index)) << index;
        }
    }
}

TEST(Presets, RowsAreReadInTableOrder) {
    TableProvider two(twoPresets);
    EXPECT_EQ(L"Low", two.presetName(0));
    EXPECT_EQ(L"-b:a 96k", two.presetArgs(0));
    EXPECT_EQ(L"High", two.presetName(1));
    EXPECT_EQ(L"-b:a 320k", two.presetArgs(1));
}

}  // namespace
