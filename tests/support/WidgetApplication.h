// Widgets need one QApplication per process; tests that build widgets call
// this first. The application lives until the program ends.
#pragma once
#include <QApplication>

inline void ensureWidgetApplication() {
    static int argc = 1;
    static char programName[] = "vorna_test";
    static char* argv[] = {programName, nullptr};
    static QApplication app(argc, argv);
}
