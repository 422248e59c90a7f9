// The vorna program: loads the package, then runs scripts in batch, offers a Tcl
// prompt at the terminal, or opens the window.
//   vorna script.tcl ...        batch, offscreen; exits with the scripts' status
//   vorna                       the window when there is a display, else the prompt
//   vorna -gui [script.tcl ...] the scripts in the window, which then stays open
#pragma once
#include <QStringList>
#include <memory>

class QApplication;
class VornaMainWindow;

class VornaApplication {
public:
    VornaApplication(int& argc, char** argv);
    ~VornaApplication();
    int run();

private:
    // Closes the window, shuts the host down and ends Qt, in that order.
    void finish();
    bool loadPackages();
    int runScripts(const QStringList& scripts);
    int runPrompt();
    int runWindow(const QStringList& scripts);

    int& argc;
    char** argv;
    std::unique_ptr<QApplication> qtApp;
    std::unique_ptr<VornaMainWindow> window;
};
