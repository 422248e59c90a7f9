// The files of a keyframe camera path: camera-path scenes (Inventor text) and
// data files holding such a scene.
#include "HxKeyframeCameraPath.h"

#include <hxcore/HxCmd.h>
#include <hxcore/HxMessage.h>
#include <mc/McSafeFile.h>

#include <Inventor/SoDB.h>
#include <Inventor/SoInput.h>
#include <Inventor/SoOutput.h>
#include <Inventor/actions/SoWriteAction.h>
#include <Inventor/nodes/SoGroup.h>
#include <Inventor/nodes/SoInfo.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/nodes/SoSeparator.h>
#include <vornamesh/VornaMesh.h>
#include <QCoreApplication>
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {
// The save formats offered for keyframe paths, in this order.
const HxSaveFormatInfo si[] = {
    {"Camerapath Inventor", "civ", static_cast<HxSaveFormatInfo::Writer>(&HxKeyframeCameraPath::saveInventor), nullptr,
     0},
    {"Vorna binary", "vm", static_cast<HxSaveFormatInfo::Writer>(&HxKeyframeCameraPath::saveVornaBinary), nullptr, 1},
    {"Pexil binary", "vm", static_cast<HxSaveFormatInfo::Writer>(&HxKeyframeCameraPath::savePexilBinary), nullptr, 1},
    {"Pexil Brio", "brio", static_cast<HxSaveFormatInfo::Writer>(&HxKeyframeCameraPath::savePexilBrio), nullptr, 1},
    {nullptr, nullptr, nullptr, nullptr, 0},
};
}  // namespace

const HxSaveFormatInfo* HxKeyframeCameraPath::keyframeSaveFormats() { return si; }

namespace {
const char* errorInCameraFile = "Error in Camerafile";

SoCamera* copyOf(const SoCamera* camera) { return static_cast<SoCamera*>(camera->copy(FALSE)); }

void printMessage(const char* text) {
    theMsg->printf("%s", qPrintable(QCoreApplication::translate("HxKeyframeCameraPath", text)));
}

// Growth of the write action's memory buffer.
void* growBuffer(void* buffer, size_t size) { return std::realloc(buffer, size); }

SoSeparator* readScene(SoInput& in) {
    SoSeparator* root = SoDB::readAll(&in);
    if (root) root->ref();
    return root;
}
}  // namespace

std::string HxKeyframeCameraPath::sceneText(bool keyframesOnly) {
    SoOutput out;
    void* buffer = std::malloc(64);
    out.setBuffer(buffer, 64, growBuffer, 0);
    SoWriteAction writer(&out);

    McHandle<SoInfo> info = new SoInfo;
    McHandle<SoGroup> group = new SoGroup;
    group->addChild(info);
    if (keyframesOnly) {
        for (int i = 0; i < cameras.size(); ++i) {
            info->string.setValue(cmdFixedText(times[i]).c_str());
            if (i == 0)
                group->addChild(cameras[i]);
            else
                group->replaceChild(1, cameras[i]);
            writer.apply(group);
        }
    } else {
        McHandle<SoCamera> sample = new SoPerspectiveCamera;
        group->addChild(sample);
        for (int k = 0;; ++k) {
            const float t = static_cast<float>(k);
            if (getDuration() < t) break;
            info->string.setValue(cmdFixedText(t).c_str());
            getCamera(t, *sample);
            writer.apply(group);
        }
    }

    void* written = nullptr;
    size_t size = 0;
    out.getBuffer(written, size);
    std::string scene(static_cast<const char*>(written), size);
    std::free(written);  // the output does not own a buffer handed to it
    return scene;
}

std::string HxKeyframeCameraPath::unsavable() const {
    for (int i = 0; i < cameras.size(); ++i) {
        if (!std::isfinite(times[i]) || !isFinite(cameras[i]))
            return "keyframe " + std::to_string(i) + " has numbers that are not finite";
    }
    return {};
}

