// The helpers both forms of the data file share: text, numbers, checksums,
// byte order, the HxEncrypt keystream, zlib.
#include "VornaMeshCodec.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <zlib.h>

namespace vornamesh {

const char* const kTypeNames[kNumTypes] = {"byte", "int16", "int32", "float", "double", "int64"};
const char kHexDigits[] = "0123456789abcdef";

const char* byteOrderName(bool bigEndian) { return bigEndian ? "big-endian" : "little-endian"; }

std::string quoted(const std::string& s) { return '"' + s + '"'; }

namespace {
bool mulOverflows(unsigned long long a, unsigned long long b, unsigned long long& product) {
    return __builtin_mul_overflow(a, b, &product);
}
}  // namespace

bool rawByteCount(long long nNodes, int nComponents, int primType, std::size_t& bytes) {
    const int size = VornaMesh::primTypeSize(primType);
    if (nNodes <= 0 || nComponents <= 0 || size == 0) return false;
    unsigned long long values = 0, total = 0;
    if (mulOverflows(static_cast<unsigned long long>(nNodes), static_cast<unsigned long long>(nComponents), values) ||
        mulOverflows(values, static_cast<unsigned long long>(size), total) || total > SIZE_MAX / 2)
        return false;
    bytes = static_cast<std::size_t>(total);
    return true;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void appendEscaped(std::string& out, const std::string& s) {
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7f) {
            out += "\\x";
            out += kHexDigits[c >> 4];
            out += kHexDigits[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
}

void appendQuoted(std::string& out, const std::string& s) {
    out += '"';
    appendEscaped(out, s);
    out += '"';
}

std::string crcText(std::uint32_t crc) {
    std::string s = "0x";
    for (int shift = 28; shift >= 0; shift -= 4) s += kHexDigits[(crc >> shift) & 15];
    return s;
}

bool parseCrc(const std::string& s, std::uint32_t& crc) {
    if (s.size() != 10 || s[0] != '0' || s[1] != 'x') return false;
    crc = 0;
    for (std::size_t i = 2; i < s.size(); ++i) {
        const int v = hexValue(s[i]);
        if (v < 0 || (s[i] >= 'A' && s[i] <= 'F')) return false;
        crc = (crc << 4) | static_cast<std::uint32_t>(v);
    }
    return true;
}

std::uint32_t crcOf(const unsigned char* bytes, std::size_t n) {
    uLong crc = crc32(0L, Z_NULL, 0);
    while (n > 0) {
        const uInt chunk = static_cast<uInt>(std::min<std::size_t>(n, 1u << 30));
        crc = crc32(crc, bytes, chunk);
        bytes += chunk;
        n -= chunk;
    }
    return static_cast<std::uint32_t>(crc);
}

std::uint32_t crcOf(const std::string& s) { return crcOf(reinterpret_cast<const unsigned char*>(s.data()), s.size()); }

void swapBytes(unsigned char* bytes, std::size_t n, int valueSize) {
    if (valueSize <= 1) return;
    for (std::size_t i = 0; i + static_cast<std::size_t>(valueSize) <= n; i += static_cast<std::size_t>(valueSize))
        std::reverse(bytes + i, bytes + i + valueSize);
}

// HxEncrypt: XOR with a SplitMix64 keystream whose start is the FNV-1a hash of
// the data's name mixed with a fixed seed. Applying it twice restores the bytes.
void applyKeystream(const std::string& dataName, unsigned char* bytes, std::size_t n) {
    std::uint64_t state = 0xcbf29ce484222325ull;
    for (unsigned char c : dataName) {
        state ^= c;
        state *= 0x100000001b3ull;
    }
    state ^= 0x4878456e63727970ull;  // the public seed
    for (std::size_t i = 0; i < n; i += 8) {
        state += 0x9e3779b97f4a7c15ull;
        std::uint64_t z = state;
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        z ^= z >> 31;
        for (std::size_t k = 0; k < 8 && i + k < n; ++k) bytes[i + k] ^= static_cast<unsigned char>(z >> (8 * k));
    }
}

constexpr std::size_t kZlibChunk = 1u << 30;  // zlib counts in 32 bits

bool deflateBytes(const unsigned char* in, std::size_t n, std::vector<unsigned char>& out) {
    z_stream s{};
    if (deflateInit(&s, Z_DEFAULT_COMPRESSION) != Z_OK) return false;
    out.resize(deflateBound(&s, n));
    std::size_t inPos = 0, outPos = 0;
    int rc = Z_OK;
    while (rc != Z_STREAM_END) {
        if (outPos == out.size()) out.resize(out.size() * 2 + 64);
        s.next_in = const_cast<Bytef*>(in + inPos);
        s.avail_in = static_cast<uInt>(std::min(n - inPos, kZlibChunk));
        s.next_out = out.data() + outPos;
        s.avail_out = static_cast<uInt>(std::min(out.size() - outPos, kZlibChunk));
        const uInt inBefore = s.avail_in, outBefore = s.avail_out;
        const bool lastInput = inPos + inBefore == n;
        rc = deflate(&s, lastInput ? Z_FINISH : Z_NO_FLUSH);
        inPos += inBefore - s.avail_in;
        outPos += outBefore - s.avail_out;
        if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) break;
    }
    deflateEnd(&s);
    out.resize(outPos);
    return rc == Z_STREAM_END;
}

bool inflateBytes(const unsigned char* in, std::size_t n, std::size_t expected, std::vector<unsigned char>& out,
                  std::string& problem) {
    z_stream s{};
    if (inflateInit(&s) != Z_OK) {
        problem = "zlib cannot start";
        return false;
    }
    out.resize(std::min(expected, std::max<std::size_t>(n * 4, 1u << 16)));
    std::size_t inPos = 0, outPos = 0;
    unsigned char spare = 0;
    int rc = Z_OK;
    while (problem.empty()) {
        if (outPos == out.size() && out.size() < expected) out.resize(std::min(expected, out.size() * 2));
        const bool full = outPos == out.size();
        s.next_in = const_cast<Bytef*>(in + inPos);
        s.avail_in = static_cast<uInt>(std::min(n - inPos, kZlibChunk));
        s.next_out = full ? &spare : out.data() + outPos;
        s.avail_out = full ? 1 : static_cast<uInt>(std::min(out.size() - outPos, kZlibChunk));
        const uInt inBefore = s.avail_in, outBefore = s.avail_out;
        rc = inflate(&s, Z_NO_FLUSH);
        const std::size_t consumed = inBefore - s.avail_in, produced = outBefore - s.avail_out;
        inPos += consumed;
        if (!full) outPos += produced;
        if (full && produced > 0)
            problem = "its compressed block holds more than the " + std::to_string(expected) + " bytes it should";
        else if (rc == Z_STREAM_END)
            break;
        else if (rc == Z_BUF_ERROR && consumed == 0 && produced == 0)
            problem = "its compressed block ends early";
        else if (rc != Z_OK && rc != Z_BUF_ERROR)
            problem = std::string("its compressed block is not valid zlib data (") + (s.msg ? s.msg : "error") + ")";
    }
    inflateEnd(&s);
    if (problem.empty() && outPos != expected)
        problem =
            "its compressed block holds " + std::to_string(outPos) + " bytes instead of " + std::to_string(expected);
    if (problem.empty() && inPos != n) problem = "its compressed block has bytes after the compressed stream";
    return problem.empty();
}

}  // namespace vornamesh
