// What the host does with a camera path a reader has added to the session:
// updates it, then asks it for cameras across its time range as playing it
// would; then removes it again.
#pragma once
#include <hxcore/HxObjectPool.h>
#include <paths/VeVazaruPath.h>

#include <Inventor/nodes/SoPerspectiveCamera.h>

extern "C" void vornapackage_vevazaru_init();

inline void flyThrough(VeVazaruPath* path) {
    McHandle<VeVazaruPath> keep = path;
    path->updateInfo(false);
    path->fire();
    McHandle<SoPerspectiveCamera> camera = new SoPerspectiveCamera;
    const float start = path->getTime(0), duration = path->getDuration();
    for (int k = 0; k <= 8; ++k) path->getCamera(start + duration * static_cast<float>(k) / 8.0f, *camera);
    theObjectPool->remove(path);
}
