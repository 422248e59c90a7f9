// The data-file library: a VornaMesh holds two parameter bundles, locations
// (named grids with dimensions) and data defined on them (a primitive type, a
// number of components, the values, and an optional codec). It writes and reads
// one self-describing, versioned file format, in a binary and an ASCII form;
// docs/vornamesh-format.md describes the layout.
//
// Codec "HxEncrypt": the values are scrambled with a keystream derived from a
// fixed, public seed and the data's name, so that the file's content cannot be
// read or searched with a text viewer or by accident. It protects against
// casual reading only. It is NOT encryption: anybody with this library (or the
// format description) restores the values, and it neither hides the names,
// sizes and parameters nor protects against tampering beyond what the block
// checksum detects.
#pragma once
#include <vornamesh/HxParamBundle.h>

#include <cstddef>
#include <deque>
#include <memory>
#include <string>
#include <vector>

class QIODevice;

class VornaMesh {
public:
    // Primitive types of data values, by their code.
    enum PrimType { Byte = 0, Int16 = 1, Int32 = 2, Float = 3, Double = 4, Int64 = 5 };
    static int primTypeSize(int primType);  // bytes per value, 0 for an unknown code

    struct Location {
        std::string name;
        std::vector<int> dims;
        long long nNodes() const;  // product of the dimensions
    };

    struct Data {
        std::string name;
        std::string location;
        int primType = Byte;
        int nComponents = 1;
        std::vector<unsigned char> values;  // nNodes * nComponents values, in host byte order
        std::string codec;                  // "" or "HxEncrypt"
    };

    HxParamBundle parameters;   // the data object's parameters
    HxParamBundle parameters2;  // the data object's second bundle

    // Adds a location; returns null (and adds nothing) when the name is taken,
    // empty, or a dimension is not positive.
    Location* insertLocation(const char* name, int nDims, const int* dims);
    const Location* findLocation(const char* name) const;

    // Adds data on an existing location, copying nBytes of `values`, which must be
    // exactly nNodes * nComponents * primTypeSize bytes. Returns null (and adds
    // nothing) when that does not hold, the location is missing, or the name is
    // taken on that location.
    Data* insertData(const char* location, const char* name, int primType, int nComponents, const void* values,
                     std::size_t nBytes);
    // The data on `location` named `name` with that many components and that
    // primitive type (-1: any type); null when there is none.
    Data* findData(const char* location, int primType, int nComponents, const char* name);
    const Data* findData(const char* location, int primType, int nComponents, const char* name) const;
    // Sets a data's codec: "" (none) or "HxEncrypt"; false for an unknown codec.
    static bool setCodec(Data& data, const char* codec);

    // Elements stay where they are when more are inserted.
    const std::deque<Location>& locations() const { return locationList; }
    const std::deque<Data>& data() const { return dataList; }

    // Writes the file atomically (a complete, checked temporary file in the same
    // folder is renamed over the old one, so a failed write leaves an existing
    // file untouched). `ascii`: the text form; `comment`: an optional line for
    // the header (null for none). `nativeByteOrder`: binary values in this
    // machine's byte order, otherwise big-endian. `compress`: data blocks
    // compressed with zlib. Returns 1 on success, 0 on failure with `lastError()`
    // set.
    int write(const char* file, bool ascii, const char* comment, bool nativeByteOrder, bool compress);

    // Reads a file; null on failure with `error` naming the file and what is
    // wrong (not such a file, unsupported version, truncated, checksum mismatch,
    // bad sizes, unknown codec...).
    static std::unique_ptr<VornaMesh> read(const char* file, std::string& error);
    // Reads a file's `size` bytes from memory, refusing what read() refuses;
    // `name` stands for the file in messages.
    static std::unique_ptr<VornaMesh> read(const void* bytes, std::size_t size, const char* name, std::string& error);

    const std::string& lastError() const { return errorText; }

private:
    static std::unique_ptr<VornaMesh> readFrom(const char* name, QIODevice& device, std::string& error);

    std::deque<Location> locationList;
    std::deque<Data> dataList;
    std::string errorText;
};
