// Widgets need one QApplication per process; tests that build widgets call
// this first. The application lives until the program ends. Like vorna, it
// sets the C library's number format back to "C" after Qt took the locale's.
#pragma once
#include <QApplication>
#include <clocale>

inline void ensureWidgetApplication() {
    static int argc = 1;
    static char programName[] = "vorna_test";
    static char* argv[] = {programName, nullptr};
    static QApplication app(argc, argv);
    static const char* numbers = std::setlocale(LC_NUMERIC, "C");
    (void)numbers;
}
