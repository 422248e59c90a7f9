// The vorna window on a virtual display: a keyframe flight recorded, played and
// ended through the menus, the console's prompt and the editor's buttons; and
// vorna -gui running a script.
#include "VornaRunner.h"

#include <VornaConsole.h>
#include <VornaMainWindow.h>
#include <VornaMovieDialog.h>
#include <hxcore/HxApplication.h>
#include <hxcore/HxEditor.h>
#include <hxcore/HxInterpreter.h>
#include <hxcore/HxMessage.h>
#include <hxcore/HxObjectPool.h>
#include <hxcore/HxUndoHistory.h>
#include <session/HxSession.h>
#include <viewer/HxController.h>
#include <viewer/HxViewer.h>
#include <widgets/QxFullSlider.h>
#include <widgets/QxSlider.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QScrollArea>
#include <QScreen>
#include <QSpinBox>
#include <QStatusBar>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <clocale>
#include <cstring>
#include <dlfcn.h>
#include <link.h>
#include <algorithm>
#include <filesystem>
#include <fstream>

using ::testing::HasSubstr;
using ::testing::Not;

namespace {
// The window's session: the package loaded through the host's loader, as vorna
// does. As in vorna, the host shuts down (objects, viewers, GL, the package)
// before the Qt application ends.
class WindowSession : public ::testing::Environment {
public:
    void SetUp() override {
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString(makeTempDir()));    // the prompt's history
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(makeTempDir()));  // the dialogs' settings
        static int argc = 1;
        static char name[] = "vorna_window_test";
        static char* argv[] = {name, nullptr};
        app = new QApplication(argc, argv);
        std::setlocale(LC_NUMERIC, "C");
        loaded = HxApplication::packages().loadFile("vevazaru", VEVAZARU_LIBRARY_FILE, error);
    }
    void TearDown() override {
        keepGLDriverLoaded();
        HxSession::shutdown();
        delete app;
    }
    // The GL driver keeps a buffer of its one-time set-up that only its own
    // statics point to; unloaded when the window toolkit lets go of GL, that
    // buffer would read as a leak at exit. An extra reference keeps it loaded.
    static void keepGLDriverLoaded() {
        dl_iterate_phdr(
            [](dl_phdr_info* info, size_t, void*) {
                if (std::strstr(info->dlpi_name, "_dri.so")) dlopen(info->dlpi_name, RTLD_NOW | RTLD_NOLOAD);
                return 0;
            },
            nullptr);
    }
    static inline QApplication* app = nullptr;
    static inline bool loaded = false;
    static inline std::string error;
};
const auto* const session = ::testing::AddGlobalTestEnvironment(new WindowSession);

// Each test has a window of its own, built before any viewer, and leaves no
// object, viewer or message behind.
class VornaWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(WindowSession::loaded) << WindowSession::error;
        window = new VornaMainWindow;
        window->show();
        QApplication::processEvents();
    }
    void TearDown() override {
        delete window;
        theUndoHistory->setSessionFile("");
        theObjectPool->clear();
        theController->reset();
        HxApplication::handlePendingEvents();
        theMsg->clear();
    }
    void type(const std::string& command) {
        window->console()->prompt()->setText(QString::fromStdString(command));
        QTest::keyClick(window->console()->prompt(), Qt::Key_Return);
    }
    static std::string eval(const std::string& script) {
        theInterpreter->eval(script.c_str());
        return theInterpreter->result();
    }
    std::string console() const { return window->console()->output()->toPlainText().toStdString(); }
    // A new path, edited through the menus in a loaded scene; its name.
    std::string editNewPath() {
        type("load " PLATE_SCENE);
        window->findChild<QAction*>("create:HxKeyframeCameraPath")->trigger();
        const std::string path = window->selectedObject().toStdString();
        window->findChild<QAction*>("editSelected")->trigger();
        auto* editor = dynamic_cast<HxEditor*>(theObjectPool->find("cameraPathEditor"));
        EXPECT_TRUE(editor && editor->isAttached()) << console();
        QWidget* panel = window->portPanelArea()->widget();
        for (QPushButton* b : panel->findChildren<QPushButton*>()) {
            if (b->text() == "add") add = b;
            if (b->text().isEmpty()) player.push_back(b);
        }
        slider = panel->findChild<QxFullSlider*>();
        EXPECT_TRUE(add && slider && player.size() == 7u);
        return path;
    }
    // Keyframes from the main viewer at these views ("px py pz ax ay az"), each a click on "add".
    void addKeyframesAt(const std::vector<std::string>& views) {
        for (const std::string& view : views) {
            type("viewer 0 setCamera " + view + "  0 1 0");
            QTest::mouseClick(add, Qt::LeftButton);
        }
    }
    VornaMainWindow* window = nullptr;
    QPushButton* add = nullptr;
    std::vector<QPushButton*> player;
    QxFullSlider* slider = nullptr;
};

