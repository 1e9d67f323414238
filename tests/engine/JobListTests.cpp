#include "ConvertCore.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

long msSince(Clock::time_point t0) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count());
}

TEST(JobList, DuplicatesAreRefusedByExactCaseSensitiveKey) {
    struct Case {
        const wchar_t* path;
        bool added;
    };
    const Case cases[] = {
        {L"D:\\music\\song.mp4", true},
        {L"D:\\music\\song.mp4", false},   // exact duplicate
        {L"D:\\music\\Song.mp4", true},    // differs in case only: another key
        {L"D:/music/song.mp4", true},      // same file named another way: another key
        {L"D:\\music\\song.mp4 ", true},   // trailing blank counts
        {L"D:\\music\\song", true},        // proper prefix of an existing key
        {L"D:\\music\\song", false},
    };
    ConvertCore core;
    ASSERT_TRUE(core.init());
    size_t expected = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "path " << testing::PrintToString(std::wstring(c.path)));
        EXPECT_EQ(c.added, core.addJob(c.path));
        if (c.added) ++expected;
        EXPECT_EQ(expected, core.jobs.size());
        EXPECT_TRUE(core.hasJob(c.path));
    }
    for (size_t i = 0; i < core.jobs.size(); ++i) {
        EXPECT_EQ(static_cast<int32_t>(i), core.jobs[i]->index);
        EXPECT_EQ(0, core.jobs[i]->percent);
        EXPECT_EQ(0u, core.jobs[i]->duration);
        EXPECT_TRUE(core.jobs[i]->outputPath.empty());
    }
    EXPECT_EQ(L"D:\\music\\Song.mp4", core.jobs[1]->inputPath);
}

TEST(JobList, ClearJobsEmptiesAndRenumbersFromZero) {
    ConvertCore core;
    core.addJob(L"a.mp4");
    core.addJob(L"b.mp4");
    core.state = Completed;
    EXPECT_TRUE(core.clearJobs());
    EXPECT_TRUE(core.jobs.empty());
    EXPECT_TRUE(core.jobIndex.empty());
    EXPECT_EQ(-1, core.currentIndex);
    EXPECT_EQ(Completed, core.state);  // the state is left alone

    EXPECT_TRUE(core.addJob(L"b.mp4"));  // no longer a duplicate
    EXPECT_TRUE(core.addJob(L"c.mp4"));
    ASSERT_EQ(2u, core.jobs.size());
    EXPECT_EQ(0, core.jobs[0]->index);
    EXPECT_EQ(L"b.mp4", core.jobs[0]->inputPath);
    EXPECT_EQ(1, core.jobs[1]->index);
}

TEST(JobList, SetJobPercentClampsAndIgnoresOutOfRange) {
    struct Case {
        int32_t index;
        int32_t percent;
        int32_t expect0, expect1;
    };
    const Case cases[] = {
        {0, 42, 42, 0},  {1, -5, 0, 0},    {1, 250, 0, 100}, {0, 100, 100, 0},
        {-1, 50, 0, 0},  {2, 50, 0, 0},    {INT32_MIN, 7, 0, 0}, {INT32_MAX, 7, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "index " << c.index << " percent " << c.percent);
        ConvertCore core;
        core.addJob(L"x.mp4");
        core.addJob(L"y.mp4");
        core.setJobPercent(c.index, c.percent);
        EXPECT_EQ(c.expect0, core.jobs[0]->percent);
        EXPECT_EQ(c.expect1, core.jobs[1]->percent);
    }
}

TEST(JobList, CountCompletedCountsOnlyExactlyHundred) {
    ConvertCore core;
    EXPECT_EQ(0, core.countCompleted());
    for (const wchar_t* p : {L"1.mp4", L"2.mp4", L"3.mp4", L"4.mp4"}) core.addJob(p);
    core.setJobPercent(0, 100);
    core.setJobPercent(1, 99);
    core.setJobPercent(2, 300);  // clamped to 100
    EXPECT_EQ(2, core.countCompleted());
}

TEST(JobList, GetCurrentJobWithoutCurrentJobLeavesRecordUntouched) {
    ConvertCore core;
    ConvertJob record;
    record.index = 77;
    record.inputPath = L"sentinel";
    EXPECT_FALSE(core.getCurrentJob(record));  // right after construction
    core.addJob(L"a.mp4");
    EXPECT_FALSE(core.getCurrentJob(record));  // jobs, but no run
    core.currentIndex = 0;
    core.jobs[0]->duration = 205;
    ASSERT_TRUE(core.getCurrentJob(record));
    EXPECT_EQ(0, record.index);
    EXPECT_EQ(L"a.mp4", record.inputPath);
    EXPECT_EQ(205u, record.duration);
    core.clearJobs();
    record.inputPath = L"sentinel";
    EXPECT_FALSE(core.getCurrentJob(record));  // after clearJobs
    EXPECT_EQ(L"sentinel", record.inputPath);
}

TEST(RequestStop, ReturnsEarlyOnlyWhenTheRunHasEnded) {
    // Idle: nothing can end the run, so the full second is waited and the state kept.
    {
        ConvertCore core;
        auto t0 = Clock::now();
        core.requestStop();
        long ms = msSince(t0);
        EXPECT_GE(ms, 950);
        EXPECT_LT(ms, 2500);
        EXPECT_EQ(Idle, core.state);
    }
    // Completed: the first check, after 100 ms, ends the wait; the state stays.
    {
        ConvertCore core;
        core.state = Completed;
        auto t0 = Clock::now();
        core.requestStop();
        long ms = msSince(t0);
        EXPECT_GE(ms, 90);
        EXPECT_LT(ms, 700);
        EXPECT_EQ(Completed, core.state);
    }
}

}  // namespace
