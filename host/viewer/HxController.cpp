#include <hxcore/HxApplication.h>
#include <viewer/HxController.h>
#include <viewer/HxViewer.h>

namespace {
HxController& instance() {
    static HxController controller;
    return controller;
}
}  // namespace

HxController* theController = &instance();

HxController::HxController() = default;
HxController::~HxController() = default;

HxViewer* HxController::viewer(int id, int create, QWidget*, bool show) {
    if (id < 0 || id >= maxViewers) return nullptr;
    if (!viewers[id] && create) {
        HxApplication::initInventor();
        viewers[id] = std::make_unique<HxViewer>(id);
        if (!show) viewers[id]->hide();
    }
    return viewers[id].get();
}

bool HxController::isViewerVisible(int id) const {
    return id >= 0 && id < maxViewers && viewers[id] && viewers[id]->isVisible();
}

McDArray<int> HxController::getAllVisibleViewerIDs() const {
    McDArray<int> ids;
    for (int id = 0; id < maxViewers; ++id)
        if (isViewerVisible(id)) ids.append(id);
    return ids;
}

void HxController::reset() {
    for (auto& v : viewers) v.reset();
}
