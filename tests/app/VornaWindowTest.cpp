// The vorna window on a virtual display: a keyframe flight recorded, played and
// ended through the menus, the console and the editor's buttons; screenshots of
// the windows; and the program's answer to displays it cannot use.
#include "VornaRunner.h"

#include <VornaConsole.h>
#include <VornaMainWindow.h>
#include <VornaMovieDialog.h>
#include <hxcore/HxApplication.h>
#include <hxcore/HxEditor.h>
#include <hxcore/HxInterpreter.h>
#include <hxcore/HxMessage.h>
#include <hxcore/HxObjectPool.h>
#include <session/HxPortPanels.h>
#include <session/HxSession.h>
#include <viewer/HxController.h>
#include <viewer/HxViewer.h>
#include <widgets/QxFullSlider.h>
#include <widgets/QxSlider.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <clocale>
#include <cstdlib>
#include <fstream>

using ::testing::HasSubstr;

namespace {
QString outputDir() {
    const QString dir = qEnvironmentVariable("VORNA_TEST_OUTPUT", QDir::tempPath() + "/vorna-test-output");
    QDir().mkpath(dir);
    return dir;
}

// The pixels within `tolerance` (summed over the channels) of a colour.
int pixelsNear(const QImage& image, QRgb colour, int tolerance = 45) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            n += std::abs(qRed(p) - qRed(colour)) + std::abs(qGreen(p) - qGreen(colour)) +
                     std::abs(qBlue(p) - qBlue(colour)) <=
                 tolerance;
        }
    return n;
}

// The session of the window tests: the package loaded through the host's
// loader. The Qt application ends before the program does, after the host's
// objects and viewers, as in vorna.
class WindowSession : public ::testing::Environment {
public:
    void SetUp() override {
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString(makeTempDir()));    // the prompt's history
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(makeTempDir()));  // the movie dialog's settings
        static int argc = 1;
        static char name[] = "vorna_window_test";
        static char* argv[] = {name, nullptr};
        app = new QApplication(argc, argv);
        std::setlocale(LC_NUMERIC, "C");  // as vorna does after Qt took the locale's
        HxApplication::packages().loadFile("vevazaru", VEVAZARU_LIBRARY_FILE, packageError);
    }
    void TearDown() override {
        HxSession::shutdown();
        delete app;
    }
    static inline QApplication* app = nullptr;
    static inline std::string packageError;
};
const auto* const session = ::testing::AddGlobalTestEnvironment(new WindowSession);

// Each test has a window of its own, built before any viewer, and leaves no
// object, viewer or message behind.
class VornaWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(WindowSession::packageError, "");
        window = new VornaMainWindow;
        window->show();
        QApplication::processEvents();
    }
    void TearDown() override {
        delete window;
        theObjectPool->clear();
        theController->reset();
        HxApplication::handlePendingEvents();
        theMsg->clear();
    }

    // Typed at the console's prompt, then Return.
    void type(const std::string& command) {
        QLineEdit* prompt = window->console()->prompt();
        prompt->setText(QString::fromStdString(command));
        QTest::keyClick(prompt, Qt::Key_Return);
    }
    static std::string eval(const std::string& command) {
        theInterpreter->eval(command.c_str());
        return theInterpreter->result();
    }
    QString console() const { return window->console()->output()->toPlainText(); }

    VornaMainWindow* window = nullptr;
};

