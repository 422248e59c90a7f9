// The vorna program: loads the package, runs scripts in batch or offers a Tcl
// prompt at the terminal.
#pragma once
#include <QStringList>
#include <memory>

class QApplication;

class VornaApplication {
public:
    VornaApplication(int& argc, char** argv);
    ~VornaApplication();
    int run();

private:
    bool loadPackages();
    int runScripts(const QStringList& scripts);
    int runPrompt();

    std::unique_ptr<QApplication> qtApp;
};
