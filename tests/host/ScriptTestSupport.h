// Script evaluation for host tests: status and result are checked together.
#pragma once
#include <hxcore/HxInterpreter.h>

#include <cstdio>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <sstream>
#include <string>
#include <tcl.h>
#include <vector>

struct ScriptResult {
    int code;
    std::string text;
};
inline ScriptResult runScript(const std::string& script) {
    const int code = theInterpreter->eval(script.c_str());
    return {code, theInterpreter->result()};
}
inline std::string evalOk(const std::string& script) {
    ScriptResult r = runScript(script);
    EXPECT_EQ(r.code, TCL_OK) << "script: " << script << "\nresult: " << r.text;
    return r.text;
}
inline std::string evalError(const std::string& script) {
    ScriptResult r = runScript(script);
    EXPECT_EQ(r.code, TCL_ERROR) << "script: " << script << "\nresult: " << r.text;
    return r.text;
}
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
