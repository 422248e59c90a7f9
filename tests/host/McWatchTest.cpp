// McWatch driven by a manual clock: time moves only when the test says so.
#include <mc/McWatch.h>

#include <gtest/gtest.h>

namespace {

TEST(McWatch, measuresStopsAndRestartsWithTheManualClock) {
    McManualClock clock;
    clock.advance(100.0);  // the watch must not count from the clock's zero
    McWatch watch, second;
    EXPECT_DOUBLE_EQ(watch.getTime(), 0.0) << "not started";
    watch.start();
    EXPECT_TRUE(watch.isRunning());
    clock.advance(1.5);
    second.start();
    EXPECT_DOUBLE_EQ(watch.getTime(), 1.5);
    clock.advance(0.5);
    EXPECT_DOUBLE_EQ(watch.stop(), 2.0);
    EXPECT_DOUBLE_EQ(second.getTime(), 0.5);
    EXPECT_FALSE(watch.isRunning());
    clock.advance(5.0);
    EXPECT_DOUBLE_EQ(watch.getTime(), 2.0);
    watch.start();
    clock.advance(0.25);
    EXPECT_DOUBLE_EQ(watch.getTime(), 0.25);
    EXPECT_DOUBLE_EQ(McWatch::now(), clock.time());
}

TEST(McWatch, customClockAndManualClockRestoreTheSystemClock) {
    double t = 42.0;
    McWatch::setClock([&t] { return t; });
    McWatch watch;
    watch.start();
    t = 50.0;
    EXPECT_DOUBLE_EQ(watch.stop(), 8.0);
    McWatch::setClock(nullptr);
    {
        McManualClock clock;
        clock.advance(-1000.0);
        EXPECT_DOUBLE_EQ(McWatch::now(), -1000.0);
    }
    EXPECT_GE(McWatch::now(), 0.0) << "the steady clock is back";
}

}  // namespace
