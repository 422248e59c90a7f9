// A fresh folder for a benchmark's files, removed with them when the program ends.
#pragma once
#include <cstdlib>
#include <filesystem>
#include <string>

inline const std::string& benchTempDir() {
    static struct Dir {
        std::string path;
        Dir() {
            char pattern[] = "/tmp/vorna-bench-XXXXXX";
            if (!mkdtemp(pattern)) std::abort();
            path = pattern;
        }
        ~Dir() { std::filesystem::remove_all(path); }
    } dir;
    return dir.path;
}
