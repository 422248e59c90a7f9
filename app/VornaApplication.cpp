#include "VornaApplication.h"

#include <hxcore/HxApplication.h>
#include <hxcore/HxInterpreter.h>
#include <hxcore/HxMessage.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <editline/readline.h>
#include <string>
#include <tcl.h>

namespace {
// Ports build Qt widgets, so a widget application is needed even in batch. Until
// the program has a window, it draws them offscreen unless the user chose a
// platform.
QApplication* makeQtApplication(int& argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt wants a private runtime folder; make the one it would fall back to,
    // rather than have it warn in every batch run.
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QByteArray dir = QDir::tempPath().toLocal8Bit() + "/runtime-" + QByteArray::number(getuid());
        if (mkdir(dir.constData(), 0700) == 0 || errno == EEXIST) qputenv("XDG_RUNTIME_DIR", dir);
    }
    return new QApplication(argc, argv);
}
}  // namespace

VornaApplication::VornaApplication(int& argc, char** argv) : qtApp(makeQtApplication(argc, argv)) {
    QCoreApplication::setApplicationName("vorna");
    QCoreApplication::setApplicationVersion("0.1");
}

VornaApplication::~VornaApplication() { HxApplication::shutdown(); }

int VornaApplication::run() {
    QCommandLineParser parser;
    parser.setApplicationDescription("vorna: a 3D-visualisation host for camera paths");
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument("scripts", "Tcl scripts to run, in order.", "[script.tcl ...]");
    parser.process(*qtApp);

    theMsg->setEchoToStdout(true);
    HxApplication::initCommands();
    if (!loadPackages()) return 2;

    const QStringList scripts = parser.positionalArguments();
    return scripts.isEmpty() ? runPrompt() : runScripts(scripts);
}

bool VornaApplication::loadPackages() {
    std::string error;
    if (HxApplication::packages().load("vevazaru", HxPackageLoader::defaultSearchDirs(), error)) return true;
    std::fprintf(stderr, "vorna: %s\n", error.c_str());
    return false;
}

int VornaApplication::runScripts(const QStringList& scripts) {
    for (const QString& script : scripts) {
        const QByteArray file = script.toLocal8Bit();
        const int code = theInterpreter->evalFile(file.constData());
        if (theInterpreter->quitRequested()) return theInterpreter->quitCode();
        if (code != TCL_OK) {
            std::fflush(stdout);
            std::fprintf(stderr, "vorna: %s: %s\n", file.constData(), theInterpreter->errorInfo().c_str());
            return 1;
        }
    }
    return 0;
}

int VornaApplication::runPrompt() {
    std::printf("vorna: type Tcl commands; \"quit\" or end of input leaves.\n");
    while (char* line = readline("vorna> ")) {
        std::string text(line);
        std::free(line);
        if (text.empty()) continue;
        add_history(text.c_str());
        const int code = theInterpreter->eval(text.c_str());
        if (theInterpreter->quitRequested()) return theInterpreter->quitCode();
        const std::string result = theInterpreter->result();
        if (code != TCL_OK)
            std::printf("Error: %s\n", result.c_str());
        else if (!result.empty())
            std::printf("%s\n", result.c_str());
        std::fflush(stdout);
    }
    return 0;
}
