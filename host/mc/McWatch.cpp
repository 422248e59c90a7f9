#include <mc/McWatch.h>

#include <chrono>

namespace {
McWatch::Clock& clockSlot() {
    static McWatch::Clock clock;
    return clock;
}
}  // namespace

double McWatch::now() {
    if (auto& clock = clockSlot()) return clock();
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void McWatch::setClock(Clock clock) { clockSlot() = std::move(clock); }

bool McWatch::isClockReplaced() { return static_cast<bool>(clockSlot()); }

void McWatch::start() {
    startTime = now();
    running = true;
}

double McWatch::stop() {
    stopped = getTime();
    running = false;
    return stopped;
}

double McWatch::getTime() const { return running ? now() - startTime : stopped; }

McManualClock::McManualClock() {
    McWatch::setClock([this] { return current; });
}

McManualClock::~McManualClock() { McWatch::setClock(nullptr); }
