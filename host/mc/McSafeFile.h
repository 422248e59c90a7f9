// Saves a file so that a failed save never destroys the previous one: the bytes
// go to a temporary file in the same folder, which replaces the old file only
// when every write, the flush to the disk and the close succeeded. Every save in
// the host goes through it (a library's own "atomic" save may report success
// after a failed final flush).
#pragma once
#include <cstddef>
#include <cstdio>
#include <string>
#include <sys/types.h>
#include <vector>

class McSafeFile {
public:
    explicit McSafeFile(const std::string& path);
    ~McSafeFile();  // discards the temporary file unless committed
    McSafeFile(const McSafeFile&) = delete;
    McSafeFile& operator=(const McSafeFile&) = delete;

    // Appends bytes; false once anything failed.
    bool write(const void* bytes, std::size_t n);
    bool write(const std::string& text) { return write(text.data(), text.size()); }
    // A stdio stream onto this file (for fprintf and the Inventor library's
    // output), checked like write(); null when the file could not be created.
    // It belongs to this object and is closed by commit().
    FILE* stream();
    // Moves the write position, as lseek does (for formats that go back to
    // fill in a header); the new position, or -1 once anything failed.
    off_t seek(off_t offset, int whence);

    // Writes out what is buffered, syncs it to the disk, closes the file and
    // renames it over the target; false (the old file untouched, the temporary
    // gone) when anything failed. Inside a Batch the rename waits for the batch.
    bool commit();

    bool failed() const { return errorCode != 0; }
    // "cannot write "path": reason" after a failure, else empty.
    std::string error() const;
    // The system's error number of the first failure (0: none).
    int errorNumber() const { return errorCode; }

    // Saves that land together or not at all (a saved network and its data
    // files): while a batch exists, a commit() in this thread leaves its checked
    // file under its temporary name, and the batch's commit() renames them all,
    // undoing the ones already made when one fails. A batch destroyed without
    // commit() discards its files.
    class Batch {
    public:
        Batch();
        ~Batch();
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;
        bool commit();
        // The first failure of a save in the batch or of its commit(), else empty.
        const std::string& error() const { return errorText; }

    private:
        friend class McSafeFile;
        struct Staged {
            std::string temporary, target, backup;
            bool existed;  // the target was there before
        };
        void undo(std::size_t renamed);
        std::vector<Staged> staged;
        Batch* outer = nullptr;
        std::string errorText;
    };

private:
    static ssize_t cookieWrite(void* self, const char* bytes, std::size_t n);
    bool writeThrough(const char* bytes, std::size_t n);
    void fail(int code);
    void discard();
    std::string target;
    std::string temporary;
    int fd = -1;
    FILE* fp = nullptr;
    int errorCode = 0;
};
