// Script evaluation with status and result checked together; a fixture that leaves the session empty.
#pragma once
#include <hxcore/HxInterpreter.h>
#include <hxcore/HxMessage.h>
#include <hxcore/HxObject.h>
#include <hxcore/HxObjectPool.h>
#include <viewer/HxController.h>

#include <gtest/gtest.h>
#include <string>
#include <tcl.h>

inline std::string evalExpecting(int code, const std::string& script) {
    EXPECT_EQ(theInterpreter->eval(script.c_str()), code) << script << "\nresult: " << theInterpreter->result();
    return theInterpreter->result();
}
inline std::string evalOk(const std::string& script) { return evalExpecting(TCL_OK, script); }
inline std::string evalError(const std::string& script) { return evalExpecting(TCL_ERROR, script); }

class SessionTest : public ::testing::Test {
protected:
    void TearDown() override {
        theObjectPool->clear();
        theController->reset();
        theMsg->clear();
    }
};
