// A camera path from keyframes: copies of cameras with ascending times (seconds),
// interpolated into a flight. Owns its keyframe cameras and one camera metric.
#pragma once
#include <mc/McDArray.h>
#include <mc/McHandle.h>
#include <paths/VeVazaruPath.h>
#include <ports/HxPortTime.h>

#include <Inventor/SbBasic.h>

#include <cstddef>
#include <string>
#include <vector>

#include "VeVazaruMetric.h"

class SoCamera;
class SoInput;
class SoNode;
class SoSeparator;
class VornaMesh;

class HxKeyframeCameraPath : public VeVazaruPath {
    MC_HEADER(HxKeyframeCameraPath)

public:
    HxKeyframeCameraPath();
    // A path from a camera-path scene (see isCameraPath); its time range is set
    // to 0 .. duration.
    explicit HxKeyframeCameraPath(SoNode* sceneRoot);
    ~HxKeyframeCameraPath() override;

    // Keyframes and their settings.
    McDArray<McHandle<SoCamera>> cameras;
    McDArray<float> times;
    int splineAimPoint;
    int splineUpDir;
    int splinePosition;
    HxPortTime portTime;
    int keepAimDistance;
    int closed;
    int arcTableSegment;
    int rotationMode;
    McDArray<float> arcTable;
    McHandle<VeVazaruMetric> metric;

    // Inserts a copy of `camera` at `time`, keeping times ascending; a time within
    // 0.001 of an existing keyframe replaces that keyframe's camera instead.
    void addKeyframe(float time, SoCamera* camera);
    // Removes keyframe `index` (0 <= index < count; not checked).
    void removeKeyframe(int index);
    // Where addKeyframe(time, ...) puts its camera: the index of the keyframe it
    // replaces (`replaces` true) or the index the new keyframe gets.
    int keyframeSlot(float time, bool& replaces) const;
    // Moves keyframe `index` to `time`. False, with nothing changed, when the
    // index is out of range or the time is not strictly between its neighbours'.
    bool setKeyframeTime(int index, float time);
    // Replaces every keyframe (the cameras are taken, not copied); the arrays
    // must be of one length with ascending times.
    void setKeyframes(const McDArray<float>& newTimes, const McDArray<McHandle<SoCamera>>& newCameras);
    // Re-aims keyframes first..last (last < 0: the last keyframe) at `aim`. A range
    // reaching outside the keyframes is cut to them. False, with nothing changed,
    // when a keyframe would leave the float range (see placeCamera).
    bool setAimPoint(const SbVec3f& aim, int first, int last);
    // Gives keyframes first..last (last < 0: the last keyframe) the up direction
    // `up`. A range reaching outside the keyframes is cut to them. False, with
    // nothing changed, when a keyframe could not be placed.
    bool setUpDir(const SbVec3f& up, int first, int last);
    // Moves every keyframe along its line of sight to the mean distance of the
    // keyframes from `refPoint`.
    void equalDist(SbVec3f refPoint);
    void setMetric(VeVazaruMetric* newMetric);
    void copyData(const HxKeyframeCameraPath& source);

    // Camera-path operations.
    bool isClosed() const override;
    float getDuration() const override;
    float getTime(int k) const override;
    SoCamera* getCamera(float t) override;
    void getCamera(float t, SoCamera& camera) override;

    // The camera of segment i at local parameter u (0: keyframe i, 1: its successor).
    void interp(int i, float u, SoCamera* camera);

    // What the flight of segment i reads (see interp): the node ids of the
    // keyframe cameras it uses (before, start, end, after), which of them the
    // path has there, and the settings that shape the flight. Equal keys give
    // equal flights. Inventor gives a node a new id at every notifying change,
    // so a keyframe changed with its notification switched off goes unseen.
    struct SegmentKey {
        SbUniqueId cameras[4] = {0, 0, 0, 0};
        int used = 0;  // bit k: cameras[k] is read
        int blending = 0;
        int rotationMode = 0;
        bool operator==(const SegmentKey& other) const;
        bool operator!=(const SegmentKey& other) const { return !(*this == other); }
    };
    SegmentKey segmentKey(int i) const;