int HxKeyframeCameraPath::write(const char* file, int keyframesOnly) {
    // Such a number would give a file that cannot be read back.
    if (const std::string problem = unsavable(); !problem.empty()) {
        theMsg->printf("%s: %s; not saved", file, problem.c_str());
        return 0;
    }
    const std::string scene = sceneText(keyframesOnly != 0);
    McSafeFile out(file);
    if (!out.write(scene) || !out.commit()) {
        const QByteArray what =
            QCoreApplication::translate("HxKeyframeCameraPath", "Couldn't write camera file").toLocal8Bit();
        errno = out.errorNumber();  // the reason ioError() adds
        theMsg->ioError(file, what.constData());
        return 0;
    }
    return 1;
}

int HxKeyframeCameraPath::saveInventor(const char* file) { return write(file, 1); }

int HxKeyframeCameraPath::saveVornaMesh(const char* file, bool ascii, const char* codec, bool flagA, bool flagB) {
    if (const std::string problem = unsavable(); !problem.empty()) {
        theMsg->printf("%s: %s; not saved", file, problem.c_str());
        return 0;
    }
    const std::string scene = sceneText(true);
    VornaMesh mesh;
    mesh.parameters = parameters;
    mesh.parameters.set("ContentType", "CameraPath", 0);
    mesh.parameters2 = parameters2;
    const int size = static_cast<int>(scene.size());
    mesh.insertLocation("CameraPath", 1, &size);
    VornaMesh::Data* data = mesh.insertData("CameraPath", "CameraPath", VornaMesh::Byte, 1, scene.data(), scene.size());
    if (data) VornaMesh::setCodec(*data, codec ? codec : "");
    const int result = data ? mesh.write(file, ascii, nullptr, flagA, flagB) : 0;
    if (result)
        setLoadCmd(file, false);
    else
        theMsg->printf("%s", mesh.lastError().c_str());
    return result;
}

int HxKeyframeCameraPath::saveVornaBinary(const char* file) { return saveVornaMesh(file, false, nullptr, true, false); }

int HxKeyframeCameraPath::savePexilBinary(const char* file) {
    return saveVornaMesh(file, false, nullptr, false, false);
}

int HxKeyframeCameraPath::savePexilBrio(const char* file) {
    return saveVornaMesh(file, false, "HxEncrypt", false, true);
}

int HxKeyframeCameraPath::isCameraPath(SoNode* sceneRoot) {
    if (!sceneRoot || !sceneRoot->isOfType(SoSeparator::getClassTypeId())) return 0;
    auto* root = static_cast<SoSeparator*>(sceneRoot);
    if (root->getNumChildren() < 1) return 0;
    for (int i = 0; i < root->getNumChildren(); ++i) {
        SoNode* child = root->getChild(i);
        if (!child->isOfType(SoGroup::getClassTypeId())) return 0;
        auto* group = static_cast<SoGroup*>(child);
        if (group->getNumChildren() != 2) return 0;
        if (!group->getChild(0)->isOfType(SoInfo::getClassTypeId())) return 0;
        if (!group->getChild(1)->isOfType(SoCamera::getClassTypeId())) return 0;
    }
    return 1;
}

namespace {
// The time an Info string holds: the number at its start, read as strtod reads
// it in the "C" locale (leading blanks skipped, anything after the number left,
// no number at all: 0). False when that number is not finite as a float.
bool timeOf(const char* text, float& time) {
    while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
    float value = 0;
    const std::from_chars_result read = cmdReadFloat(text, text + std::strlen(text), value);
    if (read.ec == std::errc::invalid_argument)
        value = 0;
    else if (read.ec != std::errc() || !std::isfinite(value))
        return false;
    time = value;
    return true;
}
}  // namespace

