// Runs the built vorna program on a script and collects what it printed.
#pragma once
#include <string>
#include <vector>

struct VornaRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Writes `script` to a file in a fresh temporary folder and runs
// `vorna file` there, with the given extra environment ("NAME=value").
VornaRun runVornaScript(const std::string& script, const std::vector<std::string>& environment = {});
// Runs a given vorna binary with arguments. With a timeout, a program still
// running after that many seconds is ended by SIGALRM (exit code
// timedOutExitCode).
VornaRun runProgram(const std::string& program, const std::vector<std::string>& args,
                    const std::vector<std::string>& environment = {}, const std::string& workDir = {},
                    unsigned int timeoutSeconds = 0);
extern const int timedOutExitCode;
std::string makeTempDir();

// Tcl: "r list" rounds each number of a list to three decimals, without
// negative zeros, so scripts can print coordinates that compare exactly.
extern const char* const roundingProc;