TEST_F(VornaWindowTest, aFlightIsRecordedPlayedAndEndedWithTheMouse) {
    // The editor's ports are shown: time slider, player buttons, keyframe buttons.
    const std::string path = editNewPath();
    ASSERT_FALSE(HasFatalFailure());
    type("nosuchcommand 1");
    type("puts {from a script}");
    EXPECT_THAT(console(), HasSubstr("vorna> load " PLATE_SCENE "\nplate\n"));
    EXPECT_THAT(console(), HasSubstr("vorna> nosuchcommand 1\nError: invalid command name \"nosuchcommand\"\nvorna> "
                                     "puts {from a script}\nfrom a script"));
    auto* editor = dynamic_cast<HxEditor*>(theObjectPool->find("cameraPathEditor"));
    // The path viewer is on the screen and leaves the panel free.
    QWidget* pathWindow = qobject_cast<QWidget*>(theController->viewer(5)->widget());
    ASSERT_TRUE(pathWindow && pathWindow->isVisible());
    const auto onScreen = [](const QWidget* w) { return QRect(w->mapToGlobal(QPoint()), w->size()); };
    EXPECT_TRUE(pathWindow->screen()->geometry().contains(onScreen(pathWindow)));
    EXPECT_FALSE(onScreen(pathWindow).intersects(onScreen(window->portPanelArea())));
    const auto editorTip = [this] {
        return window->objectList()->findItems("cameraPathEditor", Qt::MatchExactly).value(0)->toolTip().toStdString();
    };
    EXPECT_THAT(editorTip(), Not(HasSubstr("detached")));
    addKeyframesAt({"0 4 12  0 1 0", "12 4 0  0 1 0", "0 6 -12  0 1 0"});
    EXPECT_EQ(eval(path + " getNumCameras"), "3");
    type("cameraPathEditor fps 1000");
    for (int i = 0; i < 3; ++i) QTest::mouseClick(player[1], Qt::LeftButton);  // back to the first keyframe
    EXPECT_EQ(eval("viewer 0 getCameraPosition"), "0 4 12");
    QTest::mouseClick(player[6], Qt::LeftButton);  // play to the end
    EXPECT_EQ(eval("viewer 0 getCameraPosition"), "0 6 -12");
    EXPECT_FLOAT_EQ(slider->getValue(), 20.0f);
    // Closing the path viewer's dock ends editing, and the editor shows it.
    auto* pathDock = qobject_cast<QDockWidget*>(pathWindow->parentWidget()->parentWidget());
    ASSERT_TRUE(pathDock);
    QTest::mouseClick(pathDock->findChild<QAbstractButton*>("qt_dockwidget_closebutton"), Qt::LeftButton);
    EXPECT_FALSE(editor->isAttached());
    EXPECT_EQ(eval(path + " time isVisible"), "1");
    EXPECT_THAT(editorTip(), HasSubstr("detached"));
}

