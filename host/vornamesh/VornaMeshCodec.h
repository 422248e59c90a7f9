// Private to the data-file library: the constants of the file layout and the
// helpers that the writer and the reader share (text escaping, numbers,
// checksums, byte order, the HxEncrypt keystream, zlib), plus the one mapping
// from a primitive type code to its C++ type.
#pragma once
#include <vornamesh/VornaMesh.h>

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <string>
#include <system_error>
#include <vector>

namespace vornamesh {

constexpr int kMajorVersion = 1;
constexpr int kMinorVersion = 0;
constexpr char kMagic[] = "VornaMesh ";  // the first bytes of every file
constexpr std::size_t kMagicLength = sizeof(kMagic) - 1;
constexpr std::size_t kMaxFirstLine = 200;
constexpr char kCrcKeyword[] = "header-crc";
constexpr char kCodecName[] = "HxEncrypt";
constexpr int kMaxBundleDepth = 64;  // levels of bundles below parameters/parameters2
// Deflate turns at most 1032 bytes into one; a claim beyond that is a damaged size.
constexpr unsigned long long kMaxDeflateRatio = 1032;
constexpr std::size_t kHexBytesPerLine = 32;
constexpr bool kHostIsBigEndian = __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__;
// The fuzz build reads past wrong checksums, so that mutated inputs reach the
// parsing behind them; every other build refuses them.
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
constexpr bool kCheckChecksums = false;
#else
constexpr bool kCheckChecksums = true;
#endif

constexpr int kNumTypes = 6;
extern const char* const kTypeNames[kNumTypes];  // by PrimType code, as the header spells them
extern const char kHexDigits[];                  // "0123456789abcdef"

// A primitive type as a C++ type, for the visitor below.
template <class T>
struct TypeTag {
    using type = T;
};

// Calls `visit(TypeTag<T>{})` with the C++ type T of primitive type code
// `primType` and returns its result; `unknown` when the code is none of them.
// The one place where a type code becomes a C++ type.
template <class Result, class Visitor>
Result visitPrimType(int primType, Visitor&& visit, Result unknown) {
    switch (primType) {
        case VornaMesh::Byte:
            return visit(TypeTag<std::uint8_t>{});
        case VornaMesh::Int16:
            return visit(TypeTag<std::int16_t>{});
        case VornaMesh::Int32:
            return visit(TypeTag<std::int32_t>{});
        case VornaMesh::Float:
            return visit(TypeTag<float>{});
        case VornaMesh::Double:
            return visit(TypeTag<double>{});
        case VornaMesh::Int64:
            return visit(TypeTag<std::int64_t>{});
        default:
            return unknown;
    }
}

const char* byteOrderName(bool bigEndian);
std::string quoted(const std::string& s);

// Bytes of data of that shape; false when the count does not fit in memory.
bool rawByteCount(long long nNodes, int nComponents, int primType, std::size_t& bytes);

int hexValue(char c);
// Printable ASCII stays; '"' and '\' are escaped; every other byte becomes \xHH,
// so that a header is pure text whatever the names and values hold.
void appendEscaped(std::string& out, const std::string& s);
void appendQuoted(std::string& out, const std::string& s);

// Integers in decimal; floating point in the shortest form that reads back to
// the same bits, independent of the locale.
template <typename T>
void appendNumber(std::string& out, T value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof(buffer), value);
    out.append(buffer, result.ptr);
}

// The whole of [begin, end) as one number; false on anything else.
template <typename T>
bool parseNumber(const char* begin, const char* end, T& value) {
    if (begin == end) return false;
    const auto result = std::from_chars(begin, end, value);
    return result.ec == std::errc() && result.ptr == end;
}

template <typename T>
bool parseNumber(const std::string& s, T& value) {
    return parseNumber(s.data(), s.data() + s.size(), value);
}

std::string crcText(std::uint32_t crc);
// "0x" and exactly eight lowercase hex digits: one spelling only, so that no
// changed byte in a checksum field goes unnoticed.
bool parseCrc(const std::string& s, std::uint32_t& crc);
std::uint32_t crcOf(const unsigned char* bytes, std::size_t n);
std::uint32_t crcOf(const std::string& s);

// Reverses each value's bytes in place.
void swapBytes(unsigned char* bytes, std::size_t n, int valueSize);
// HxEncrypt: applying it twice restores the bytes.
void applyKeystream(const std::string& dataName, unsigned char* bytes, std::size_t n);

bool deflateBytes(const unsigned char* in, std::size_t n, std::vector<unsigned char>& out);
// Inflates exactly `expected` bytes; the output grows only as data really comes
// out, so a false size claim costs no memory. False with `problem` set otherwise.
bool inflateBytes(const unsigned char* in, std::size_t n, std::size_t expected, std::vector<unsigned char>& out,
                  std::string& problem);

}  // namespace vornamesh
