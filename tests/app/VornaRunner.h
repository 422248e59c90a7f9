// Runs vorna (or another program) and collects what it printed.
#pragma once
#include <string>
#include <vector>

struct VornaRun {
    int exitCode = -1;
    std::string out, err;
};

// Runs `program` with `args` in `workDir` (a fresh folder when empty), with the
// extra environment ("NAME=value"), ended after `timeoutSeconds` (0: never),
// reading `input` on its standard input.
VornaRun runProgram(const std::string& program, const std::vector<std::string>& args,
                    const std::vector<std::string>& environment = {}, const std::string& workDir = {},
                    unsigned int timeoutSeconds = 0, const std::string& input = {});
// Runs vorna on `script`, written to script.tcl in `dir` (a fresh folder when empty).
VornaRun runVornaScript(const std::string& script, const std::vector<std::string>& environment = {},
                        std::string dir = {});
std::string makeTempDir();
std::string slurp(const std::string& file);

// Tcl: a keyframe path "Flight" of three keyframes looking at the origin, 20
// seconds long; the second keyframe's position is (10.5, 2, 0).
extern const char* const flightScript;
