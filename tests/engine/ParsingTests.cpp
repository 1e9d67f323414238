#include "ConvertCore.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ClockToSeconds, ReadsThreeFieldsRoundingToTheNearestSecond) {
    struct Case {
        std::string clock;
        int32_t seconds;
    };
    const Case cases[] = {
        {"00:03:25.47", 205},
        {"00:00:00.49", 0},
        {"00:00:00.50", 1},
        {"1:2:3", 3723},
        {"1::3", 3603},        // an empty field reads as 0
        {"1:2:3:", 3723},      // no fourth piece after a trailing colon
        {"01:02", 0},
        {"1:2:3:4", 0},
        {"1:2:3::", 0},        // four pieces, the last one empty
        {"", 0},
        {":", 0},
        {"ab:cd:ef", 0},
        {" 1:00:00", 3600},    // leading white space is skipped
        {"00: 01:\t02.5", 63}, // in every field
        {"0:0:1.5e1", 15},     // an exponent is part of the number
        {"0:0:7x", 7},         // reading stops at the first character that cannot continue
        {"0:0:inf", 0},        // no number words, no hexadecimal
        {"0:0:0x10", 0},
        {"00:00:05.00 bitrate=", 5},
        {"-1:00:00", -3599},   // the minus belongs to the hours only
        {"00:-01:30", -29},
        {"-00:00:00.02", 0},   // the tool's first, slightly negative time
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("\"" + c.clock + "\"");
        EXPECT_EQ(c.seconds, clockToSeconds(c.clock));
    }
}

TEST(ExtractDuration, TakesTheFirstDurationUpToItsComma) {
    struct Case {
        const char* name;
        std::string probe;
        uint32_t seconds;
    };
    const Case cases[] = {
        {"tool output",
         "Input #0, mov,mp4,m4a,3gp,3g2,mj2, from 'a.mp4':\n  Duration: 00:03:25.47, start: 0.000000, bitrate: 1 kb/s\n",
         205},
        {"empty", "", 0},
        {"no key", "Input #0, mov,mp4 from 'a.mp4':\n", 0},
        {"not available", "  Duration: N/A, bitrate: N/A\n", 0},
        {"two fields", "  Duration: 03:25, start: 0\n", 0},
        {"no comma after it", "a, b\n  Duration: 00:00:09.00\n", 0},
        {"only the first counts", "Duration: 00:00:10.00, x\nDuration: 00:00:20.00, y\n", 10},
        {"case matters", "duration: 00:00:10.00, x\n", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.seconds, extractDuration(c.probe));
    }
}

// An engine holding one job of the given duration, in hand as the worker would have it.
struct OneJob {
    explicit OneJob(uint32_t duration) {
        core.addJob(L"C:\\in\\a.mp4");
        core.jobs[0]->duration = duration;
        core.currentIndex = 0;
    }
    int32_t percent() const { return core.jobs[0]->percent; }
    ConvertCore core;
};

TEST(ParseProgress, SetsThePercentageOfTheFirstTimeInFinishedLines) {
    struct Case {
        const char* name;
        uint32_t duration;
        std::vector<std::string> chunks;
        int32_t percent;
    };
    const Case cases[] = {
        {"one line", 10, {"size=  1kB time=00:00:05.00 bitrate=1\r"}, 50},
        {"line feed ends a line too", 10, {"time=00:00:03.00 x\n"}, 30},
        {"truncated toward zero", 3, {"time=00:00:01.00 x\r"}, 33},
        {"chunk ending mid-line sets nothing", 10, {"time=00:00:05.00 bitra"}, 0},
        {"split line parsed with the next line end", 10, {"size= 1kB time=00:00:0", "4.00 bitrate=1\r"}, 40},
        {"oldest of several lines wins", 10, {"time=00:00:02.00 a\rtime=00:00:07.00 b\r"}, 20},
        {"zero duration drops everything", 0, {"time=00:00:05.00 x\r"}, 0},
        {"no space after the clock", 10, {"time=00:00:05.00\r"}, 0},
        {"rounds to zero sets nothing", 10, {"time=00:00:00.40 x\r"}, 0},
        {"beyond the duration stays at 100", 10, {"time=00:00:25.00 x\r"}, 100},
        {"negative hour is a huge count", 10, {"time=-1:00:00.00 x\r"}, 100},
        {"N/A", 10, {"size=N/A time=N/A bitrate=N/A\r"}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OneJob job(c.duration);
        for (const std::string& chunk : c.chunks) job.core.parseProgress(chunk);
        EXPECT_EQ(c.percent, job.percent());
    }
}

TEST(ParseProgress, ParsedOrUnusableTextIsNotCarriedIntoLaterLines) {
    OneJob job(10);
    job.core.parseProgress("time=00:00:00.20 x\r");  // rounds to 0: nothing set, buffer still emptied
    job.core.parseProgress("time=00:00:06.00 x\r");
    EXPECT_EQ(60, job.percent());
    job.core.parseProgress("no time here\n");
    job.core.parseProgress("time=00:00:08.00 x\r");
    EXPECT_EQ(80, job.percent());
}

TEST(ParseProgress, TextWithoutLineEndsIsBoundedKeepingTheNewest) {
    OneJob job(10);
    job.core.parseProgress("time=00:00:09.00 stale ");
    job.core.parseProgress(std::string(200 * 1024, 'x'));  // a tool that never ends its lines
    job.core.parseProgress(" time=00:00:03.00 x\r");
    EXPECT_EQ(30, job.percent());
}

TEST(ParseProgress, UsesTheJobInHandAndIgnoresAMissingOne) {
    ConvertCore core;
    core.addJob(L"C:\\a.mp4");
    core.addJob(L"C:\\b.mp4");
    core.jobs[0]->duration = 10;
    core.jobs[1]->duration = 20;
    core.currentIndex = 1;
    core.parseProgress("time=00:00:05.00 x\r");
    EXPECT_EQ(0, core.jobs[0]->percent);
    EXPECT_EQ(25, core.jobs[1]->percent);
    core.currentIndex = -1;
    core.parseProgress("time=00:00:10.00 x\r");  // no job in hand: no duration, nothing happens
    EXPECT_EQ(25, core.jobs[1]->percent);
}

}  // namespace
