// Script evaluation for host tests, status and result checked together, and a
// fixture that leaves the session empty.
#pragma once
#include <hxcore/HxInterpreter.h>
#include <hxcore/HxMessage.h>
#include <hxcore/HxObject.h>
#include <hxcore/HxObjectPool.h>
#include <viewer/HxController.h>

#include <cstdio>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <sstream>
#include <string>
#include <tcl.h>
#include <vector>

inline std::string evalExpecting(int code, const std::string& script) {
    EXPECT_EQ(theInterpreter->eval(script.c_str()), code) << script << "\nresult: " << theInterpreter->result();
    return theInterpreter->result();
}
inline std::string evalOk(const std::string& script) { return evalExpecting(TCL_OK, script); }
inline std::string evalError(const std::string& script) { return evalExpecting(TCL_ERROR, script); }
inline std::vector<std::string> words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> out;
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}
// What `write` puts into a file.
inline std::string writtenBy(const std::function<void(FILE*)>& write) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::tmpfile(), &std::fclose);
    write(file.get());
    std::rewind(file.get());
    std::string text;
    for (char buffer[256]; std::fgets(buffer, sizeof buffer, file.get());) text += buffer;
    return text;
}

class SessionTest : public ::testing::Test {
protected:
    void TearDown() override {
        theObjectPool->clear();
        theController->reset();
        theMsg->clear();
    }
};