TEST_F(VornaWindowTest, aFlightIsRecordedPlayedAndEndedWithTheMouse) {
    type("load " PLATE_SCENE);
    EXPECT_EQ(window->objectList()->findItems("plate", Qt::MatchExactly).size(), 1);
    QAction* create = window->findChild<QAction*>("create:HxKeyframeCameraPath");
    ASSERT_NE(create, nullptr);
    create->trigger();
    const std::string path = window->selectedObject().toStdString();
    ASSERT_NE(theObjectPool->find(path.c_str()), nullptr) << path;
    window->findChild<QAction*>("editSelected")->trigger();
    auto* editor = dynamic_cast<HxEditor*>(theObjectPool->find("cameraPathEditor"));
    ASSERT_NE(editor, nullptr) << console().toStdString();
    ASSERT_TRUE(editor->isAttached());
    // The editor is selected, its ports are shown: time slider, player buttons, keyframe buttons.
    QWidget* panel = window->portPanelArea()->widget();
    ASSERT_EQ(panel, HxPortPanels::find(editor));
    QPushButton* add = nullptr;
    std::vector<QPushButton*> player;
    for (QPushButton* b : panel->findChildren<QPushButton*>()) {
        if (b->text() == "add") add = b;
        if (b->text().isEmpty()) player.push_back(b);
    }
    ASSERT_NE(add, nullptr);
    ASSERT_EQ(player.size(), 7u);
    auto* slider = panel->findChild<QxFullSlider*>();
    ASSERT_TRUE(slider && slider->inherits("QxTickMarkedSlider"));

    for (const char* view : {"0 4 12", "12 4 0", "0 6 -12"}) {
        type(std::string("viewer 0 setCamera ") + view + "  0 1 0  0 1 0");
        QTest::mouseClick(add, Qt::LeftButton);
    }
    EXPECT_EQ(slider->slider()->getTicks().size(), 3);
    EXPECT_EQ(eval(path + " getNumCameras"), "3");
    type("cameraPathEditor fps 1000");
    eval(roundingProc);
    const std::string cameraAt = "r [viewer 0 getCameraPosition]";
    for (int i = 0; i < 3; ++i) QTest::mouseClick(player[1], Qt::LeftButton);  // back to the first keyframe
    EXPECT_EQ(eval(cameraAt), eval("r [" + path + " camera 0 getPosition]"));
    EXPECT_TRUE(VornaMainWindow::grabWindow(window).save(outputDir() + "/window.png"));
    QTest::mouseClick(player[6], Qt::LeftButton);  // play to the end
    EXPECT_EQ(eval(cameraAt), eval("r [" + path + " camera 2 getPosition]"));
    EXPECT_FLOAT_EQ(slider->getValue(), 20.0f);

    // The path viewer shows the keyframes' glyphs and the flight line.
    QWidget* pathWindow = qobject_cast<QWidget*>(theController->viewer(5)->widget());
    ASSERT_TRUE(pathWindow && pathWindow->isVisible());
    const QImage pathView = VornaMainWindow::grabWindow(pathWindow);
    EXPECT_TRUE(pathView.save(outputDir() + "/path-viewer.png"));
    // Lit white glyph faces, the animated camera's red ones, the unlit flight line.
    EXPECT_GE(pixelsNear(pathView, qRgb(255, 255, 255), 60), 10) << "the keyframes' glyphs";
    EXPECT_GE(pixelsNear(pathView, qRgb(255, 77, 77)), 10) << "the animated camera";
    EXPECT_GE(pixelsNear(pathView, qRgb(204, 204, 204), 6), 100) << "the flight line";

    pathWindow->close();
    EXPECT_FALSE(editor->isAttached());
    EXPECT_EQ(eval(path + " time isVisible"), "1");
}