TEST_F(VornaWindowTest, aMovieCancelledInItsProgressDialogIsReportedOnceAndNotAsAnError) {
    eval(flightScript);
    QTimer::singleShot(0, window, [this] {
        QTest::mouseClick(window->findChild<QProgressDialog*>()->findChild<QPushButton*>(), Qt::LeftButton);
    });
    window->runMovie(QString::fromStdString("movie -object Flight -viewer 0 -frames 100 -size 8 8 -out " +
                                            makeTempDir() + "/f%d.png"));
    const std::string text = console();
    EXPECT_THAT(text, HasSubstr("movie: cancelled after"));
    EXPECT_EQ(text.find("cancelled"), text.rfind("cancelled")) << text;
    EXPECT_THAT(text, Not(HasSubstr("Error:"))) << text;
}

// The movie dialog: the frames follow the duration and the rate, a preset sets
// the size, the format the file's name; an accepted dialog's choices are the
// next one's.
TEST_F(VornaWindowTest, theMovieDialogComposesTheCommandAndRemembersItsChoices) {
    eval("create HxTimeSource Clock");
    const QString dir = QString::fromStdString(makeTempDir());
    QString command;
    {
        VornaMovieDialog dialog(window, "Clock");
        dialog.findChild<QSpinBox*>("fps")->setValue(10);
        dialog.findChild<QDoubleSpinBox*>("duration")->setValue(2.5);
        auto* preset = dialog.findChild<QComboBox*>("sizePreset");
        emit preset->activated(preset->findText("720p", Qt::MatchStartsWith));
        dialog.findChild<QLineEdit*>("pattern")->setText(dir + "/clip%04d.png");
        auto* format = dialog.findChild<QComboBox*>("format");
        emit format->activated(format->findData("gif"));
        EXPECT_EQ(dialog.findChild<QLabel*>("length")->text(), "2.50 s (25 frames at 10 per second)");
        command = dialog.command();
        EXPECT_EQ(command.toStdString(),
                  "movie -object Clock -port time -viewer 0 -frames 25 -size 1280 720 "
                  "-samples 4 -fps 10 -out " +
                      dir.toStdString() + "/clip.gif");
        dialog.remember();
    }
    EXPECT_EQ(VornaMovieDialog(window, "Clock").command(), command);
}

// Runs the entry `name` of the menu bar's menu `menu` with two clicks, as a user would.
void clickMenu(QMainWindow* window, const QString& menu, const char* name) {
    QMenuBar* bar = window->menuBar();
    QAction* entry = window->findChild<QAction*>(name);
    ASSERT_TRUE(entry);
    for (QAction* top : bar->actions()) {
        if (top->text().remove('&') != menu) continue;
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(top).center());
        QMenu* popup = top->menu();
        ASSERT_TRUE(popup && popup->isVisible());
        QTest::mouseClick(popup, Qt::LeftButton, {}, popup->actionGeometry(entry).center());
        return;
    }
    FAIL() << "no menu " << menu.toStdString();
}

