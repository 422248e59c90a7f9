#include <hxcore/HxObjectPool.h>
#include <hxcore/HxObject.h>
#include <paths/VeVazaruPath.h>
#include <viewer/HxViewer.h>
#include <viewer/QxViewer.h>

#include <Inventor/nodes/SoDirectionalLight.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/nodes/SoSeparator.h>
#include <algorithm>

HxViewer::HxViewer(int id)
    : viewerId(id),
      root(new SoSeparator),
      camera(new SoPerspectiveCamera),
      geometry(new SoSeparator),
      interaction(std::make_unique<QxViewer>()) {
    camera->position.setValue(0, 0, 10);
    camera->focalDistance.setValue(10);
    root->addChild(camera);
    root->addChild(new SoDirectionalLight);
    root->addChild(geometry);
}

HxViewer::~HxViewer() = default;

SoCamera* HxViewer::getCamera() const { return camera; }

void HxViewer::addGeometry(SoNode* node) {
    if (node && geometry->findChild(node) < 0) geometry->addChild(node);
}

void HxViewer::removeGeometry(SoNode* node) {
    int index = geometry->findChild(node);
    if (index >= 0) geometry->removeChild(index);
}

void HxViewer::verifyCameraPath() {
    const auto& objects = theObjectPool->objects();
    numCameraPaths = static_cast<int>(std::count_if(objects.begin(), objects.end(), [](const auto& obj) {
        return obj->isOfType(VeVazaruPath::getClassTypeId());
    }));
}

void HxViewer::setNavigationMode(int mode) { interaction->setNavigationMode(mode); }

int HxViewer::getNavigationMode() const { return interaction->getNavigationMode(); }

void HxViewer::setSize(int width, int height) {
    size.setValue(static_cast<short>(std::clamp(width, 1, 16384)),
                  static_cast<short>(std::clamp(height, 1, 16384)));
}
