#include "VornaRunner.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sys/wait.h>

const char* const flightScript = R"(
create HxKeyframeCameraPath Flight
viewer 0 setCamera 0 0 10   0 0 0   0 1 0
Flight append
viewer 0 setCamera 10.5 2 0 0 0 0   0 1 0
Flight append
viewer 0 setCamera 0 4 -10  0 0 0   0 1 0
Flight append
Flight fire
)";

std::string slurp(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::string makeTempDir() {
    char pattern[] = "/tmp/vorna-test-XXXXXX";
    return mkdtemp(pattern) ? pattern : "/tmp";
}

static std::string quoted(const std::string& word) {
    std::string text = "'";
    for (char c : word) text += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return text + "'";
}

VornaRun runProgram(const std::string& program, const std::vector<std::string>& args,
                    const std::vector<std::string>& environment, const std::string& workDir,
                    unsigned int timeoutSeconds, const std::string& input) {
    const std::string dir = workDir.empty() ? makeTempDir() : workDir;
    std::ofstream(dir + "/stdin.txt") << input;
    std::string command = "cd " + quoted(dir) + " && exec env";
    for (const std::string& e : environment) command += " " + quoted(e);
    if (timeoutSeconds > 0) command += " timeout " + std::to_string(timeoutSeconds);
    command += " " + quoted(program);
    for (const std::string& a : args) command += " " + quoted(a);
    const int status = std::system((command + " <stdin.txt >stdout.txt 2>stderr.txt").c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), slurp(dir + "/stdout.txt"),
            slurp(dir + "/stderr.txt")};
}

VornaRun runVornaScript(const std::string& script, const std::vector<std::string>& environment, std::string dir) {
    if (dir.empty()) dir = makeTempDir();
    std::ofstream(dir + "/script.tcl") << script;
    return runProgram(VORNA_BINARY, {dir + "/script.tcl"}, environment, dir);
}