TEST_F(VornaWindowTest, keyframeChangesUndoAndRedoWithTheKeysAndTheMenu) {
    const std::string path = editNewPath();
    ASSERT_FALSE(HasFatalFailure());
    addKeyframesAt({"0 4 12  0 1 0", "12 4 0  0 1 0"});
    EXPECT_THAT(window->statusBar()->currentMessage().toStdString(), HasSubstr("added at 10"));
    EXPECT_TRUE(window->isWindowModified());
    // Window shortcuts need the window active; the display server may have
    // moved the focus meanwhile.
    const auto pressKeys = [this](Qt::KeyboardModifiers modifiers) {
        QApplication::setActiveWindow(window);
        QTest::keyClick(window->centralWidget(), Qt::Key_Z, modifiers);
    };
    pressKeys(Qt::ControlModifier);
    EXPECT_EQ(eval(path + " getNumCameras"), "1");
    clickMenu(window, "Edit", "redo");
    EXPECT_EQ(eval(path + " getNumCameras"), "2");
    EXPECT_EQ(eval(path + " camera 1 getPosition"), "12 4 0");

    // A drag of the second keyframe's box in the path viewer, one step however far it goes.
    eval("viewer 5 setSize 400 400; viewer 5 setCamera 12 4 10  12 4 0  0 1 0");
    QTest::mouseClick(player[5], Qt::LeftButton);  // to the last keyframe
    type("viewer 5 click 183 205");                // on the glyph
    const std::string before = eval(path + " camera 1 getPosition");
    // On the box beside the glyph, to the right; the keyframe follows once the sensors have run.
    type("viewer 5 drag 197 214 237 214");
    HxApplication::handlePendingEvents();
    const std::string dragged = eval(path + " camera 1 getPosition");
    EXPECT_NE(dragged, before) << console();
    pressKeys(Qt::ControlModifier);
    EXPECT_EQ(eval(path + " camera 1 getPosition"), before) << console();
    pressKeys(Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(eval(path + " camera 1 getPosition"), dragged);
}

// Presses at `from` in the slider's tick area, moves to `to` and lets go.
void dragAlong(QxSlider* bar, int from, int to) {
    const int y = bar->height() - 2;
    QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(from, y));
    QMouseEvent move(QEvent::MouseMove, QPoint(to, y), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(bar, &move);
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(to, y));
}

TEST_F(VornaWindowTest, aKeyframeMovesInTimeByItsTickOrItsFieldButNeverPastANeighbour) {
    editNewPath();
    ASSERT_FALSE(HasFatalFailure());
    addKeyframesAt({"0 4 12  0 1 0", "12 4 0  0 1 0", "0 6 -12  0 1 0"});
    const std::string ticks = "cameraPathEditor portTimeSlider getKeyframes";
    QxSlider* bar = slider->slider();
    // The tick at 10 dragged a quarter of the range to the right, then past its neighbour at 20.
    const int x10 = bar->xOf(10), x15 = bar->xOf(15);
    dragAlong(bar, x10, x15);
    const float moved = std::stof(eval(ticks).substr(2));
    EXPECT_NEAR(moved, 15.0f, 0.2f) << eval(ticks);
    dragAlong(bar, x15, bar->xOf(20) + 10);
    EXPECT_FLOAT_EQ(std::stof(eval(ticks).substr(2)), moved) << "refused";
    EXPECT_THAT(window->statusBar()->currentMessage().toStdString(), HasSubstr("keep their order"));

    // The field sets the time of the keyframe the slider stands on.
    for (int k = 0; k < 2; ++k) QTest::mouseClick(player[1], Qt::LeftButton);  // back to the keyframe moved above
    auto* field = window->portPanelArea()->widget()->findChild<QLineEdit*>("keyframeTime");
    ASSERT_TRUE(field && field->isEnabled());
    field->setText("12.5");
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(eval(ticks), "0 12.5 20") << console();
    EXPECT_FLOAT_EQ(slider->getValue(), 12.5f);
    QApplication::setActiveWindow(window);
    QTest::keyClick(window->centralWidget(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_FLOAT_EQ(std::stof(eval(ticks).substr(2)), moved);
}

TEST_F(VornaWindowTest, theSpeedPlotShowsTheFlightFollowsTheSliderAndMovesItWhenClicked) {
    editNewPath();
    ASSERT_FALSE(HasFatalFailure());
    auto* view = window->portPanelArea()->widget()->findChild<QtCharts::QChartView*>("speedPlot");
    auto* summary = window->portPanelArea()->widget()->findChild<QLabel*>("speedSummary");
    ASSERT_TRUE(view && summary);
    EXPECT_TRUE(view->isVisible());
    EXPECT_TRUE(summary->text().isEmpty()) << "no flight yet";
    QtCharts::QChart* chart = view->chart();
    auto* marker = chart->findChild<QtCharts::QLineSeries*>("currentTime");
    ASSERT_TRUE(marker);
    const auto markerTime = [marker] { return marker->points().value(0).x(); };

    // Uneven speeds: keyframes 10 time units apart at unequal distances.
    addKeyframesAt({"0 4 12  0 1 0", "12 4 0  0 1 0", "0 4 -30  0 1 0"});
    EXPECT_THAT(summary->text().toStdString(), HasSubstr("translation"));
    type("cameraPathEditor fps 1000");
    for (int i = 0; i < 3; ++i) QTest::mouseClick(player[1], Qt::LeftButton);
    EXPECT_FLOAT_EQ(markerTime(), 0.0f);

    // During playback the marker stands where the slider does at every step.
    int steps = 0, behind = 0;
    const auto follow = QObject::connect(slider, &QxFullSlider::valueChanged, [&] {
        ++steps;
        behind += std::abs(markerTime() - slider->getValue()) > 1e-4;
    });
    QTest::mouseClick(player[6], Qt::LeftButton);
    QObject::disconnect(follow);
    EXPECT_GT(steps, 1);
    EXPECT_EQ(behind, 0);
    EXPECT_FLOAT_EQ(markerTime(), 20.0f);

    // A click on the plot at time 13 moves the slider and the main camera there.
    const QPointF at = chart->mapToPosition(QPointF(13, 0.5 * chart->plotArea().height()), marker);
    const QPoint click = view->mapFromScene(QPointF(at.x(), chart->plotArea().center().y()));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, click);
    EXPECT_NEAR(slider->getValue(), 13.0f, 0.1f);
    EXPECT_FLOAT_EQ(markerTime(), slider->getValue());
    EXPECT_NE(eval("viewer 0 getCameraPosition"), "0 4 -30") << "the main view left the end for the clicked time";
}

// The contents of every file under `dir`, in name order.
std::string everyFile(const std::string& dir) {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir))
        if (entry.is_regular_file()) files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    std::string all;
    for (const std::string& f : files) all += f + "\n" + slurp(f);
    return all;
}

