// Owns the viewers 0 to 15 (0 is the main viewer), created on demand.
#pragma once
#include <mc/McDArray.h>

#include <memory>

class HxViewer;
class QWidget;

class HxController {
public:
    static constexpr int maxViewers = 16;

    HxController();
    ~HxController();

    // Viewer `id`; when it does not exist yet it is created if `create` is non-zero,
    // otherwise null is returned. `parent` and `show` are for windowed viewers.
    HxViewer* viewer(int id, int create = 1, QWidget* parent = nullptr, bool show = true);
    bool isViewerVisible(int id) const;
    // The ids of the viewers that exist and are visible, ascending.
    McDArray<int> getAllVisibleViewerIDs() const;
    // Removes every viewer; the next viewer() call creates fresh ones.
    void reset();

private:
    std::unique_ptr<HxViewer> viewers[maxViewers];
};

extern HxController* theController;
