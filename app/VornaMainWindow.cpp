#include "VornaMainWindow.h"

#include "VornaConsole.h"
#include "VornaHelp.h"
#include "VornaMovieDialog.h"

#include <hxcore/HxApplication.h>
#include <hxcore/HxData.h>
#include <hxcore/HxEditor.h>
#include <hxcore/HxInterpreter.h>
#include <hxcore/HxMessage.h>
#include <hxcore/HxObject.h>
#include <hxcore/HxObjectPool.h>
#include <hxcore/HxUndoHistory.h>
#include <mc/McTypeInfo.h>
#include <scene/HxMeshImport.h>
#include <session/HxMovieCommand.h>
#include <session/HxPortPanels.h>
#include <viewer/HxController.h>
#include <viewer/HxViewer.h>
#include <viewer/HxViewerWindow.h>

#include <Inventor/Qt/viewers/SoQtExaminerViewer.h>
#include <QChildEvent>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDockWidget>
#include <QFileDialog>
#include <QFileInfo>
#include <QListWidget>
#include <QMenuBar>
#include <QPainter>
#include <QPointer>
#include <QProgressDialog>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QStatusBar>
#include <QUndoStack>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <map>
#include <set>
#include <tcl.h>

namespace {
HxObject* findObject(const QString& name) {
    return name.isEmpty() ? nullptr : theObjectPool->find(name.toUtf8().constData());
}

QString nameOf(const HxBase* object) { return QString::fromUtf8(object->getName()); }

QDockWidget* dock(QMainWindow* window, const QString& title, QWidget* content, Qt::DockWidgetArea area) {
    auto* d = new QDockWidget(title, window);
    d->setObjectName(title);
    d->setWidget(content);
    window->addDockWidget(area, d);
    return d;
}

// The content of a dock that holds a viewer's window: the window fills it, and
// the dock shows and hides with it; closing the dock hides the viewer.
class ViewerDockArea : public QWidget {
public:
    explicit ViewerDockArea(QDockWidget* owner) : QWidget(owner), dockWidget(owner) {
        owner->setWidget(this);
        owner->installEventFilter(this);
    }
    QSize sizeHint() const override { return {360, 320}; }

protected:
    void childEvent(QChildEvent* event) override {
        if (event->added() && event->child()->isWidgetType()) event->child()->installEventFilter(this);
        QWidget::childEvent(event);
    }
    void resizeEvent(QResizeEvent* event) override {
        for (QWidget* viewer : viewers()) viewer->setGeometry(rect());
        QWidget::resizeEvent(event);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == dockWidget && event->type() == QEvent::Close) {
            for (QWidget* viewer : viewers()) viewer->hide();
        } else if (watched != dockWidget && event->type() == QEvent::ShowToParent) {
            static_cast<QWidget*>(watched)->setGeometry(rect());
            dockWidget->show();
        } else if (watched != dockWidget && event->type() == QEvent::HideToParent) {
            dockWidget->hide();
        }
        return false;
    }

private:
    QList<QWidget*> viewers() const { return findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly); }
    QDockWidget* dockWidget;
};
}  // namespace

