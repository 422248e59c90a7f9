// McWatch driven by a manual clock: time moves only when the test says so.
#include <mc/McWatch.h>

#include <gtest/gtest.h>

namespace {

TEST(McWatch, measuresTheTimeSinceStart) {
    McManualClock clock;
    clock.advance(100.0);  // the watch must not count from the clock's zero
    McWatch watch;
    watch.start();
    EXPECT_TRUE(watch.isRunning());
    EXPECT_DOUBLE_EQ(watch.getTime(), 0.0);
    clock.advance(1.5);
    EXPECT_DOUBLE_EQ(watch.getTime(), 1.5);
    clock.advance(0.25);
    EXPECT_DOUBLE_EQ(watch.getTime(), 1.75);
}

TEST(McWatch, stopFreezesTheTime) {
    McManualClock clock;
    McWatch watch;
    watch.start();
    clock.advance(2.0);
    EXPECT_DOUBLE_EQ(watch.stop(), 2.0);
    EXPECT_FALSE(watch.isRunning());
    clock.advance(5.0);
    EXPECT_DOUBLE_EQ(watch.getTime(), 2.0);
}

TEST(McWatch, restartCountsFromTheNewStart) {
    McManualClock clock;
    McWatch watch;
    watch.start();
    clock.advance(3.0);
    watch.stop();
    clock.advance(10.0);
    watch.start();
    clock.advance(0.5);
    EXPECT_DOUBLE_EQ(watch.getTime(), 0.5);
}

TEST(McWatch, unstartedWatchReadsZero) {
    McManualClock clock;
    McWatch watch;
    clock.advance(4.0);
    EXPECT_FALSE(watch.isRunning());
    EXPECT_DOUBLE_EQ(watch.getTime(), 0.0);
}

TEST(McWatch, everyWatchFollowsTheSameClock) {
    McManualClock clock;
    McWatch first, second;
    first.start();
    clock.advance(1.0);
    second.start();
    clock.advance(2.0);
    EXPECT_DOUBLE_EQ(first.getTime(), 3.0);
    EXPECT_DOUBLE_EQ(second.getTime(), 2.0);
    EXPECT_DOUBLE_EQ(McWatch::now(), clock.time());
}

TEST(McWatch, customClockIsUsedUntilReset) {
    double t = 42.0;
    McWatch::setClock([&t] { return t; });
    EXPECT_DOUBLE_EQ(McWatch::now(), 42.0);
    McWatch watch;
    watch.start();
    t = 50.0;
    EXPECT_DOUBLE_EQ(watch.stop(), 8.0);
    McWatch::setClock(nullptr);
}

TEST(McWatch, manualClockRestoresTheSystemClock) {
    {
        McManualClock clock;
        clock.advance(-1000.0);
        EXPECT_DOUBLE_EQ(McWatch::now(), -1000.0);
    }
    // The steady system clock counts from an epoch in the past: never negative.
    EXPECT_GE(McWatch::now(), 0.0);
}

}  // namespace