TEST_F(VornaWindowTest, thePromptShowsResultsAndErrorsAndRemembersCommands) {
    type("set greeting hello");
    type("nosuchcommand 1");
    EXPECT_THAT(console().toStdString(), HasSubstr("vorna> set greeting hello\nhello\n"));
    EXPECT_THAT(console().toStdString(), HasSubstr("Error: invalid command name \"nosuchcommand\""));
    QLineEdit* prompt = window->console()->prompt();
    prompt->setText("draft");
    QTest::keyClick(prompt, Qt::Key_Up);
    EXPECT_EQ(prompt->text(), "nosuchcommand 1");
    QTest::keyClick(prompt, Qt::Key_Up);
    EXPECT_EQ(prompt->text(), "set greeting hello");
    QTest::keyClick(prompt, Qt::Key_Down);
    QTest::keyClick(prompt, Qt::Key_Down);
    EXPECT_EQ(prompt->text(), "draft");
    // A later session reads the history back, at most its last 500 commands.
    const QString file = QString::fromStdString(makeTempDir()) + "/history";
    {
        std::ofstream out(file.toStdString());
        for (int i = 0; i < 600; ++i) out << "puts " << i << "\n";
    }
    VornaConsole later(nullptr, file);
    ASSERT_EQ(later.history().size(), VornaConsole::maxHistory);
    EXPECT_EQ(later.history().first(), "puts 100");
    later.evaluate("set x 1", true);
    EXPECT_EQ(VornaConsole(nullptr, file).history().last(), "set x 1");
    EXPECT_EQ(VornaConsole(nullptr, VornaConsole::defaultHistoryFile()).history().last(), "nosuchcommand 1");
    // "quit", typed or from the menu, asks the program to end with its code.
    QSignalSpy quits(window, &VornaMainWindow::quitRequested);
    type("quit 4");
    window->findChild<QAction*>("quit")->trigger();
    ASSERT_EQ(quits.size(), 2);
    EXPECT_EQ(quits[0][0].toInt(), 4);
    EXPECT_EQ(quits[1][0].toInt(), 0);
}

TEST_F(VornaWindowTest, theMovieDialogWritesTheFramesItSays) {
    const std::string flight = eval("create HxKeyframeCameraPath");
    eval("viewer 0 setCamera 0 4 12  0 1 0  0 1 0; " + flight + " append; viewer 0 setCamera 12 4 0  0 1 0  0 1 0; " +
         flight + " append; " + flight + " fire");
    VornaMovieDialog dialog(window, QString::fromStdString(flight));
    dialog.findChild<QSpinBox*>("frames")->setValue(3);
    dialog.findChild<QSpinBox*>("width")->setValue(40);
    dialog.findChild<QSpinBox*>("height")->setValue(30);
    const QString dir = QString::fromStdString(makeTempDir());
    dialog.findChild<QLineEdit*>("pattern")->setText(dir + "/f%02d.png");
    EXPECT_EQ(window->runMovie(dialog.command()), 0) << console().toStdString();
    EXPECT_EQ(QDir(dir).entryList({"*.png"}), QStringList({"f00.png", "f01.png", "f02.png"}));
    EXPECT_EQ(QImage(dir + "/f02.png").size(), QSize(40, 30));
    EXPECT_THAT(console().toStdString(), HasSubstr("movie: frame 3 of 3"));
}

// Cancel in the progress dialog: the video is not written, the older file stays.
TEST_F(VornaWindowTest, cancellingAVideoInTheProgressDialogKeepsTheOldFile) {
    const std::string clock = eval("create HxTimeSource");
    const QString file = QString::fromStdString(makeTempDir()) + "/m.mp4";
    std::ofstream(file.toStdString()) << "older";
    QTimer::singleShot(0, window, [this] {
        if (auto* progress = window->findChild<QProgressDialog*>()) progress->cancel();
    });
    EXPECT_EQ(window->runMovie(VornaConsole::tclCommand({"movie", "-object", QString::fromStdString(clock), "-viewer",
                                                         "0", "-frames", "50", "-size", "16", "16", "-out", file})),
              1)
        << "a Tcl error";
    EXPECT_THAT(console().toStdString(), HasSubstr("movie: cancelled after "));
    std::ifstream old(file.toStdString());
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(old), {}), "older");
    EXPECT_EQ(QDir(QFileInfo(file).path()).entryList(QDir::Files), QStringList({"m.mp4"}));
    eval("remove " + clock);
}

