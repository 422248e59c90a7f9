#include <hxcore/HxUndoHistory.h>
#include <hxcore/HxCmd.h>
#include <hxcore/HxData.h>
#include <hxcore/HxEditor.h>
#include <hxcore/HxInterpreter.h>
#include <hxcore/HxObject.h>
#include <hxcore/HxObjectPool.h>
#include <mc/McSafeFile.h>
#include <session/HxNetwork.h>
#include <viewer/HxCameraMath.h>
#include <viewer/HxController.h>
#include <viewer/HxViewer.h>

#include <Inventor/nodes/SoCamera.h>
#include <QDateTime>
#include <QFileInfo>
#include <string>
#include <tcl.h>

namespace {
// False (with the reason) when a viewer's camera has a number that is not
// finite: its line could not be sourced.
bool camerasFinite(std::string& error) {
    for (int id = 0; id < HxController::maxViewers; ++id) {
        HxViewer* viewer = theController->viewer(id, 0);
        if (viewer && !HxCameraMath::isFinite(viewer->getCamera())) {
            error = "the camera of viewer " + std::to_string(id) + " has numbers that are not finite";
            return false;
        }
    }
    return true;
}

void saveViewerCameras(FILE* fp) {
    for (int id = 0; id < HxController::maxViewers; ++id) {
        HxViewer* viewer = theController->viewer(id, 0);
        if (!viewer) continue;
        SoCamera* camera = viewer->getCamera();
        const SbVec3f p = camera->position.getValue(), aim = HxCameraMath::aimPoint(camera),
                      up = HxCameraMath::upDirection(camera);
        std::string line = "viewer " + std::to_string(id) + " setCamera";
        for (const SbVec3f* v : {&p, &aim, &up}) {
            if (v != &p) line += ' ';  // two blanks between the vectors
            for (int i = 0; i < 3; ++i) line += ' ' + cmdFloatText((*v)[i]);
        }
        std::fprintf(fp, "%s\n", line.c_str());
    }
}

int saveNetworkCmd(ClientData, Tcl_Interp* interp, int argc, const char** argv) {
    if (argc != 2) return cmdFail(interp, "usage: saveNetwork file.tcl");
    std::string error;
    if (!hxSaveNetwork(argv[1], error)) return cmdFail(interp, "saveNetwork: " + error);
    // Every path is in the network now: nothing is left unsaved.
    theUndoHistory->markSaved();
    theUndoHistory->setSessionFile(argv[1]);
    return TCL_OK;
}
}  // namespace

bool hxSaveNetwork(const std::string& file, std::string& error) {
    if (!camerasFinite(error)) return false;
    // The script and the data files beside it land together or not at all.
    McSafeFile::Batch batch;
    McSafeFile out(file);
    FILE* fp = out.stream();
    if (!fp) {
        error = out.error();
        return false;
    }
    const std::string dataDir = QFileInfo(QString::fromStdString(file)).absolutePath().toStdString();
    std::fprintf(fp, "# vorna network, saved %s\n",
                 QDateTime::currentDateTime().toString(Qt::ISODate).toUtf8().constData());
    for (const auto& object : theObjectPool->objects()) {
        if (object->saveCreation(fp, dataDir.c_str(), 0) != 0) {
            error = std::string("could not save object \"") + object->getName() + "\"";
            if (!batch.error().empty()) error += ": " + batch.error();
            return false;
        }
        if (object->getViewerMask() != 0xffff)
            std::fprintf(fp, "{%s} setViewerMask %d\n", object->getName(), object->getViewerMask());
        object->savePorts(fp);
    }
    // Editors take up their data again once every object is there.
    for (const auto& object : theObjectPool->objects()) {
        const auto* editor = mcinterface_cast<HxEditor>(object.ptr());
        if (editor && theObjectPool->contains(editor->getData()))
            std::fprintf(fp, "edit {%s}\n", editor->getData()->getName());
    }
    // Objects compute from their restored ports; the viewers' cameras come last
    // so that they end where they were.
    for (const auto& object : theObjectPool->objects()) std::fprintf(fp, "{%s} fire\n", object->getName());
    saveViewerCameras(fp);
    if (!out.commit() || !batch.commit()) {
        error = out.failed() ? out.error() : batch.error();
        return false;
    }
    return true;
}

void hxRegisterNetworkCommands() { theInterpreter->createCommand("saveNetwork", saveNetworkCmd); }
