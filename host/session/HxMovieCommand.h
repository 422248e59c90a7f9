// The "movie" script command's progress report, for programs that show it
// (the window's progress dialog). The command itself is registered at session
// start (HxSession::start).
#pragma once
#include <functional>
#include <string>

class HxMovieCommand {
public:
    // Called after each frame written: `done` frames of the `total` that this
    // run writes (from -first to -last). Returning false cancels the movie:
    // the command stops, says so on the console and fails (after the last
    // frame there is nothing left to cancel). Empty: no report.
    using Progress = std::function<bool(int done, int total)>;
    static void setProgress(Progress progress);
    static const Progress& progress();
    // The latest progress line ("movie: frame 7 of 100, 2.5 fps, 0:34 left"),
    // for a report to show; empty before the first frame.
    static const std::string& progressLine();
};