VornaMainWindow::VornaMainWindow(QWidget* parent)
    : QMainWindow(parent),
      consolePane(new VornaConsole(this)),
      objects(new QListWidget(this)),
      portArea(new QScrollArea(this)) {
    setWindowTitle("vorna");
    resize(1200, 820);
    auto* central = new QWidget(this);
    setCentralWidget(central);
    placeMainViewer(central);
    // The other viewers (the path viewer among them) open in docks beside the
    // main viewer, where they cover nothing and stay on the screen.
    theController->setWindowPlace([self = QPointer<VornaMainWindow>(this)](int id) -> QWidget* {
        return self && id != 0 ? self->viewerPlace(id) : nullptr;
    });

    objects->setSelectionMode(QAbstractItemView::SingleSelection);
    portArea->setWidgetResizable(true);
    portArea->setMinimumWidth(380);
    consolePane->setMinimumHeight(160);
    dock(this, tr("Objects"), objects, Qt::LeftDockWidgetArea);
    portDock = dock(this, tr("Ports"), portArea, Qt::LeftDockWidgetArea);
    dock(this, tr("Console"), consolePane, Qt::BottomDockWidgetArea);

    consolePane->showHostMessages();
    connect(objects, &QListWidget::itemSelectionChanged, this, &VornaMainWindow::showPorts);
    connect(consolePane, &VornaConsole::quitRequested, this, &VornaMainWindow::quitRequested);
    QPointer<VornaMainWindow> self(this);
    theObjectPool->addObserver([self] {
        if (self) self->refreshObjects();
    });
    buildMenus();
    refreshObjects();

    // The status bar shows the outcome of each action: the host's last message.
    statusBar()->setObjectName("status");
    connect(consolePane, &VornaConsole::messageShown, this, [this](const QString& text) {
        if (!text.startsWith("vorna> ")) statusBar()->showMessage(text.section('\n', -1));
    });
    connect(theUndoHistory, &HxUndoHistory::changed, this, &VornaMainWindow::showTitle);
    showTitle();
    restoreSettings();

    // Qt's event loop knows nothing of the host's queue and the interpreter's
    // timers ("after"): they are handled on a short beat.
    auto* beat = new QTimer(this);
    connect(beat, &QTimer::timeout, this, [this] {
        HxApplication::handlePendingEvents(1);
        if (!theInterpreter->quitRequested()) return;
        theInterpreter->clearQuit();
        emit quitRequested(theInterpreter->quitCode());
    });
    beat->start(20);
    // Errors of those timers show in the console; a "quit" in one just quits.
    theInterpreter->createCommand("::vorna::consoleError", [](void*, Tcl_Interp*, int argc, const char** argv) {
        for (int i = 1; i < argc; ++i) theMsg->error("%s", argv[i]);
        return TCL_OK;
    });
    theInterpreter->eval(R"(
        proc ::vorna::backgroundError {message options} {
            if {[dict get $options -errorcode] ne {VORNA QUIT}} {
                ::vorna::consoleError [dict get $options -errorinfo]
            }
        }
        interp bgerror {} ::vorna::backgroundError
    )");
}

VornaMainWindow::~VornaMainWindow() {
    saveSettings();
    // The session keeps the panels. The viewers' windows go with this one (the
    // viewers stay, without windows); the docked ones first, while this window
    // can still show the editing that their going may end.
    theController->setWindowPlace(nullptr);
    for (auto& [id, area] : viewerDocks)
        if (area) delete area->parentWidget();
    portArea->takeWidget();
}

QWidget* VornaMainWindow::viewerPlace(int id) {
    QPointer<QWidget>& area = viewerDocks[id];
    if (!area) {
        auto* viewerDock = new QDockWidget(tr("Viewer %1").arg(id), this);
        viewerDock->setObjectName(QString("viewer%1").arg(id));
        addDockWidget(Qt::RightDockWidgetArea, viewerDock);
        viewerDock->hide();
        area = new ViewerDockArea(viewerDock);
    }
    return area;
}

void VornaMainWindow::placeMainViewer(QWidget* central) {
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    HxViewerWindow::initToolkit();
    // A viewer 0 made before the window gets its window here, not one of its own.
    HxViewer* existing = theController->viewer(0, 0);
    if (existing && !existing->getWindow()) existing->attachWindow(central);
    theController->setInteractive(true);
    HxViewer* mainViewer = theController->viewer(0, 1, central, true);
    QWidget* shown = mainViewer->getWindow() ? mainViewer->getWindow()->widget() : nullptr;
    if (!shown) return;
    if (shown->parentWidget() != central) shown->setParent(central);
    layout->addWidget(shown);
    shown->show();
}

