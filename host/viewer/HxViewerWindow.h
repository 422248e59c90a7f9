// The interactive back end of a viewer: an Inventor examiner viewer widget
// that shows the viewer's scene and drives the viewer's own camera, so that the
// mouse and scripts move one and the same camera. Owned by its HxViewer; the
// widget belongs to its parent widget, or is a window of its own.
#pragma once
#include <QImage>
#include <QString>
#include <memory>

class QWidget;
class SoNode;
class SoQtExaminerViewer;

class HxViewerWindow {
public:
    // Starts the Inventor window toolkit once, on the existing QApplication.
    // From then on a fatal error of the toolkit (no GL canvas, for example) is
    // printed and ends the program with exit code 3, instead of opening a
    // dialog that a headless run would wait on forever.
    static void initToolkit();
    // The offscreen renderer's EGL context cannot be current together with a
    // window's context: it releases the window context that is current, and
    // makes it current again when done.
    static void releaseCurrentContext();
    static void restoreReleasedContext();

    // Shows `scene` (which must hold the camera to drive). A null `parent`
    // makes a window of its own with the given title.
    HxViewerWindow(SoNode* scene, QWidget* parent, const QString& title);
    ~HxViewerWindow();
    HxViewerWindow(const HxViewerWindow&) = delete;
    HxViewerWindow& operator=(const HxViewerWindow&) = delete;

    // The widget to show, hide and watch for events; null once Qt deleted it.
    QWidget* widget() const;
    // Draws the scene now (when the widget is shown).
    void render();
    // The picture last drawn in the GL area, at its size on the screen.
    QImage grabFrame() const;
    SoQtExaminerViewer* examiner() const { return viewer.get(); }

private:
    static void explainButtons(QWidget* holder);
    struct Container;
    std::unique_ptr<Container> container;
    std::unique_ptr<SoQtExaminerViewer> viewer;
};
