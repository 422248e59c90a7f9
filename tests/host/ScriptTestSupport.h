// Script evaluation for host tests: a script runs in the session's interpreter,
// and its status and result are checked together, so a failure shows both.
#pragma once
#include <hxcore/HxInterpreter.h>

#include <gtest/gtest.h>
#include <string>
#include <tcl.h>

struct ScriptResult {
    int code;
    std::string text;
};

inline ScriptResult runScript(const std::string& script) {
    const int code = theInterpreter->eval(script.c_str());
    return {code, theInterpreter->result()};
}

// The result of a script that must succeed.
inline std::string evalOk(const std::string& script) {
    ScriptResult r = runScript(script);
    EXPECT_EQ(r.code, TCL_OK) << "script: " << script << "\nresult: " << r.text;
    return r.text;
}

// The error message of a script that must fail.
inline std::string evalError(const std::string& script) {
    ScriptResult r = runScript(script);
    EXPECT_EQ(r.code, TCL_ERROR) << "script: " << script << "\nresult: " << r.text;
    return r.text;
}
