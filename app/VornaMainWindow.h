// The vorna window: the main viewer (viewer 0) in the middle, the object list,
// the selected object's port panel and the console around it. Every menu entry
// runs a script command through the console, so whatever the menus do, a
// script can do as well.
#pragma once
#include <QImage>
#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <functional>
#include <map>

class QDockWidget;
class QListWidget;
class QMenu;
class QScrollArea;
class VornaConsole;

class VornaMainWindow : public QMainWindow {
    Q_OBJECT

public:
    // Starts the viewer toolkit and makes the session interactive (viewers get
    // windows); viewer 0 lives in this window. Build the window before any
    // script runs, so that viewer 0 is created here.
    explicit VornaMainWindow(QWidget* parent = nullptr);
    // Hands the shown port panel back to the session. Viewer 0's window
    // goes with this one; the viewer itself stays, without a window.
    ~VornaMainWindow() override;

    // Runs a command as the menus do (see VornaConsole::evaluate); not added
    // to the prompt's history.
    int runCommand(const QString& command, QString* result = nullptr);
    // Runs a movie command with a progress dialog that can cancel it.
    int runMovie(const QString& command);

    // The selected object's name (empty for none); selecting one shows its ports.
    QString selectedObject() const;
    void selectObject(const QString& name);

    VornaConsole* console() const { return consolePane; }
    QListWidget* objectList() const { return objects; }
    QScrollArea* portPanelArea() const { return portArea; }

    // A picture of `window` as it is on the screen: the widgets, with the
    // pictures of the viewers inside it drawn over their GL areas (which a
    // widget grab leaves black).
    static QImage grabWindow(QWidget* window);

    // Asked before unsaved changes to paths would be lost: Save, Discard or
    // Cancel. A message box by default; tests answer it themselves.
    using SaveQuestion = std::function<QMessageBox::StandardButton()>;
    void setSaveQuestion(SaveQuestion question) { saveQuestion = std::move(question); }
    // Whether the session may end now: nothing is unsaved, or the user chose to
    // discard it, or saved it (to the session file, else one asked for).
    bool mayDiscardChanges();

signals:
    // "quit" was run, or the window was closed.
    void quitRequested(int code);

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void placeMainViewer(QWidget* central);
    void buildMenus();
    void buildCreateMenu(QMenu* menu);
    void refreshObjects();
    void showPorts();
    void fillSaveMenu(QMenu* menu);
    void openFile();
    void runScript();
    void saveNetwork();
    void makeMovie();
    void editSelected();
    void detachSelected();
    // The widget that viewer `id` (not the main viewer) opens in: a dock of its own.
    QWidget* viewerPlace(int id);
    void buildHistoryMenu(QMenu* edit);
    void buildHelpMenu();
    void showTitle();
    void restoreSettings();
    void saveSettings() const;
    // `file` in the folder last used by the file dialog `key` (none yet: the
    // current folder); the folder itself when `file` is empty.
    QString lastFolder(const char* key, const QString& file = {}) const;
    void rememberFolder(const char* key, const QString& file) const;

    VornaConsole* consolePane;
    QListWidget* objects;
    QScrollArea* portArea;
    QDockWidget* portDock = nullptr;
    bool portsSized = false;  // the port panel got its width from the first panel shown
    bool refreshing = false;
    std::map<int, QPointer<QWidget>> viewerDocks;
    SaveQuestion saveQuestion;
};
