// The interaction state of a viewer: what its mouse and keys do. Owned by its
// HxViewer. It does not draw yet; the window's viewer widget will take its place.
#pragma once

class QxViewer {
public:
    // The mode a new viewer starts in. Camera paths drive only the viewers in
    // this mode; other modes belong to tools that hold the camera themselves.
    static constexpr int defaultNavigationMode = 3;

    int getNavigationMode() const { return navigationMode; }
    void setNavigationMode(int mode) { navigationMode = mode; }

private:
    int navigationMode = defaultNavigationMode;
};
