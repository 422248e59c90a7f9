#include "VornaApplication.h"

#include "VornaMainWindow.h"

#include <hxcore/HxApplication.h>
#include <hxcore/HxInterpreter.h>
#include <hxcore/HxMessage.h>
#include <hxcore/HxPackageLoader.h>
#include <hxcore/HxUndoHistory.h>
#include <session/HxSession.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <cerrno>
#include <clocale>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <editline/readline.h>
#include <string>
#include <vector>
#include <tcl.h>
#include <xcb/xcb.h>  // after every Qt header

namespace {
// Ports build Qt widgets, so a widget application is needed even in batch.
// Without a window it draws them offscreen unless the user chose a platform.
QApplication* makeQtApplication(int& argc, char** argv, bool offscreen) {
    if (offscreen && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt wants a private runtime folder; make the one it would fall back to,
    // rather than have it warn in every run.
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QByteArray dir = QDir::tempPath().toLocal8Bit() + "/runtime-" + QByteArray::number(getuid());
        if (mkdir(dir.constData(), 0700) == 0 || errno == EEXIST) qputenv("XDG_RUNTIME_DIR", dir);
    }
    auto* app = new QApplication(argc, argv);
    // Qt has set the C library's locale from the environment; numbers in
    // scripts, results and files are always written and read with a point.
    std::setlocale(LC_NUMERIC, "C");
    return app;
}

bool displaySet() { return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"); }

// Qt gives up on an X display it cannot open by aborting the program; it is
// tried here first. Empty when the window can go ahead, else the reason.
std::string unreachableDisplay() {
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    const bool x11 = !platform.isEmpty() ? platform.startsWith("xcb") : qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (!x11 || qEnvironmentVariableIsEmpty("DISPLAY")) return {};
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    const bool failed = xcb_connection_has_error(connection) != 0;
    xcb_disconnect(connection);
    return failed ? "cannot open display \"" + qgetenv("DISPLAY").toStdString() + "\"" : std::string();
}

QCommandLineOption guiOption() { return QCommandLineOption("gui", "Run the scripts in the window, then stay in it."); }
}  // namespace

VornaApplication::VornaApplication(int& argCount, char** args) : argc(argCount), argv(args) {}

VornaApplication::~VornaApplication() { finish(); }

void VornaApplication::finish() {
    window.reset();
    HxSession::shutdown();
    qtApp.reset();
}

int VornaApplication::run() {
    QCommandLineParser parser;
    parser.setApplicationDescription("vorna: a 3D-visualisation host for camera paths");
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(guiOption());
    parser.addPositionalArgument("scripts", "Tcl scripts to run, in order.", "[script.tcl ...]");

    // The mode decides how Qt starts, so the options are read before it does;
    // what is wrong with them is reported once Qt runs.
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    parser.parse(arguments);
    const bool gui = parser.isSet("gui");
    bool windowed = gui || (parser.positionalArguments().isEmpty() && displaySet());
    if (gui && !displaySet()) {
        theMsg->programError("vorna: -gui needs a display (DISPLAY is not set)");
        return 3;
    }
    if (windowed) {
        const std::string reason = unreachableDisplay();
        if (!reason.empty() && gui) {
            theMsg->programError("vorna: -gui: %s", reason.c_str());
            return 3;
        }
        if (!reason.empty()) {
            theMsg->programError("vorna: %s; offering the prompt instead of the window", reason.c_str());
            windowed = false;
        }
    }

    qtApp.reset(makeQtApplication(argc, argv, !windowed));
    QCoreApplication::setApplicationName("vorna");
    QCoreApplication::setApplicationVersion(VORNA_VERSION);
    parser.process(*qtApp);

    // In the window the console pane shows the messages.
    theMsg->setEchoToStdout(!windowed);
    HxSession::start();
    // A script's "exit" ends the program the same way as returning from main.
    HxSession::setProgramEnd([this] { finish(); });
    if (!loadPackages()) return 2;

    const QStringList scripts = parser.positionalArguments();
    if (windowed) return runWindow(scripts);
    return scripts.isEmpty() ? runPrompt() : runScripts(scripts);
}

bool VornaApplication::loadPackages() {
    // The camera-path package is required; every other package found beside the
    // program or on the search path is loaded after it.
    const std::vector<std::string> dirs = HxPackageLoader::defaultSearchDirs();
    std::string error;
    bool loaded = HxApplication::packages().load("vevazaru", dirs, error);
    for (const HxPackageLoader::Found& package : HxPackageLoader::findAll(dirs))
        loaded = loaded && HxApplication::packages().loadFile(package.name, package.libraryPath, error);
    if (loaded) return true;
    theMsg->programError("vorna: %s", error.c_str());
    return false;
}

int VornaApplication::runScripts(const QStringList& scripts) {
    for (const QString& script : scripts) {
        const QByteArray file = script.toLocal8Bit();
        const int code = theInterpreter->evalFile(file.constData());
        if (theInterpreter->quitRequested()) return theInterpreter->quitCode();
        if (code != TCL_OK) {
            theMsg->programError("vorna: %s: %s", file.constData(), theInterpreter->errorInfo().c_str());
            return 1;
        }
    }
    return 0;
}

int VornaApplication::runPrompt() {
    theMsg->printf("vorna: type Tcl commands; \"quit\" or end of input leaves.");
    while (char* line = readline("vorna> ")) {
        std::string text(line);
        std::free(line);
        if (text.empty()) continue;
        add_history(text.c_str());
        const int code = theInterpreter->eval(text.c_str());
        if (theInterpreter->quitRequested()) return theInterpreter->quitCode();
        const std::string result = theInterpreter->result();
        // Results are messages like any other; each ends its line, even one
        // that ends in a newline of its own.
        if (code != TCL_OK)
            theMsg->error("%s\n", result.c_str());
        else if (!result.empty())
            theMsg->printf("%s\n", result.c_str());
    }
    return 0;
}

int VornaApplication::runWindow(const QStringList& scripts) {
    // Before any script: viewer 0 is made in the window.
    window = std::make_unique<VornaMainWindow>();
    QObject::connect(window.get(), &VornaMainWindow::quitRequested, qtApp.get(),
                     [](int code) { QCoreApplication::exit(code); });
    window->show();
    QCoreApplication::processEvents();
    for (const QString& script : scripts) {
        const QByteArray file = script.toLocal8Bit();
        theMsg->printf("vorna: running %s", file.constData());
        const int code = theInterpreter->evalFile(file.constData());
        if (theInterpreter->quitRequested()) return theInterpreter->quitCode();
        if (code != TCL_OK) {
            // The window stays, with the error in its console.
            const std::string trace = theInterpreter->errorInfo();
            theMsg->error("%s: %s", file.constData(), trace.c_str());
            theMsg->programError("vorna: %s: %s", file.constData(), trace.c_str());
            break;
        }
        theUndoHistory->setSessionFile(file.toStdString());
    }
    return qtApp->exec();
}
