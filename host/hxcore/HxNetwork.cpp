#include <hxcore/HxCmd.h>
#include <hxcore/HxInterpreter.h>
#include <hxcore/HxNetwork.h>
#include <hxcore/HxObject.h>
#include <hxcore/HxObjectPool.h>
#include <mc/McSafeFile.h>
#include <paths/VeVazaruPath.h>
#include <viewer/HxController.h>
#include <viewer/HxViewer.h>

#include <Inventor/nodes/SoCamera.h>
#include <QDateTime>
#include <QFileInfo>
#include <tcl.h>

namespace {
void saveViewerCameras(FILE* fp) {
    for (int id = 0; id < HxController::maxViewers; ++id) {
        HxViewer* viewer = theController->viewer(id, 0);
        if (!viewer) continue;
        SoCamera* camera = viewer->getCamera();
        SbVec3f p = camera->position.getValue(), aim, up;
        VeVazaruPath::AIMPOINT(camera, aim);
        VeVazaruPath::UPDIR(camera, up);
        std::fprintf(fp, "viewer %d setCamera %.9g %.9g %.9g  %.9g %.9g %.9g  %.9g %.9g %.9g\n", id, p[0], p[1],
                     p[2], aim[0], aim[1], aim[2], up[0], up[1], up[2]);
    }
}

int saveNetworkCmd(ClientData, Tcl_Interp* interp, int argc, const char** argv) {
    if (argc != 2) return cmdFail(interp, "usage: saveNetwork file.tcl");
    std::string error;
    if (!hxSaveNetwork(argv[1], error)) return cmdFail(interp, "saveNetwork: " + error);
    return TCL_OK;
}
}  // namespace

bool hxSaveNetwork(const std::string& file, std::string& error) {
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
