#include <hxcore/HxMessage.h>
#include <viewer/HxViewerWindow.h>

#include <Inventor/Qt/SoQt.h>
#include <Inventor/Qt/viewers/SoQtExaminerViewer.h>
#include <QAbstractButton>
#include <iterator>
#include <QApplication>
#include <QGLWidget>
#include <QOpenGLContext>
#include <QSurface>
#include <QPointer>
#include <QVBoxLayout>
#include <QWidget>
#include <cstdio>
#include <cstdlib>

namespace {
struct ReleasedContext {
    QPointer<QOpenGLContext> context;
    QSurface* surface = nullptr;
};
ReleasedContext& released() {
    static ReleasedContext slot;
    return slot;
}

void fatalToolkitError(const SbString message, SoQt::FatalErrors, void*) {
    theMsg->programError("vorna: the viewer window cannot be shown: %s", message.getString());
    std::_Exit(3);
}
}  // namespace

void HxViewerWindow::initToolkit() {
    static bool done = false;
    if (done) return;
    done = true;
    SoQt::setFatalErrorHandler(fatalToolkitError, nullptr);
    static int argc = 1;
    static char name[] = "vorna";
    static char* argv[] = {name, nullptr};
    SoQt::init(argc, argv, "vorna");  // reuses the running QApplication
}

void HxViewerWindow::releaseCurrentContext() {
    QOpenGLContext* current = QOpenGLContext::currentContext();
    released().context = current;
    released().surface = current ? current->surface() : nullptr;
    if (current) current->doneCurrent();
}

void HxViewerWindow::restoreReleasedContext() {
    ReleasedContext& r = released();
    if (r.context && r.surface) r.context->makeCurrent(r.surface);
    r = ReleasedContext{};
}

// The widget holding the examiner viewer; a guarded pointer, since a parent
// widget may delete it first.
struct HxViewerWindow::Container {
    QPointer<QWidget> widget;
};

HxViewerWindow::HxViewerWindow(SoNode* scene, QWidget* parent, const QString& title)
    : container(std::make_unique<Container>()) {
    initToolkit();
    auto* holder = new QWidget(parent);
    if (!parent) {
        holder->setWindowTitle(title);
        holder->resize(480, 400);
    } else {
        // Shown with its viewer, not merely with its parent.
        holder->hide();
    }
    auto* layout = new QVBoxLayout(holder);
    layout->setContentsMargins(0, 0, 0, 0);
    container->widget = holder;
    viewer = std::make_unique<SoQtExaminerViewer>(holder);
    layout->addWidget(viewer->getWidget());
    // The scene brings its own light that follows the camera.
    viewer->setHeadlight(FALSE);
    viewer->setSceneGraph(scene);
    explainButtons(holder);
}

// The examiner viewer's buttons, top to bottom, say what they do.
void HxViewerWindow::explainButtons(QWidget* holder) {
    static const char* const tips[] = {
        QT_TR_NOOP("Select: pick and drag objects (Esc switches)"),
        QT_TR_NOOP("View: turn, pan and dolly the camera (Esc switches)"),
        QT_TR_NOOP("Home: back to the home view"),
        QT_TR_NOOP("Set home: the current view becomes the home view"),
        QT_TR_NOOP("View all: frame the whole scene"),
        QT_TR_NOOP("Seek: click a point to fly the camera to it"),
        QT_TR_NOOP("Perspective or orthographic camera"),
    };
    const QList<QAbstractButton*> buttons = holder->findChildren<QAbstractButton*>();
    int next = 0;
    for (QAbstractButton* button : buttons) {
        if (!button->toolTip().isEmpty()) continue;
        button->setToolTip(next < int(std::size(tips)) ? QObject::tr(tips[next]) : QObject::tr("Viewer setting"));
        ++next;
    }
}

HxViewerWindow::~HxViewerWindow() {
    viewer.reset();
    delete container->widget.data();
}

QWidget* HxViewerWindow::widget() const { return container->widget; }

void HxViewerWindow::render() {
    if (container->widget && container->widget->isVisible()) viewer->render();
}

QImage HxViewerWindow::grabFrame() const {
    auto* gl = qobject_cast<QGLWidget*>(viewer->getGLWidget());
    return gl ? gl->grabFrameBuffer() : QImage();
}
