// Writes a file so that a failed write never destroys the previous one: the
// text goes to a temporary file in the same folder, which replaces the old file
// only when commit() has written, flushed and closed it without error.
#pragma once
#include <cstdio>
#include <string>

class HxSafeFile {
public:
    explicit HxSafeFile(const std::string& path);
    ~HxSafeFile();  // discards the temporary file unless committed
    HxSafeFile(const HxSafeFile&) = delete;
    HxSafeFile& operator=(const HxSafeFile&) = delete;

    // The stream to write to; null when the temporary file could not be created
    // (error() says why).
    FILE* stream() const { return fp; }
    // Finishes the write and puts the file in place; false (and the old file
    // untouched) when anything failed.
    bool commit();
    const std::string& error() const { return errorText; }

private:
    void discard();
    std::string target;
    std::string temporary;
    FILE* fp = nullptr;
    std::string errorText;
};