    // The local parameter of segment i at which the fraction u of its metric
    // length is reached. Each segment's table is filled once and kept until
    // update(); a kept table is taken again only while its segment reads the
    // same keyframes and settings under the same metric, so it answers as a
    // fresh fill would.
    float getRealTime(int i, float u);
    // Fills arcTable with the cumulative metric lengths of segment i.
    void fillPath(int i);

    // Replaces the keyframes by a flight of `angle` degrees (sign: direction) about
    // the coordinate axis nearest the camera's up direction, through its aim point,
    // in `steps` equal steps, the last at `duration` seconds. Steps below 1 count as 1.
    // False, with the path unchanged, when a keyframe would leave the float range.
    bool createCircularPath(const SoCamera* camera, float angle, float duration, int steps);
    // Re-times the keyframes so each segment's duration is proportional to its
    // metric length; first and last times stay. Needs at least three keyframes.
    void makeConstVelocity();

    // Files. A camera-path scene is one SoGroup per keyframe holding an SoInfo
    // (the time: "%f", with more decimals where six do not read back) and the
    // camera. A keyframe whose time or camera is not finite is never written: the
    // save fails instead. Readers and writers return 1 on success and 0 on
    // failure, as the host's format tables and load command expect. Every writer
    // replaces an existing file only after a complete, checked write.
    int write(const char* file, int keyframesOnly);
    int saveInventor(const char* file);
    int saveVornaMesh(const char* file, bool ascii, const char* codec, bool flagA, bool flagB);
    int saveVornaBinary(const char* file);
    int savePexilBinary(const char* file);
    int savePexilBrio(const char* file);
    int read(const char* file);
    // Reads a camera-path file's `size` bytes from memory, like read(); `fileName`
    // stands for the file in messages.
    int readBytes(const void* bytes, std::size_t size, const char* fileName = "(memory)");
    // Replaces the keyframes by those of the scene's groups; groups that are not
    // (info, camera) pairs are reported and left out (-1; 0 when all are taken).
    // A time or camera that is not finite is reported, naming `file` and the
    // keyframe, and refuses the scene: -2, the keyframes as they were.
    int setCameraPath(SoSeparator* sceneRoot, const char* file = nullptr);
    static int isCameraPath(SoNode* sceneRoot);
    // Readers the host calls: 1 on success (the new path is in the object pool), 0 on failure.
    static int readInventor(const char* file);
    static int readVornaMesh(VornaMesh* mesh, const char* file);
    int saveCreation(FILE* fp, const char* dataDir, unsigned int flags) override;

    // Script commands; argv[0] is the object's name.
    int parse(Tcl_Interp* interp, int argc, char** argv) override;
    // Keyframe sub-commands; argv[0] is the keyframe number.
    int cameraParse(Tcl_Interp* interp, int argc, char** argv);

    // Host callbacks.
    void info() override;
    void update() override;
    void compute() override;
    HxKeyframeCameraPath* duplicate() const override;

private:
    void initMembers();
    // The save formats offered for keyframe paths (HxKeyframeCameraPathFiles.cpp).
    static const HxSaveFormatInfo* keyframeSaveFormats();
    // `fileName` is the file named in messages.
    int readFrom(SoInput& in, const char* fileName);
    // The scene text of the keyframes (or of whole-second samples), as the
    // Inventor write action produces it.
    std::string sceneText(bool keyframesOnly);
    void clampRange(int& first, int& last) const;
    // Why the keyframes cannot be saved (a number that is not finite); empty if they can.
    std::string unsavable() const;
    // The segment holding t (rules of getCamera); a binary search when the
    // times are known to ascend, the defining linear scan otherwise.
    int segmentAt(float t);
    void forgetTimeOrder() { timeOrder = -1; }
    // Segment i's table into arcTable: the kept one if still valid, else a new fill, kept.
    void loadArcTable(int i);
    void forgetArcTables();

    // Whether `times` ascends: -1 not known yet, 0 no, 1 yes. Like the distance
    // table it is dropped by update(); code that writes `times` directly calls
    // update() afterwards.
    int timeOrder = -1;

    // The kept arc-length tables: a slot per segment (-1: none yet), and per
    // slot the key the table was filled under and its values.
    std::vector<int> arcTableSlot;
    std::vector<SegmentKey> arcTableKeys;
    std::vector<float> arcTableValues;
    McHandle<VeVazaruMetric> arcTableMetric;  // what the kept tables measured with
};