int HxKeyframeCameraPath::setCameraPath(SoSeparator* sceneRoot, const char* file) {
    McDArray<McHandle<SoCamera>> newCameras;
    McDArray<float> newTimes;
    bool allTaken = true;
    for (int i = 0; i < sceneRoot->getNumChildren(); ++i) {
        SoNode* child = sceneRoot->getChild(i);
        auto* group = child->isOfType(SoGroup::getClassTypeId()) ? static_cast<SoGroup*>(child) : nullptr;
        SoNode* info = group && group->getNumChildren() > 0 ? group->getChild(0) : nullptr;
        SoNode* camera = group && group->getNumChildren() > 1 ? group->getChild(1) : nullptr;
        // A group that is not an (info, camera) pair is reported and left out: its
        // nodes are never taken as a time or a keyframe camera.
        if (!info || !info->isOfType(SoInfo::getClassTypeId()) || !camera ||
            !camera->isOfType(SoCamera::getClassTypeId())) {
            printMessage(errorInCameraFile);
            allTaken = false;
            continue;
        }
        // A time or camera that is not finite refuses the whole scene: nothing of
        // it is taken.
        const char* timeText = static_cast<SoInfo*>(info)->string.getValue().getString();
        float time = 0;
        const char* problem = nullptr;
        if (!timeOf(timeText, time))
            problem = "its time is not a finite number";
        else if (!isFinite(static_cast<SoCamera*>(camera)))
            problem = "its camera has numbers that are not finite";
        if (problem) {
            theMsg->printf("%s: keyframe %d (time \"%s\"): %s; nothing read", file ? file : "camera path scene", i,
                           timeText, problem);
            return -2;
        }
        newCameras.append(copyOf(static_cast<SoCamera*>(camera)));
        newTimes.append(time);
    }
    cameras = std::move(newCameras);
    times = std::move(newTimes);
    forgetTimeOrder();
    arcTableSegment = -1;
    forgetArcTables();
    return allTaken ? 0 : -1;
}

int HxKeyframeCameraPath::read(const char* file) {
    SoInput in;
    if (!in.openFile(file, TRUE)) {
        std::fprintf(stderr, "Cannot open %s\n", file);
        return 0;
    }
    return readFrom(in, file);
}

int HxKeyframeCameraPath::readBytes(const void* bytes, std::size_t size, const char* fileName) {
    SoInput in;
    in.setBuffer(bytes, size);
    return readFrom(in, fileName);
}

int HxKeyframeCameraPath::readFrom(SoInput& in, const char* fileName) {
    SoSeparator* root = readScene(in);
    if (!root || !isCameraPath(root)) {
        std::fputs(errorInCameraFile, stderr);
        if (root) root->unref();
        return 0;
    }
    const int taken = setCameraPath(root, fileName);
    root->unref();
    return taken == -2 ? 0 : 1;
}

int HxKeyframeCameraPath::readInventor(const char* file) {
    auto* path = new HxKeyframeCameraPath;
    if (!path->read(file)) {
        deleteInstance(path);
        return 0;
    }
    HxData::registerData(path, file);
    return 1;
}

int HxKeyframeCameraPath::readVornaMesh(VornaMesh* mesh, const char* file) {
    const VornaMesh::Data* data = mesh ? mesh->findData("CameraPath", -1, 1, "CameraPath") : nullptr;
    const VornaMesh::Location* location = data ? mesh->findLocation("CameraPath") : nullptr;
    if (!data || data->values.empty() || !location) {
        theMsg->printf("Data has not been found in %s\n", file);
        return 0;
    }
    const size_t length = std::min<size_t>(static_cast<size_t>(location->nNodes()), data->values.size());
    SoInput in;
    in.setBuffer(data->values.data(), length);
    SoSeparator* root = readScene(in);
    if (!root || !isCameraPath(root)) {
        std::fputs(errorInCameraFile, stderr);
        if (root) root->unref();
        return 0;
    }
    auto* path = new HxKeyframeCameraPath;
    const int taken = path->setCameraPath(root, file);
    root->unref();
    if (taken == -2) {
        deleteInstance(path);
        return 0;
    }
    // The file carries the data object's parameters: they come back with it.
    path->parameters = mesh->parameters;
    path->parameters2 = mesh->parameters2;
    HxData::registerData(path, file);
    return 1;
}

int HxKeyframeCameraPath::saveCreation(FILE* fp, const char* dataDir, unsigned int flags) {
    if (cameras.size() >= 1) return HxData::saveCreation(fp, dataDir, flags);
    return HxObject::saveCreation(fp, dataDir, flags);
}