void VornaMainWindow::buildMenus() {
    QMenu* file = menuBar()->addMenu(tr("&File"));
    auto add = [this](QMenu* menu, const QString& text, const char* name, auto slot) {
        QAction* action = menu->addAction(text, this, slot);
        action->setObjectName(name);
        return action;
    };
    add(file, tr("&Open..."), "open", &VornaMainWindow::openFile)->setShortcut(QKeySequence::Open);
    add(file, tr("&Run Script..."), "runScript", &VornaMainWindow::runScript);
    QMenu* saveAs = file->addMenu(tr("Save Path &As"));
    saveAs->setObjectName("savePathAs");
    connect(saveAs, &QMenu::aboutToShow, this, [this, saveAs] { fillSaveMenu(saveAs); });
    add(file, tr("Save &Network..."), "saveNetwork", &VornaMainWindow::saveNetwork);
    add(file, tr("&Movie..."), "movie", &VornaMainWindow::makeMovie);
    file->addSeparator();
    add(file, tr("&Quit"), "quit", [this] {
        if (mayDiscardChanges()) runCommand("quit");
    })->setShortcut(QKeySequence::Quit);

    buildCreateMenu(menuBar()->addMenu(tr("&Create")));

    QMenu* edit = menuBar()->addMenu(tr("&Edit"));
    buildHistoryMenu(edit);
    add(edit, tr("&Edit Selected"), "editSelected", &VornaMainWindow::editSelected);
    add(edit, tr("&Detach"), "detach", &VornaMainWindow::detachSelected);
    buildHelpMenu();
}

void VornaMainWindow::buildHistoryMenu(QMenu* edit) {
    // Through the commands, like every menu entry; the entries name the step.
    QAction* undo = edit->addAction(tr("&Undo"), this, [this] { runCommand("undo"); });
    undo->setObjectName("undo");
    undo->setShortcut(QKeySequence::Undo);
    QAction* redo = edit->addAction(tr("&Redo"), this, [this] { runCommand("redo"); });
    redo->setObjectName("redo");
    redo->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    // Also from the path viewer, a window of its own.
    undo->setShortcutContext(Qt::ApplicationShortcut);
    redo->setShortcutContext(Qt::ApplicationShortcut);
    HxUndoHistory* history = theUndoHistory;
    auto follow = [undo, redo, history] {
        undo->setEnabled(history->canUndo());
        redo->setEnabled(history->canRedo());
        undo->setText(history->canUndo() ? tr("&Undo %1").arg(history->undoText()) : tr("&Undo"));
        redo->setText(history->canRedo() ? tr("&Redo %1").arg(history->redoText()) : tr("&Redo"));
    };
    connect(history, &QUndoGroup::canUndoChanged, undo, follow);
    connect(history, &QUndoGroup::canRedoChanged, redo, follow);
    connect(history, &QUndoGroup::undoTextChanged, undo, follow);
    connect(history, &QUndoGroup::redoTextChanged, redo, follow);
    follow();
    edit->addSeparator();
}

void VornaMainWindow::buildHelpMenu() {
    QMenu* help = menuBar()->addMenu(tr("&Help"));
    auto section = [this, help](const QString& text, const char* name, const QString& title,
                                const QStringList& sections) {
        help->addAction(text, this, [this, title, sections] { VornaHelp::show(this, title, sections); })
            ->setObjectName(name);
    };
    section(tr("&Using the Window"), "helpWindow", tr("Using the window"), {"The window", "Editing a path"});
    section(tr("&Script Commands"), "helpCommands", tr("Script commands"), {"Writing a script", "Editing a path"});
}

void VornaMainWindow::showTitle() {
    const QString file = QString::fromStdString(theUndoHistory->sessionFile());
    setWindowTitle(file.isEmpty() ? QString("vorna[*]") : QString("%1[*] - vorna").arg(file));
    setWindowModified(theUndoHistory->unsaved());
}