struct QuitCase {
    const char* name;
    QMessageBox::StandardButton answer;  // NoButton: nothing to ask about
    enum { Closing, CtrlQ, Menu } by;
    bool quits;
};

class QuitQuestion : public VornaWindowTest, public ::testing::WithParamInterface<QuitCase> {};

TEST_P(QuitQuestion, isAskedOnlyWithUnsavedChangesAndItsAnswerIsFollowed) {
    const QuitCase& c = GetParam();
    const std::string dir = makeTempDir();
    editNewPath();
    ASSERT_FALSE(HasFatalFailure());
    eval("saveNetwork " + dir + "/session.tcl");
    const std::string saved = everyFile(dir);
    EXPECT_EQ(window->windowTitle().toStdString(), dir + "/session.tcl[*] - vorna");
    EXPECT_FALSE(window->isWindowModified());
    const bool changes = c.answer != QMessageBox::NoButton;
    if (changes) addKeyframesAt({"0 4 12  0 1 0"});
    EXPECT_EQ(window->isWindowModified(), changes);
    int asked = 0;
    window->setSaveQuestion([&] {
        ++asked;
        return c.answer;
    });
    QSignalSpy quit(window, &VornaMainWindow::quitRequested);
    QApplication::setActiveWindow(window);
    if (c.by == QuitCase::Closing) window->close();
    if (c.by == QuitCase::CtrlQ) QTest::keyClick(window->centralWidget(), Qt::Key_Q, Qt::ControlModifier);
    if (c.by == QuitCase::Menu) clickMenu(window, "File", "quit");
    EXPECT_EQ(asked, changes ? 1 : 0);
    EXPECT_EQ(quit.count(), c.quits ? 1 : 0);
    EXPECT_EQ(window->isVisible(), !(c.quits && c.by == QuitCase::Closing));
    // Saved: the network on disk, script and data, holds the new keyframe.
    EXPECT_EQ(window->isWindowModified(), changes && c.answer != QMessageBox::Save);
    EXPECT_EQ(everyFile(dir) != saved, c.answer == QMessageBox::Save);
}

