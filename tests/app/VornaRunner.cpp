#include "VornaRunner.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {
std::string slurp(const std::string& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}
}  // namespace

const char* const roundingProc = R"(
proc r {values} {
    set out {}
    foreach x $values {
        set s [format %.3f $x]
        if {$s eq "-0.000"} { set s 0.000 }
        lappend out $s
    }
    return $out
}
)";

std::string makeTempDir() {
    char pattern[] = "/tmp/vorna-test-XXXXXX";
    const char* dir = mkdtemp(pattern);
    return dir ? dir : "/tmp";
}

const int timedOutExitCode = 128 + SIGALRM;

VornaRun runProgram(const std::string& program, const std::vector<std::string>& args,
                    const std::vector<std::string>& environment, const std::string& workDir,
                    unsigned int timeoutSeconds) {
    const std::string dir = workDir.empty() ? makeTempDir() : workDir;
    const std::string outFile = dir + "/stdout.txt", errFile = dir + "/stderr.txt";
    VornaRun run;
    pid_t pid = fork();
    if (pid == 0) {
        int out = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int in = open("/dev/null", O_RDONLY);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        if (chdir(dir.c_str()) != 0) _exit(126);
        for (const std::string& e : environment) putenv(const_cast<char*>(e.c_str()));
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        // A pending alarm survives exec; its default action ends the program.
        if (timeoutSeconds > 0) {
            std::signal(SIGALRM, SIG_DFL);
            alarm(timeoutSeconds);
        }
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.out = slurp(outFile);
    run.err = slurp(errFile);
    return run;
}

VornaRun runVornaScript(const std::string& script, const std::vector<std::string>& environment) {
    const std::string dir = makeTempDir();
    const std::string file = dir + "/script.tcl";
    std::ofstream(file) << script;
    return runProgram(VORNA_BINARY, {file}, environment, dir);
}
