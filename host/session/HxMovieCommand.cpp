// The "movie" script command: steps an object's time port over a range, fires
// the object after each step, renders a viewer and hands the frame to an
// encoder thread that writes a video file or one PNG per frame.
//
// Frames are numbered from 0 in the file names and in -first/-last; the
// progress line counts from 1 ("movie: frame 1 of 10" for file 0000).
#include <hxcore/HxCmd.h>
#include <hxcore/HxInterpreter.h>
#include <hxcore/HxMessage.h>
#include <hxcore/HxObject.h>
#include <hxcore/HxObjectPool.h>
#include <mc/McHandle.h>
#include <mc/McWatch.h>
#include <paths/VeVazaruPath.h>
#include <ports/HxPortTime.h>
#include <session/HxMovieCommand.h>
#include <viewer/HxController.h>
#include <viewer/HxMovieWriter.h>
#include <viewer/HxOffscreenContext.h>
#include <viewer/HxViewer.h>

#include <Inventor/nodes/SoCamera.h>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <tcl.h>
#include <utility>
#include <vector>

namespace {
HxMovieCommand::Progress& progressSlot() {
    static HxMovieCommand::Progress slot;
    return slot;
}

std::string& progressLineSlot() {
    static std::string line;
    return line;
}

// "movie: frame 7 of 100", and after the first frame the rate since then and
// the time it gives for the rest: ", 2.5 fps, 0:34 left".
std::string describeProgress(long frame, long frames, int done, int total, double seconds) {
    std::string line = "movie: frame " + std::to_string(frame + 1) + " of " + std::to_string(frames);
    if (done < 2 || seconds <= 0) return line;
    const double fps = (done - 1) / seconds;
    char rate[32];
    const auto end = std::to_chars(rate, rate + sizeof rate, fps, std::chars_format::fixed, 1).ptr;
    const long left = std::lround((total - done) / fps);
    char rest[48];
    std::snprintf(rest, sizeof rest, " fps, %ld:%02ld left", left / 60, left % 60);
    return line + ", " + std::string(rate, end) + rest;
}

// Seconds between progress lines where they cannot be updated in place.
constexpr double progressInterval = 3.0;

const char* const movieUsage =
    "usage: movie -object name [-port time] -viewer n -frames k [-range a b] [-first i -last j] -size w h "
    "[-samples n] [-fps f] [-quality q] [-compression c] [-overwrite] -out file.mp4|file.webm|file.gif|pattern%04d.png";

int usageError(Tcl_Interp* interp, const std::string& reason) {
    const std::string text = "movie: " + reason + "; " + movieUsage;
    Tcl_SetObjResult(interp, Tcl_NewStringObj(text.c_str(), -1));
    return TCL_ERROR;
}

struct MovieOptions {
    std::string object, port = "time", out;
    long viewer = -1, frames = 0, first = -1, last = -1, width = 0, height = 0;
    long fps = 25, quality = 80, compression = 1, samples = 4;
    bool hasRange = false, overwrite = false;
    float from = 0, to = 0;
};

// Reads the options; an empty string when they are complete and well-formed,
// otherwise what is wrong.
std::string readOptions(int argc, const char** argv, MovieOptions& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        auto needs = [&](int n) { return i + n < argc; };
        if (option == "-object" && needs(1)) {
            o.object = argv[++i];
        } else if (option == "-port" && needs(1)) {
            o.port = argv[++i];
        } else if (option == "-out" && needs(1)) {
            o.out = argv[++i];
        } else if (option == "-viewer" && needs(1)) {
            if (!parseLong(argv[++i], o.viewer) || o.viewer < 0 || o.viewer >= HxController::maxViewers)
                return "-viewer needs a viewer number from 0 to 15";
        } else if (option == "-frames" && needs(1)) {
            if (!parseLong(argv[++i], o.frames) || o.frames < 1 || o.frames > 1000000)
                return "-frames needs a whole number from 1 to 1000000";
        } else if ((option == "-first" || option == "-last") && needs(1)) {
            long& value = option == "-first" ? o.first : o.last;
            if (!parseLong(argv[++i], value) || value < 0) return option + " needs a frame number from 0";
        } else if (option == "-range" && needs(2)) {
            if (!parseFloat(argv[i + 1], o.from) || !parseFloat(argv[i + 2], o.to)) return "-range needs two numbers";
            o.hasRange = true;
            i += 2;
        } else if (option == "-size" && needs(2)) {
            if (!parseLong(argv[i + 1], o.width) || !parseLong(argv[i + 2], o.height) || o.width < 1 || o.height < 1 ||
                o.width > 32767 || o.height > 32767)
                return "-size needs a width and a height from 1 to 32767";
            i += 2;
        } else if (option == "-overwrite") {
            o.overwrite = true;
        } else if (option == "-samples" && needs(1)) {
            if (!parseLong(argv[++i], o.samples) ||
                (o.samples != 1 && o.samples != 2 && o.samples != 4 && o.samples != 8))
                return "-samples needs 1, 2, 4 or 8";
        } else if (option == "-fps" && needs(1)) {
            if (!parseLong(argv[++i], o.fps) || o.fps < 1 || o.fps > 240)
                return "-fps needs a whole number from 1 to 240";
        } else if (option == "-quality" && needs(1)) {
            if (!parseLong(argv[++i], o.quality) || o.quality < 0 || o.quality > 100)
                return "-quality needs a whole number from 0 to 100";
        } else if (option == "-compression" && needs(1)) {
            if (!parseLong(argv[++i], o.compression) || o.compression < 0 || o.compression > 9)
                return "-compression needs a whole number from 0 to 9";
        } else if (option.size() > 1 && option[0] == '-') {
            const bool known = option == "-object" || option == "-port" || option == "-out" || option == "-viewer" ||
                               option == "-frames" || option == "-first" || option == "-last" || option == "-range" ||
                               option == "-size" || option == "-samples" || option == "-fps" || option == "-quality" ||
                               option == "-compression";
            return known ? option + " is missing its value" : "unknown option \"" + option + "\"";
        } else {
            return "unexpected argument \"" + option + "\"";
        }
    }
    if (o.object.empty()) return "-object is required";
    if (o.viewer < 0) return "-viewer is required";
    if (o.frames < 1) return "-frames is required";
    if (o.width < 1) return "-size is required";
    if (o.out.empty()) return "-out is required";
    if ((o.first < 0) != (o.last < 0)) return "-first and -last go together";
    if (o.first < 0) {
        o.first = 0;
        o.last = o.frames - 1;
    }
    if (o.first > o.last || o.last >= o.frames) return "-first and -last must satisfy 0 <= first <= last < frames";
    return {};
}

