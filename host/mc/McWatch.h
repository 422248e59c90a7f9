// Stopwatch in seconds. Its clock can be replaced, so tests drive time by hand.
#pragma once
#include <functional>

class McWatch {
public:
    using Clock = std::function<double()>;  // seconds, monotonic

    void start();
    // Seconds since start(), or the frozen value after stop().
    double stop();
    double getTime() const;
    bool isRunning() const { return running; }

    // Replaces the clock of every watch (null restores the steady system clock).
    static void setClock(Clock clock);
    // Whether a clock other than the system's is in place.
    static bool isClockReplaced();
    static double now();

private:
    double startTime = 0;
    double stopped = 0;
    bool running = false;
};

// A clock for tests: time moves only when advance() is called.
class McManualClock {
public:
    McManualClock();   // installs itself as the clock of every McWatch
    ~McManualClock();  // restores the system clock
    McManualClock(const McManualClock&) = delete;
    McManualClock& operator=(const McManualClock&) = delete;
    void advance(double seconds) { current += seconds; }
    double time() const { return current; }

private:
    double current = 0;
};