// Format, rate, duration, size preset and antialiasing make the command; the
// frames follow the duration, and an accepted dialog's settings come back.
TEST_F(VornaWindowTest, theMovieDialogComposesAVideoAndRemembersIt) {
    const std::string clock = eval("create HxTimeSource");
    const QString dir = QString::fromStdString(makeTempDir());
    {
        VornaMovieDialog dialog(window, QString::fromStdString(clock));
        dialog.findChild<QLineEdit*>("pattern")->setText(dir + "/flight%04d.png");
        auto* format = dialog.findChild<QComboBox*>("format");
        format->setCurrentIndex(format->findData("gif"));
        emit format->activated(format->currentIndex());
        dialog.findChild<QSpinBox*>("fps")->setValue(10);
        dialog.findChild<QDoubleSpinBox*>("duration")->setValue(0.3);
        auto* sizes = dialog.findChild<QComboBox*>("sizePreset");
        emit sizes->activated(sizes->findText("720p (1280 x 720)"));
        auto* samples = dialog.findChild<QComboBox*>("samples");
        samples->setCurrentIndex(samples->findData(2));
        EXPECT_EQ(dialog.findChild<QSpinBox*>("frames")->value(), 3);
        EXPECT_EQ(dialog.findChild<QLabel*>("length")->text(), "0.30 s (3 frames at 10 per second)");
        EXPECT_EQ(dialog.command(),
                  VornaConsole::tclCommand({"movie", "-object", QString::fromStdString(clock), "-port", "time",
                                            "-viewer", "0", "-frames", "3", "-size", "1280", "720", "-samples", "2",
                                            "-fps", "10", "-out", dir + "/flight.gif"}));
        dialog.remember();
    }
    VornaMovieDialog again(window, QString::fromStdString(clock));
    EXPECT_EQ(again.command(), VornaConsole::tclCommand({"movie", "-object", QString::fromStdString(clock), "-port",
                                                         "time", "-viewer", "0", "-frames", "3", "-size", "1280", "720",
                                                         "-samples", "2", "-fps", "10", "-out", dir + "/flight.gif"}));
    eval("remove " + clock);
}

TEST(VornaProgram, guiRunsTheScriptThenStaysUntilQuit) {
    const std::string dir = makeTempDir();
    std::ofstream(dir + "/later.tcl") << "create HxKeyframeCameraPath Flight\nafter 100 {quit 6}\n";
    std::vector<std::string> environment{"QT_QPA_PLATFORM=xcb"};
    // Under the sanitizers: the GL driver, unloaded at exit, keeps a buffer of
    // its one-time set-up; only a full stack shows the leak suppressions that
    // it came through the window toolkit.
    if (const char* asan = std::getenv("ASAN_OPTIONS"))
        environment.push_back(std::string("ASAN_OPTIONS=") + asan + ":fast_unwind_on_malloc=0");
    const VornaRun run = runProgram(VORNA_BINARY, {"-gui", dir + "/later.tcl"}, environment, dir, 60);
    EXPECT_EQ(run.exitCode, 6) << run.err;
}

TEST(VornaProgram, guiWithoutAUsableDisplayEndsWithAMessage) {
    const VornaRun none = runProgram(VORNA_BINARY, {"-gui"}, {"DISPLAY=", "WAYLAND_DISPLAY="}, {}, 60);
    EXPECT_EQ(none.exitCode, 3);
    EXPECT_THAT(none.err, HasSubstr("vorna: -gui needs a display (DISPLAY is not set)"));
    const VornaRun absent =
        runProgram(VORNA_BINARY, {"-gui"}, {"DISPLAY=:987", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM=xcb"}, {}, 60);
    EXPECT_NE(absent.exitCode, timedOutExitCode) << "no answer within a minute";
    EXPECT_NE(absent.exitCode, 0);
    EXPECT_THAT(absent.err, HasSubstr(":987"));
}
}  // namespace
