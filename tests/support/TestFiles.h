// A temporary folder owned by a test, with whole-file reads and writes.
#pragma once
#include <QTemporaryDir>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

inline std::string slurp(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

struct TempFolder {
    std::string path(const std::string& name = "") const {
        return dir.path().toStdString() + (name.empty() ? "" : "/" + name);
    }
    // Writes a new file (never rewrites one in place) and returns its path.
    std::string write(const std::string& name, const std::string& bytes) const {
        std::remove(path(name).c_str());
        std::ofstream(path(name), std::ios::binary) << bytes;
        return path(name);
    }
    QTemporaryDir dir;
};