// Every viewer's camera, to be put back when the movie ends.
struct SavedCamera {
    int id;
    HxViewer* viewer;
    McHandle<SoCamera> camera;
};

std::vector<SavedCamera> saveCameras() {
    std::vector<SavedCamera> saved;
    for (int id = 0; id < HxController::maxViewers; ++id)
        if (HxViewer* viewer = theController->viewer(id, 0))
            saved.push_back({id, viewer, static_cast<SoCamera*>(viewer->getCamera()->copy(FALSE))});
    return saved;
}

// Viewers removed meanwhile are left out.
void restoreCameras(const std::vector<SavedCamera>& saved) {
    for (const SavedCamera& s : saved)
        if (theController->viewer(s.id, 0) == s.viewer) s.viewer->getCamera()->copyFieldValues(s.camera);
}

int stopMovie(Tcl_Interp* interp, const std::string& text) {
    theMsg->printf("%s", text.c_str());
    Tcl_SetObjResult(interp, Tcl_NewStringObj(text.c_str(), -1));
    return TCL_ERROR;
}

int movieCmd(ClientData, Tcl_Interp* interp, int argc, const char** argv) {
    MovieOptions o;
    const std::string wrong = readOptions(argc, argv, o);
    if (!wrong.empty()) return usageError(interp, wrong);
    HxFramePattern pattern;
    if (!HxMovieWriter::isVideo(o.out) && !pattern.parse(o.out))
        return usageError(interp,
                          "-out needs a video name (.mp4, .webm, .gif) or a pattern with one frame number, "
                          "like frame%04d.png");
    // Held: the object's update and the progress report may run event handlers
    // ("after" scripts, the window's events) that remove it.
    McHandle<HxObject> object = theObjectPool->find(o.object.c_str());
    if (!object) return usageError(interp, "no object named \"" + o.object + "\"");
    auto* port = dynamic_cast<HxPortTime*>(object->getPort(o.port.c_str()));
    if (!port) return usageError(interp, "\"" + o.object + "\" has no time port \"" + o.port + "\"");

    // Without GL the first frame says so.
    // The viewers keep each side to 16384 too.
    const long largest = std::min(HxOffscreenContext::maxImageSize(), 16384);
    if (largest > 0 && (o.width > largest || o.height > largest)) {
        const std::string text = "movie: -size " + std::to_string(o.width) + " x " + std::to_string(o.height) +
                                 " is larger than the GL can render, " + std::to_string(largest) + " x " +
                                 std::to_string(largest) + " at most";
        Tcl_SetObjResult(interp, Tcl_NewStringObj(text.c_str(), -1));
        return TCL_ERROR;
    }
    // A PNG sequence beside frames of an earlier, longer one would mix them.
    std::vector<std::string> surplus;
    if (!HxMovieWriter::isVideo(o.out)) surplus = pattern.filesFrom(o.frames);
    if (!surplus.empty() && !o.overwrite) {
        const std::string text = "movie: \"" + surplus.front() + "\" and " + std::to_string(surplus.size() - 1) +
                                 " more frames of this pattern lie beyond the new " + std::to_string(o.frames) +
                                 "; -overwrite removes them";
        Tcl_SetObjResult(interp, Tcl_NewStringObj(text.c_str(), -1));
        return TCL_ERROR;
    }
    const std::filesystem::path folder = std::filesystem::path(o.out).parent_path();
    std::error_code made;
    if (!folder.empty() && !std::filesystem::exists(folder, made) &&
        !std::filesystem::create_directories(folder, made)) {
        const std::string text = "movie: cannot create the folder \"" + folder.string() + "\": " + made.message();
        Tcl_SetObjResult(interp, Tcl_NewStringObj(text.c_str(), -1));
        return TCL_ERROR;
    }
    HxMovieSettings settings;
    settings.width = static_cast<int>(o.width);
    settings.height = static_cast<int>(o.height);
    settings.fps = static_cast<int>(o.fps);
    settings.quality = static_cast<int>(o.quality);
    settings.compression = static_cast<int>(o.compression);
    std::string error;
    std::unique_ptr<HxMovieWriter> writer = HxMovieWriter::open(o.out, settings, error);
    if (!writer) {
        const std::string text = "movie: " + error;
        Tcl_SetObjResult(interp, Tcl_NewStringObj(text.c_str(), -1));
        return TCL_ERROR;
    }
    HxMovieEncoder encoder(std::move(writer));

    float from = o.from, to = o.to;
    if (!o.hasRange) port->getMinMax(from, to);
    // A closed path's end is its start again: over its whole range the last
    // frame stops one step short, so the movie loops without a repeated frame.
    const auto* path = dynamic_cast<const VeVazaruPath*>(object.ptr());
    const bool loop = !o.hasRange && path && path->isClosed();
    const double steps = loop ? double(o.frames) : double(o.frames - 1);
    HxViewer* viewer = theController->viewer(static_cast<int>(o.viewer), 1);
    const SbVec2s oldSize = viewer->getSize();
    const int oldSamples = viewer->getAskedSamples();
    viewer->setSize(static_cast<int>(o.width), static_cast<int>(o.height));
    viewer->setSamples(static_cast<int>(o.samples));
    if (viewer->getSamples() < o.samples)
        theMsg->printf("movie: %d samples per pixel, the most the GL allows", viewer->getSamples());
    // Such handlers may also take the port or the viewers away: everything is
    // looked up again after them. Empty while all is in place, else why not.
    const int viewerId = static_cast<int>(o.viewer);
    auto gone = [&]() -> std::string {
        if (!theObjectPool->contains(object)) return "\"" + o.object + "\" was removed";
        if (object->getPort(o.port.c_str()) != port) return "its port \"" + o.port + "\" was removed";
        if (theController->viewer(viewerId, 0) != viewer) return "viewer " + std::to_string(viewerId) + " was removed";
        return {};
    };
    // The movie leaves the session as it found it: the port at its time (the
    // object computed there again) and every viewer's camera where it was.
    const float userTime = port->getValue();
    const std::vector<SavedCamera> cameras = saveCameras();
    int result = TCL_OK;
    // A copy: the report may replace the installed one while it runs.
    const HxMovieCommand::Progress report = HxMovieCommand::progress();
    const int total = static_cast<int>(o.last - o.first + 1);
    double firstDone = 0, lastShown = 0;
    progressLineSlot().clear();
    for (long frame = o.first; frame <= o.last; ++frame) {
        std::string reason = gone();
        if (reason.empty()) {
            const double fraction = steps > 0 ? double(frame) / steps : 0.0;
            port->setValue(static_cast<float>(from + (double(to) - double(from)) * fraction));
            object->fire();
            reason = gone();
        }
        if (!reason.empty()) {
            const long done = frame - o.first;
            result = stopMovie(interp, "movie: stopped after " + std::to_string(done) + " of " + std::to_string(total) +
                                           " frames: " + reason);
            break;
        }
        std::vector<unsigned char> pixels;
        if (!viewer->renderPixels(pixels, error) || !encoder.push(frame, std::move(pixels))) {
            const std::string text =
                "movie: " + (error.empty() ? encoder.error() : "frame " + std::to_string(frame) + ": " + error);
            Tcl_SetObjResult(interp, Tcl_NewStringObj(text.c_str(), -1));
            result = TCL_ERROR;
            break;
        }
        const int done = static_cast<int>(frame - o.first + 1);
        const double now = McWatch::now();
        if (done == 1) firstDone = now;
        progressLineSlot() = describeProgress(frame, o.frames, done, total, now - firstDone);
        if (done == 1 || done == total || theMsg->isLiveTerminal() || now - lastShown >= progressInterval) {
            theMsg->progress(progressLineSlot(), done == total);
            lastShown = now;
        }
        if (report && !report(done, total) && done < total) {
            const std::string text =
                "movie: cancelled after " + std::to_string(done) + " of " + std::to_string(total) + " frames";
            theMsg->printf("%s", text.c_str());
            Tcl_SetObjResult(interp, Tcl_NewStringObj(text.c_str(), -1));
            // Reported here already: a console does not show it again as an error.
            Tcl_SetErrorCode(interp, "VORNA", "CANCELLED", nullptr);
            result = TCL_ERROR;
            break;
        }
    }
    // A stopped video is discarded (the encoder's destructor); PNG frames
    // already rendered are still written.
    if ((result == TCL_OK || !HxMovieWriter::isVideo(o.out)) && !encoder.finish() && result == TCL_OK) {
        const std::string text = "movie: " + encoder.error();
        Tcl_SetObjResult(interp, Tcl_NewStringObj(text.c_str(), -1));
        result = TCL_ERROR;
    }
    if (result == TCL_OK) {
        for (const std::string& file : surplus) std::remove(file.c_str());
    }
    if (theController->viewer(viewerId, 0) == viewer) {
        viewer->setSize(oldSize);
        viewer->setSamples(oldSamples);
    }
    if (gone().empty()) {
        port->setValue(userTime);
        object->fire();
    }
    restoreCameras(cameras);
    return result;
}
}  // namespace

void HxMovieCommand::setProgress(Progress progress) { progressSlot() = std::move(progress); }

const HxMovieCommand::Progress& HxMovieCommand::progress() { return progressSlot(); }

const std::string& HxMovieCommand::progressLine() { return progressLineSlot(); }

void hxRegisterMovieCommand() { theInterpreter->createCommand("movie", movieCmd); }