INSTANTIATE_TEST_SUITE_P(
    Window, QuitQuestion,
    ::testing::Values(QuitCase{"cancelledAtClosing", QMessageBox::Cancel, QuitCase::Closing, false},
                      QuitCase{"cancelledAtCtrlQ", QMessageBox::Cancel, QuitCase::CtrlQ, false},
                      QuitCase{"discardedAtClosing", QMessageBox::Discard, QuitCase::Closing, true},
                      QuitCase{"savedFromTheMenu", QMessageBox::Save, QuitCase::Menu, true},
                      QuitCase{"notAskedWithNothingUnsaved", QMessageBox::NoButton, QuitCase::CtrlQ, true}),
    [](const ::testing::TestParamInfo<QuitCase>& p) { return std::string(p.param.name); });

TEST_F(VornaWindowTest, everyButtonExplainsItselfAndHelpShowsTheKeysAndCommands) {
    editNewPath();
    ASSERT_FALSE(HasFatalFailure());
    std::vector<QWidget*> places{window->portPanelArea()->widget()};
    for (int id : {0, 5}) places.push_back(qobject_cast<QWidget*>(theController->viewer(id)->widget()));
    int buttons = 0;
    for (QWidget* place : places) {
        ASSERT_TRUE(place);
        for (QAbstractButton* b : place->findChildren<QAbstractButton*>()) {
            EXPECT_FALSE(b->toolTip().isEmpty())
                << "\"" << b->text().toStdString() << "\" in " << place->metaObject()->className();
            ++buttons;
        }
    }
    EXPECT_GE(buttons, 2 * 7 + 7 + 4) << "two viewers, the player and the keyframe buttons";

    struct Entry {
        const char* action;
        std::vector<const char*> words;
    };
    for (const Entry& e : {Entry{"helpWindow", {"Ctrl+Shift+Z", "Save Path As", "tick"}},
                           Entry{"helpCommands", {"saveNetwork", "undo", "portTimeSlider"}}}) {
        clickMenu(window, "Help", e.action);
        auto* help = window->findChild<QDialog*>("help");
        ASSERT_TRUE(help && help->isVisible());
        const QString text = help->findChild<QTextBrowser*>()->toPlainText();
        for (const char* word : e.words) EXPECT_TRUE(text.contains(word)) << e.action << ": " << word;
        EXPECT_FALSE(text.contains("Checking what the tests catch")) << "only the sections asked for";
        delete help;
    }
}

TEST_F(VornaWindowTest, theWindowKeepsItsSizeAndItsPanelsTheirWidth) {
    window->findChild<QAction*>("create:HxKeyframeCameraPath")->trigger();
    const QString path = window->selectedObject();
    auto* ports = window->findChild<QDockWidget*>("Ports");
    ASSERT_TRUE(ports);
    QApplication::processEvents();
    const int width = ports->width();
    // The editor's panel is the wider one.
    window->findChild<QAction*>("editSelected")->trigger();
    QApplication::processEvents();
    EXPECT_EQ(ports->width(), width);
    window->selectObject(path);
    QApplication::processEvents();
    EXPECT_EQ(ports->width(), width);

    window->resize(1000, 700);
    QApplication::processEvents();
    const QSize size = window->size();
    delete window;
    window = new VornaMainWindow;
    EXPECT_EQ(window->size(), size);
}

TEST(VornaProgram, guiRunsTheScriptThenStaysUntilQuit) {
    const std::string dir = makeTempDir();
    std::ofstream(dir + "/later.tcl") << "create HxKeyframeCameraPath Flight\nafter 100 {quit 6}\n";
    std::vector<std::string> environment{"QT_QPA_PLATFORM=xcb"};
    if (const char* asan = std::getenv("ASAN_OPTIONS"))
        environment.push_back(std::string("ASAN_OPTIONS=") + asan + ":fast_unwind_on_malloc=0");
    EXPECT_EQ(runProgram(VORNA_BINARY, {"-gui", dir + "/later.tcl"}, environment, dir, 60).exitCode, 6);
}

}  // namespace