bool VornaMainWindow::mayDiscardChanges() {
    if (!theUndoHistory->unsaved()) return true;
    const QMessageBox::StandardButton answer =
        saveQuestion
            ? saveQuestion()
            : QMessageBox::question(this, tr("Unsaved changes"),
                                    tr("The paths have changes that are not saved. Save the session first?"),
                                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
    if (answer == QMessageBox::Discard) return true;
    if (answer != QMessageBox::Save) return false;
    QString file = QString::fromStdString(theUndoHistory->sessionFile());
    if (file.isEmpty())
        file = QFileDialog::getSaveFileName(this, tr("Save Network"), lastFolder("network", "network.tcl"),
                                            tr("Tcl scripts (*.tcl)"));
    if (file.isEmpty()) return false;
    rememberFolder("network", file);
    return runCommand(VornaConsole::tclCommand({"saveNetwork", file})) == TCL_OK;
}

QString VornaMainWindow::lastFolder(const char* key, const QString& file) const {
    const QString folder = QSettings().value(QString("folders/") + key).toString();
    return folder.isEmpty() || file.isEmpty() ? folder + file : folder + "/" + file;
}

void VornaMainWindow::rememberFolder(const char* key, const QString& file) const {
    QSettings().setValue(QString("folders/") + key, QFileInfo(file).absolutePath());
}

void VornaMainWindow::restoreSettings() {
    QSettings settings;
    restoreGeometry(settings.value("window/geometry").toByteArray());
    restoreState(settings.value("window/docks").toByteArray());
}

void VornaMainWindow::saveSettings() const {
    QSettings settings;
    settings.setValue("window/geometry", saveGeometry());
    settings.setValue("window/docks", saveState());
}

void VornaMainWindow::buildCreateMenu(QMenu* menu) {
    std::map<std::string, QMenu*> categories;
    for (const auto& package : HxApplication::packages().packages()) {
        for (const auto& dataClass : package.description.dataClasses) {
            if (!dataClass.userCreatable) continue;
            QMenu* into = menu;
            if (!dataClass.category.empty()) {
                QMenu*& group = categories[dataClass.category];
                if (!group) group = menu->addMenu(QString::fromStdString(dataClass.category));
                into = group;
            }
            const QString type = QString::fromStdString(dataClass.name);
            const QString label = dataClass.label.empty() ? type : QString::fromStdString(dataClass.label);
            QAction* action = into->addAction(label, this, [this, type] {
                QString name;
                if (runCommand(VornaConsole::tclCommand({"create", type}), &name) == TCL_OK) selectObject(name);
            });
            action->setObjectName("create:" + type);
        }
    }
    if (menu->isEmpty()) menu->addAction(tr("(no package offers objects)"))->setEnabled(false);
}

int VornaMainWindow::runCommand(const QString& command, QString* result) {
    return consolePane->evaluate(command, false, result);
}

QString VornaMainWindow::selectedObject() const {
    const QList<QListWidgetItem*> items = objects->selectedItems();
    return items.isEmpty() ? QString() : items.first()->text();
}

void VornaMainWindow::selectObject(const QString& name) {
    const QList<QListWidgetItem*> found = objects->findItems(name, Qt::MatchExactly);
    if (found.isEmpty())
        objects->clearSelection();
    else
        objects->setCurrentItem(found.first());
    showPorts();
}

void VornaMainWindow::refreshObjects() {
    const QString keep = selectedObject();
    {
        const QSignalBlocker quiet(objects);
        objects->clear();
        for (const auto& object : theObjectPool->objects()) {
            auto* item = new QListWidgetItem(nameOf(object), objects);
            item->setToolTip(QString::fromUtf8(object->getTypeId()->getName()));
            const auto* editor = mcinterface_cast<HxEditor>(object.ptr());
            if (editor && !editor->isAttached()) {
                // Its buttons do nothing until it edits again: it shows so.
                item->setForeground(objects->palette().brush(QPalette::Disabled, QPalette::Text));
                item->setToolTip(tr("%1, detached: select a data object and edit it").arg(item->toolTip()));
            }
            if (item->text() == keep) objects->setCurrentItem(item);
        }
    }
    showPorts();
}

void VornaMainWindow::showPorts() {
    HxObject* object = findObject(selectedObject());
    QWidget* panel = object ? HxPortPanels::find(object) : nullptr;
    if (portArea->widget() == panel) return;
    // Taken back, not deleted: the session keeps the panels.
    portArea->takeWidget();
    if (!panel) return;
    portArea->setWidget(panel);
    // The first panel makes the dock wide enough for its rows, within reason;
    // later ones keep the width the user has.
    if (portsSized) return;
    portsSized = true;
    const int wanted = panel->sizeHint().width() + portArea->verticalScrollBar()->sizeHint().width() + 8;
    resizeDocks({portDock}, {std::clamp(wanted, 380, 720)}, Qt::Horizontal);
}

void VornaMainWindow::fillSaveMenu(QMenu* menu) {
    menu->clear();
    HxObject* object = findObject(selectedObject());
    if (auto* editor = dynamic_cast<HxEditor*>(object)) object = editor->getData();
    auto* saved = dynamic_cast<HxData*>(object);
    const HxSaveFormatInfo* format = saved ? saved->saveFormats() : nullptr;
    if (!format || !format->name) {
        menu->addAction(tr("(select a path to save)"))->setEnabled(false);
        return;
    }
    const QString name = nameOf(saved);
    for (; format->name; ++format) {
        const QString formatName = QString::fromUtf8(format->name);
        const QString extension = QString::fromUtf8(format->extension);
        const QString filter = QString("%1 (*.%2)").arg(formatName, extension);
        menu->addAction(filter, this, [this, name, formatName, extension, filter] {
            const QString file = QFileDialog::getSaveFileName(this, tr("Save %1 as %2").arg(name, formatName),
                                                              lastFolder("path", name + "." + extension), filter);
            if (file.isEmpty()) return;
            rememberFolder("path", file);
            if (runCommand(VornaConsole::tclCommand({name, "save", formatName, file})) == TCL_OK)
                theMsg->printf("%s", qPrintable(tr("Saved %1 to %2.").arg(name, file)));
        });
    }
}

void VornaMainWindow::openFile() {
    // Data files, then every reader's extension: the packages' and the host's
    // (Inventor and VRML scenes, meshes).
    std::set<QString> extensions{"vm", "brio"};
    const HxPackageLoader& readers = HxApplication::packages();
    for (const auto& package : readers.packages())
        for (const auto& reader : package.description.readers)
            extensions.insert(QString::fromStdString(reader.extension));
    for (const auto& reader : readers.hostReaders()) extensions.insert(QString::fromStdString(reader.entry.extension));
    QStringList patterns;
    for (const QString& e : extensions) patterns << "*." + e;
    // The mesh formats once more on their own, for a shorter list to pick from.
    QStringList meshes;
    for (const std::string& e : HxMeshImport::extensions()) meshes << "*." + QString::fromStdString(e);
    const QString filter =
        tr("Scenes and data (%1);;Meshes (%2);;All files (*)").arg(patterns.join(' '), meshes.join(' '));
    const QString file = QFileDialog::getOpenFileName(this, tr("Open"), lastFolder("open"), filter);
    if (file.isEmpty()) return;
    rememberFolder("open", file);
    QString name;
    if (runCommand(VornaConsole::tclCommand({"load", file}), &name) == TCL_OK) selectObject(name);
}

void VornaMainWindow::runScript() {
    const QString file = QFileDialog::getOpenFileName(this, tr("Run Script"), lastFolder("script"),
                                                      tr("Tcl scripts (*.tcl);;All files (*)"));
    if (file.isEmpty()) return;
    rememberFolder("script", file);
    if (runCommand(VornaConsole::tclCommand({"source", file})) == TCL_OK)
        theUndoHistory->setSessionFile(file.toStdString());
}

void VornaMainWindow::saveNetwork() {
    const QString file = QFileDialog::getSaveFileName(this, tr("Save Network"), lastFolder("network", "network.tcl"),
                                                      tr("Tcl scripts (*.tcl)"));
    if (file.isEmpty()) return;
    rememberFolder("network", file);
    if (runCommand(VornaConsole::tclCommand({"saveNetwork", file})) == TCL_OK)
        theMsg->printf("%s", qPrintable(tr("Saved the session to %1.").arg(file)));
}

void VornaMainWindow::makeMovie() {
    VornaMovieDialog dialog(this, selectedObject());
    if (dialog.exec() != QDialog::Accepted || dialog.command().isEmpty()) return;
    dialog.remember();
    runMovie(dialog.command());
}

int VornaMainWindow::runMovie(const QString& command) {
    QProgressDialog progress(tr("Writing the movie..."), tr("Cancel"), 0, 1, this);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.setValue(0);
    HxMovieCommand::setProgress([&progress](int done, int total) {
        progress.setMaximum(total);
        progress.setLabelText(QString::fromStdString(HxMovieCommand::progressLine()));
        progress.setValue(done);  // a modal progress dialog handles the events too
        return !progress.wasCanceled();
    });
    const int code = runCommand(command);
    HxMovieCommand::setProgress(nullptr);
    return code;
}

void VornaMainWindow::editSelected() {
    const QString name = selectedObject();
    if (name.isEmpty()) {
        theMsg->printf("Edit: select a data object first.");
        return;
    }
    QString editor;
    if (runCommand(VornaConsole::tclCommand({"edit", name}), &editor) == TCL_OK) selectObject(editor);
}

void VornaMainWindow::detachSelected() {
    const QString name = selectedObject();
    HxObject* object = findObject(name);
    if (dynamic_cast<HxEditor*>(object)) {
        runCommand(VornaConsole::tclCommand({name, "detach"}));
        return;
    }
    QStringList editors;
    for (const auto& other : theObjectPool->objects()) {
        auto* editor = dynamic_cast<HxEditor*>(other.ptr());
        if (object && editor && static_cast<HxObject*>(editor->getData()) == object) editors << nameOf(editor);
    }
    if (editors.isEmpty()) theMsg->printf("Detach: select an editor, or an object being edited.");
    for (const QString& editor : editors) runCommand(VornaConsole::tclCommand({editor, "detach"}));
}

void VornaMainWindow::closeEvent(QCloseEvent* event) {
    if (!mayDiscardChanges()) {
        event->ignore();
        return;
    }
    event->accept();
    runCommand("quit");
}

void VornaMainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // The viewer's first frame comes before the window is on the screen.
    QTimer::singleShot(0, this, [] {
        if (HxViewer* mainViewer = theController->viewer(0, 0)) mainViewer->redraw();
    });
}

QImage VornaMainWindow::grabWindow(QWidget* window) {
    // Pending layout and redraw requests first, so the picture is the one the
    // user would see.
    QCoreApplication::processEvents();
    QImage image = window->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QPainter painter(&image);
    for (int id = 0; id < HxController::maxViewers; ++id) {
        HxViewer* viewer = theController->viewer(id, 0);
        HxViewerWindow* shown = viewer ? viewer->getWindow() : nullptr;
        QWidget* gl = shown ? shown->examiner()->getGLWidget() : nullptr;
        if (!gl || !gl->isVisible() || !(gl == window || window->isAncestorOf(gl))) continue;
        shown->render();
        const QImage frame = shown->grabFrame();
        if (!frame.isNull()) painter.drawImage(QRect(gl->mapTo(window, QPoint(0, 0)), gl->size()), frame);
    }
    return image;
}
