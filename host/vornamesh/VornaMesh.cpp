// The data-file library. The file layout is described in docs/vornamesh-format.md;
// this file is ordered by concern: the in-memory model, the text and byte
// helpers both forms share, the writer, the reader.
#include <mc/McSafeFile.h>
#include <vornamesh/VornaMesh.h>

#include <QBuffer>
#include <QFile>
#include <QString>

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdint>
#include <cstring>
#include <map>
#include <set>
#include <utility>
#include <zlib.h>

namespace {
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

const char* const kTypeNames[] = {"byte", "int16", "int32", "float", "double", "int64"};
constexpr int kNumTypes = 6;

const char* byteOrderName(bool bigEndian) { return bigEndian ? "big-endian" : "little-endian"; }

std::string quoted(const std::string& s) { return '"' + s + '"'; }

bool mulOverflows(unsigned long long a, unsigned long long b, unsigned long long& product) {
    return __builtin_mul_overflow(a, b, &product);
}

// Bytes of data of that shape; false when the count does not fit in memory.
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
}  // namespace

// ---------------------------------------------------------------------------
// The model

int VornaMesh::primTypeSize(int primType) {
    static const int sizes[kNumTypes] = {1, 2, 4, 4, 8, 8};  // by PrimType code
    return primType >= 0 && primType < kNumTypes ? sizes[primType] : 0;
}

// -1 when the product does not fit a long long (only possible for dimensions
// changed after insertLocation, which refuses such locations).
long long VornaMesh::Location::nNodes() const {
    long long n = 1;
    for (int d : dims)
        if (__builtin_mul_overflow(n, static_cast<long long>(d), &n)) return -1;
    return n;
}

VornaMesh::Location* VornaMesh::insertLocation(const char* name, int nDims, const int* dims) {
    if (!name || !*name || nDims < 0 || (nDims > 0 && !dims) || findLocation(name)) return nullptr;
    Location location;
    location.name = name;
    location.dims.assign(dims, dims + nDims);
    for (int d : location.dims)
        if (d <= 0) return nullptr;
    if (location.nNodes() < 0) return nullptr;  // more nodes than a long long counts
    locationList.push_back(std::move(location));
    return &locationList.back();
}

const VornaMesh::Location* VornaMesh::findLocation(const char* name) const {
    if (!name) return nullptr;
    for (const Location& l : locationList)
        if (l.name == name) return &l;
    return nullptr;
}

VornaMesh::Data* VornaMesh::insertData(const char* location, const char* name, int primType, int nComponents,
                                       const void* values, std::size_t nBytes) {
    const Location* where = findLocation(location);
    std::size_t expected = 0;
    if (!where || !name || !*name || (nBytes > 0 && !values) ||
        !rawByteCount(where->nNodes(), nComponents, primType, expected) || nBytes != expected)
        return nullptr;
    for (const Data& d : dataList)
        if (d.location == location && d.name == name) return nullptr;
    Data data;
    data.name = name;
    data.location = location;
    data.primType = primType;
    data.nComponents = nComponents;
    const auto* bytes = static_cast<const unsigned char*>(values);
    data.values.assign(bytes, bytes + nBytes);
    dataList.push_back(std::move(data));
    return &dataList.back();
}

const VornaMesh::Data* VornaMesh::findData(const char* location, int primType, int nComponents,
                                           const char* name) const {
    if (!location || !name) return nullptr;
    for (const Data& d : dataList) {
        if (d.location == location && d.name == name && d.nComponents == nComponents &&
            (primType == -1 || d.primType == primType))
            return &d;
    }
    return nullptr;
}

VornaMesh::Data* VornaMesh::findData(const char* location, int primType, int nComponents, const char* name) {
    return const_cast<Data*>(static_cast<const VornaMesh*>(this)->findData(location, primType, nComponents, name));
}

bool VornaMesh::setCodec(Data& data, const char* codec) {
    if (!codec || (*codec && std::strcmp(codec, kCodecName) != 0)) return false;
    data.codec = codec;
    return true;
}

// ---------------------------------------------------------------------------
// Helpers of both forms: text, numbers, checksums, byte order, codec, zlib

namespace {
const char kHexDigits[] = "0123456789abcdef";

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Printable ASCII stays; '"' and '\' are escaped; every other byte becomes \xHH,
// so that a header is pure text whatever the names and values hold.
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

template <typename T>
void appendNumber(std::string& out, T value) {
    char buffer[64];
    // Integers in decimal; floating point in the shortest form that reads back
    // to the same bits, independent of the locale.
    const auto result = std::to_chars(buffer, buffer + sizeof(buffer), value);
    out.append(buffer, result.ptr);
}

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

std::string crcText(std::uint32_t crc) {
    std::string s = "0x";
    for (int shift = 28; shift >= 0; shift -= 4) s += kHexDigits[(crc >> shift) & 15];
    return s;
}

// "0x" and exactly eight lowercase hex digits: one spelling only, so that no
// changed byte in a checksum field goes unnoticed.
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

// Inflates exactly `expected` bytes; the output grows only as data really comes
// out, so a false size claim costs no memory.
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
}  // namespace

// ---------------------------------------------------------------------------
// Writing

namespace {
void appendBundle(std::string& out, const HxParamBundle& bundle, int depth) {
    const std::string indent(static_cast<std::size_t>(depth) * 4, ' ');
    for (int i = 0; i < bundle.size(); ++i) {
        const HxParamBundle::Param& p = bundle.at(i);
        out += indent;
        switch (p.kind) {
            case HxParamBundle::Param::Text:
                out += "text ";
                appendQuoted(out, p.name);
                out += ' ';
                appendQuoted(out, p.text);
                break;
            case HxParamBundle::Param::Integers:
                out += "integers ";
                appendQuoted(out, p.name);
                out += ' ';
                appendNumber(out, p.integers.size());
                for (long long v : p.integers) {
                    out += ' ';
                    appendNumber(out, v);
                }
                break;
            case HxParamBundle::Param::Reals:
                out += "reals ";
                appendQuoted(out, p.name);
                out += ' ';
                appendNumber(out, p.reals.size());
                for (double v : p.reals) {
                    out += ' ';
                    appendNumber(out, v);
                }
                break;
            case HxParamBundle::Param::Bundle:
                out += "bundle ";
                appendQuoted(out, p.name);
                out += " {\n";
                appendBundle(out, *p.bundle, depth + 1);
                out += indent + "}";
                break;
        }
        out += '\n';
    }
}

// Levels of bundles nested in `bundle`, exact up to `limit`, limit + 1 beyond.
int nestingDepth(const HxParamBundle& bundle, int limit) {
    int deepest = 0;
    for (int i = 0; i < bundle.size(); ++i) {
        const HxParamBundle::Param& p = bundle.at(i);
        if (p.kind != HxParamBundle::Param::Bundle || !p.bundle) continue;
        if (limit == 0) return 1;
        deepest = std::max(deepest, 1 + nestingDepth(*p.bundle, limit - 1));
    }
    return deepest;
}

// What a writer refuses: anything the reader would refuse. The model's fields are
// public, so they may have been changed after insertion.
bool checkWritable(const std::deque<VornaMesh::Location>& locations, const std::deque<VornaMesh::Data>& data,
                   const HxParamBundle& parameters, const HxParamBundle& parameters2, std::string& problem) {
    if (nestingDepth(parameters, kMaxBundleDepth) > kMaxBundleDepth ||
        nestingDepth(parameters2, kMaxBundleDepth) > kMaxBundleDepth) {
        problem = "parameter bundles are nested deeper than " + std::to_string(kMaxBundleDepth) + " levels";
        return false;
    }
    std::map<std::string, const VornaMesh::Location*> byName;
    for (const VornaMesh::Location& l : locations) {
        if (l.name.empty() || !byName.emplace(l.name, &l).second) {
            problem = "location name " + quoted(l.name) + " is empty or used twice";
            return false;
        }
        bool positive = true;
        for (int d : l.dims) positive = positive && d > 0;
        if (!positive || l.nNodes() < 0) {
            problem = "location " + quoted(l.name) + " has a dimension that is not positive or too many nodes";
            return false;
        }
    }
    std::set<std::pair<std::string, std::string>> dataNames;
    for (const VornaMesh::Data& d : data) {
        const std::string what = "data " + quoted(d.name) + " on " + quoted(d.location);
        const auto found = byName.find(d.location);
        const VornaMesh::Location* location = found == byName.end() ? nullptr : found->second;
        std::size_t expected = 0;
        if (d.name.empty() || !dataNames.insert({d.location, d.name}).second) {
            problem = what + ": the name is empty or used twice";
        } else if (!location) {
            problem = what + ": there is no such location";
        } else if (!rawByteCount(location->nNodes(), d.nComponents, d.primType, expected)) {
            problem = what + ": bad primitive type or component count";
        } else if (d.values.size() != expected) {
            problem = what + ": holds " + std::to_string(d.values.size()) + " bytes, its shape needs " +
                      std::to_string(expected);
        } else if (!d.codec.empty() && d.codec != kCodecName) {
            problem = what + ": unknown codec " + quoted(d.codec);
        }
        if (!problem.empty()) return false;
    }
    return true;
}

// The bytes of one data block as the file stores them.
struct EncodedBlock {
    std::vector<unsigned char> owned;
    const unsigned char* bytes = nullptr;
    std::size_t size = 0;
    bool compressed = false;
    std::uint32_t crc = 0;
};

void appendValueText(std::string& out, const unsigned char* p, int primType) {
    switch (primType) {
        case VornaMesh::Byte:
            appendNumber(out, static_cast<unsigned>(*p));
            break;
        case VornaMesh::Int16: {
            std::int16_t v;
            std::memcpy(&v, p, sizeof v);
            appendNumber(out, v);
            break;
        }
        case VornaMesh::Int32: {
            std::int32_t v;
            std::memcpy(&v, p, sizeof v);
            appendNumber(out, v);
            break;
        }
        case VornaMesh::Float: {
            float v;
            std::memcpy(&v, p, sizeof v);
            appendNumber(out, v);
            break;
        }
        case VornaMesh::Double: {
            double v;
            std::memcpy(&v, p, sizeof v);
            appendNumber(out, v);
            break;
        }
        case VornaMesh::Int64: {
            std::int64_t v;
            std::memcpy(&v, p, sizeof v);
            appendNumber(out, v);
            break;
        }
        default:
            break;
    }
}

// One node per line, its components separated by spaces.
std::vector<unsigned char> valuesAsText(const VornaMesh::Data& d) {
    const std::size_t valueSize = static_cast<std::size_t>(VornaMesh::primTypeSize(d.primType));
    const std::size_t perNode = static_cast<std::size_t>(d.nComponents);
    const std::size_t count = d.values.size() / valueSize;
    std::string text;
    text.reserve(count * 4);
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0) text += i % perNode == 0 ? '\n' : ' ';
        appendValueText(text, d.values.data() + i * valueSize, d.primType);
    }
    return std::vector<unsigned char>(text.begin(), text.end());
}

std::vector<unsigned char> bytesAsHex(const unsigned char* bytes, std::size_t n) {
    std::vector<unsigned char> hex;
    hex.reserve(n * 2 + n / kHexBytesPerLine);
    for (std::size_t i = 0; i < n; ++i) {
        if (i > 0 && i % kHexBytesPerLine == 0) hex.push_back('\n');
        hex.push_back(static_cast<unsigned char>(kHexDigits[bytes[i] >> 4]));
        hex.push_back(static_cast<unsigned char>(kHexDigits[bytes[i] & 15]));
    }
    return hex;
}

// Values in the file's byte order, then compressed, then scrambled: compressing
// scrambled bytes would gain nothing.
bool encodeBlock(const VornaMesh::Data& d, bool ascii, bool bigEndian, bool compress, EncodedBlock& block) {
    block.compressed = compress;
    if (ascii && !compress && d.codec.empty()) {
        block.owned = valuesAsText(d);
    } else {
        const unsigned char* current = d.values.data();
        std::size_t size = d.values.size();
        if (bigEndian != kHostIsBigEndian && VornaMesh::primTypeSize(d.primType) > 1) {
            block.owned.assign(current, current + size);
            swapBytes(block.owned.data(), size, VornaMesh::primTypeSize(d.primType));
            current = block.owned.data();
        }
        if (compress) {
            std::vector<unsigned char> packed;
            if (!deflateBytes(current, size, packed)) return false;
            block.owned = std::move(packed);
            current = block.owned.data();
            size = block.owned.size();
        }
        if (!d.codec.empty()) {
            if (current != block.owned.data()) block.owned.assign(current, current + size);
            applyKeystream(d.name, block.owned.data(), size);
            current = block.owned.data();
        }
        if (ascii) {
            block.owned = bytesAsHex(current, size);
        } else if (current != block.owned.data()) {
            block.bytes = current;  // the values themselves, unchanged: no copy
            block.size = size;
        }
    }
    if (!block.bytes) {
        block.bytes = block.owned.data();
        block.size = block.owned.size();
    }
    block.crc = crcOf(block.bytes, block.size);
    return true;
}

std::string headerText(const VornaMesh& mesh, const std::vector<EncodedBlock>& blocks, bool ascii, bool bigEndian,
                       const char* comment) {
    std::string h = std::string(kMagic) + std::to_string(kMajorVersion) + "." + std::to_string(kMinorVersion) +
                    (ascii ? " ascii " : " binary ") + byteOrderName(bigEndian) + "\n";
    if (comment && *comment) {
        h += "# ";
        appendEscaped(h, comment);
        h += '\n';
    }
    h += "parameters {\n";
    appendBundle(h, mesh.parameters, 1);
    h += "}\nparameters2 {\n";
    appendBundle(h, mesh.parameters2, 1);
    h += "}\n";
    for (const VornaMesh::Location& l : mesh.locations()) {
        h += "location ";
        appendQuoted(h, l.name);
        for (int d : l.dims) {
            h += ' ';
            appendNumber(h, d);
        }
        h += '\n';
    }
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const VornaMesh::Data& d = mesh.data()[i];
        h += "data ";
        appendQuoted(h, d.name);
        h += " location ";
        appendQuoted(h, d.location);
        h += std::string(" type ") + kTypeNames[d.primType] + " components " + std::to_string(d.nComponents) +
             " codec " + (d.codec.empty() ? "none" : kCodecName) + " compression " +
             (blocks[i].compressed ? "zlib" : "none") + " size " + std::to_string(blocks[i].size) + " crc " +
             crcText(blocks[i].crc) + "\n";
    }
    h += std::string(kCrcKeyword) + " " + crcText(crcOf(h)) + "\n";
    return h;
}

}  // namespace

int VornaMesh::write(const char* file, bool ascii, const char* comment, bool nativeByteOrder, bool compress) {
    errorText.clear();
    if (!file || !*file) {
        errorText = "VornaMesh::write: no file name given";
        return 0;
    }
    const std::string path = file;
    std::string problem;
    if (!checkWritable(locationList, dataList, parameters, parameters2, problem)) {
        errorText = path + ": cannot write: " + problem;
        return 0;
    }
    const bool bigEndian = nativeByteOrder ? kHostIsBigEndian : true;
    std::vector<EncodedBlock> blocks(dataList.size());
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        if (!encodeBlock(dataList[i], ascii, bigEndian, compress, blocks[i])) {
            errorText = path + ": cannot write: zlib failed to compress data " + quoted(dataList[i].name);
            return 0;
        }
    }
    const std::string header = headerText(*this, blocks, ascii, bigEndian, comment);

    McSafeFile out(path);
    bool ok = out.write(header);
    for (std::size_t i = 0; ok && i < blocks.size(); ++i)
        ok = out.write("@" + std::to_string(i + 1) + "\n") && out.write(blocks[i].bytes, blocks[i].size) &&
             out.write("\n", 1);
    // On any failure the temporary file goes and an existing file stays as it was.
    if (!ok || !out.commit()) {
        errorText = path + ": cannot write: " + std::strerror(out.errorNumber());
        return 0;
    }
    return 1;
}

// ---------------------------------------------------------------------------
// Reading

namespace {
struct Token {
    std::string text;
    bool quoted = false;
};

bool isHeaderByte(unsigned char c) { return (c >= 0x20 && c < 0x7f) || c == '\n' || c == '\t' || c == '\r'; }
bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// Splits a header line into bare words and quoted strings; false (with `problem`)
// on a broken string.
bool splitLine(const char* p, const char* end, std::vector<Token>& tokens, std::string& problem) {
    tokens.clear();
    while (true) {
        while (p < end && isSpace(*p)) ++p;
        if (p == end) return true;
        Token t;
        if (*p == '"') {
            t.quoted = true;
            ++p;
            while (p < end && *p != '"') {
                if (*p != '\\') {
                    t.text += *p++;
                    continue;
                }
                if (end - p >= 2 && (p[1] == '"' || p[1] == '\\')) {
                    t.text += p[1];
                    p += 2;
                } else if (end - p >= 4 && p[1] == 'x' && hexValue(p[2]) >= 0 && hexValue(p[3]) >= 0) {
                    t.text += static_cast<char>(hexValue(p[2]) * 16 + hexValue(p[3]));
                    p += 4;
                } else {
                    problem = "a bad escape sequence in a string";
                    return false;
                }
            }
            if (p == end) {
                problem = "a string without its closing quote";
                return false;
            }
            ++p;
            if (p < end && !isSpace(*p)) {
                problem = "no space after a string";
                return false;
            }
        } else {
            while (p < end && !isSpace(*p)) {
                if (*p == '"') {
                    problem = "a quote inside a word";
                    return false;
                }
                t.text += *p++;
            }
        }
        tokens.push_back(std::move(t));
    }
}

bool isWord(const Token& t, const char* word) { return !t.quoted && t.text == word; }

// Names and texts reach the model as C strings, which end at a NUL.
bool hasNul(const std::string& s) { return s.find('\0') != std::string::npos; }

// What HxParamBundle accepts as a name: not empty, no control characters.
bool isValidParamName(const std::string& name) {
    if (name.empty()) return false;
    for (unsigned char c : name)
        if (c < 0x20 || c == 0x7f) return false;
    return true;
}

// What the header announces about one data block.
struct BlockInfo {
    VornaMesh::Data data;  // without values yet
    bool compressed = false;
    unsigned long long size = 0;
    std::uint32_t crc = 0;
    std::size_t rawBytes = 0;
};

struct Header {
    bool ascii = false;
    bool bigEndian = false;
    int minor = 0;
    HxParamBundle parameters, parameters2;
    std::vector<VornaMesh::Location> locations;
    std::map<std::string, std::size_t> locationIndex;
    std::vector<BlockInfo> blocks;
    std::set<std::pair<std::string, std::string>> dataNames;  // (location, name)
    std::size_t length = 0;                                   // bytes up to and including the header-crc line
};

class HeaderParser {
public:
    HeaderParser(const std::string& header, std::size_t begin, std::size_t stop, bool newerMinor)
        : text(header), pos(begin), end(stop), tolerant(newerMinor) {}

    bool parse(Header& header);
    const std::string& error() const { return problem; }

private:
    bool nextLine();
    bool fail(const std::string& what);
    bool parseBundle(HxParamBundle& bundle, int depth);
    bool parseParam(HxParamBundle& bundle, int depth);
    bool parseLocation(Header& header);
    bool parseData(Header& header);
    bool parseCount(const Token& t, std::size_t available, int& count);

    const std::string& text;
    std::size_t pos, end;
    bool tolerant;       // the file is of a newer minor version: skip what we do not know
    int lineNumber = 1;  // the first line is read before
    std::vector<Token> tokens;
    std::string problem;
};

bool HeaderParser::fail(const std::string& what) {
    if (problem.empty()) problem = "header line " + std::to_string(lineNumber) + ": " + what;
    return false;
}

// The next line with content (blank lines and # comments skipped) in `tokens`;
// false at the end of the header or on a broken line.
bool HeaderParser::nextLine() {
    while (pos < end) {
        const std::size_t newline = text.find('\n', pos);
        const std::size_t lineEnd = newline == std::string::npos || newline > end ? end : newline;
        const char* begin = text.data() + pos;
        const char* stop = text.data() + lineEnd;
        pos = lineEnd + 1;
        ++lineNumber;
        while (begin < stop && isSpace(*begin)) ++begin;
        if (begin == stop || *begin == '#') continue;
        std::string what;
        if (!splitLine(begin, stop, tokens, what)) return fail(what);
        return true;
    }
    return false;
}

bool HeaderParser::parseCount(const Token& t, std::size_t available, int& count) {
    long long n = 0;
    if (t.quoted || !parseNumber(t.text, n)) return fail("the count " + quoted(t.text) + " is not a number");
    if (n < 0) return fail("the count " + t.text + " is negative");
    if (static_cast<unsigned long long>(n) != available)
        return fail("the count says " + t.text + " values, the line has " + std::to_string(available));
    if (n > INT_MAX) return fail("too many values");
    count = static_cast<int>(n);
    return true;
}

bool HeaderParser::parseParam(HxParamBundle& bundle, int depth) {
    const std::string kind = tokens[0].text;
    if (tokens.size() < 2 || !tokens[1].quoted) return fail(kind + ": the parameter name is missing");
    const std::string name = tokens[1].text;
    if (!isValidParamName(name)) return fail("bad parameter name " + quoted(name));
    if (bundle.find(name.c_str())) return fail("parameter " + quoted(name) + " appears twice");
    if (isWord(tokens[0], "text")) {
        if (tokens.size() != 3 || !tokens[2].quoted) return fail("text " + quoted(name) + ": expected one string");
        if (hasNul(tokens[2].text)) return fail("text " + quoted(name) + ": a text cannot hold a NUL byte");
        return bundle.set(name.c_str(), tokens[2].text.c_str(), HxParamBundle::Replace);
    }
    if (isWord(tokens[0], "integers") || isWord(tokens[0], "reals")) {
        const bool reals = tokens[0].text == "reals";
        int n = 0;
        if (tokens.size() < 3 || !parseCount(tokens[2], tokens.size() - 3, n)) return fail(kind + ": no count");
        std::vector<long long> integers(reals ? 0 : static_cast<std::size_t>(n));
        std::vector<double> doubles(reals ? static_cast<std::size_t>(n) : 0);
        for (int i = 0; i < n; ++i) {
            const Token& t = tokens[static_cast<std::size_t>(i) + 3];
            const bool ok = !t.quoted && (reals ? parseNumber(t.text, doubles[static_cast<std::size_t>(i)])
                                                : parseNumber(t.text, integers[static_cast<std::size_t>(i)]));
            if (!ok) return fail(kind + " " + quoted(name) + ": " + quoted(t.text) + " is not a valid value");
        }
        return reals ? bundle.set(name.c_str(), n, doubles.data(), HxParamBundle::Replace)
                     : bundle.set(name.c_str(), n, integers.data(), HxParamBundle::Replace);
    }
    if (isWord(tokens[0], "bundle")) {
        if (tokens.size() != 3 || !isWord(tokens[2], "{")) return fail("bundle " + quoted(name) + ": expected {");
        if (depth >= kMaxBundleDepth)
            return fail("bundles nested deeper than " + std::to_string(kMaxBundleDepth) + " levels");
        return parseBundle(bundle.bundle(name.c_str()), depth + 1);
    }
    return fail("unknown parameter kind " + quoted(kind));
}

// The lines of a bundle up to its closing brace.
bool HeaderParser::parseBundle(HxParamBundle& bundle, int depth) {
    while (nextLine()) {
        if (tokens[0].quoted) return fail("a line starts with a string");
        if (tokens.size() == 1 && isWord(tokens[0], "}")) return true;
        if (!parseParam(bundle, depth)) return false;
    }
    return fail("a bundle is not closed before the end of the header");
}

bool HeaderParser::parseLocation(Header& header) {
    if (tokens.size() < 2 || !tokens[1].quoted || tokens[1].text.empty() || hasNul(tokens[1].text))
        return fail("location: the name is missing, empty or holds a NUL byte");
    VornaMesh::Location location;
    location.name = tokens[1].text;
    if (header.locationIndex.count(location.name)) return fail("location " + quoted(location.name) + " appears twice");
    for (std::size_t i = 2; i < tokens.size(); ++i) {
        long long d = 0;
        if (tokens[i].quoted || !parseNumber(tokens[i].text, d))
            return fail("location " + quoted(location.name) + ": " + quoted(tokens[i].text) + " is not a number");
        if (d <= 0 || d > INT_MAX)
            return fail("location " + quoted(location.name) + ": dimension " + tokens[i].text +
                        " is not a positive int");
        location.dims.push_back(static_cast<int>(d));
    }
    if (location.nNodes() < 0)
        return fail("location " + quoted(location.name) +
                    ": the dimensions multiply to more nodes than fit a long long");
    header.locationIndex[location.name] = header.locations.size();
    header.locations.push_back(std::move(location));
    return true;
}

bool HeaderParser::parseData(Header& header) {
    // data "name" location "loc" type T components C codec X compression Z size S crc 0xHHHHHHHH
    static const char* const keys[] = {"location", "type", "components", "codec", "compression", "size", "crc"};
    if (tokens.size() < 2 || !tokens[1].quoted || tokens[1].text.empty() || hasNul(tokens[1].text))
        return fail("data: the name is missing, empty or holds a NUL byte");
    BlockInfo b;
    b.data.name = tokens[1].text;
    const std::string what = "data " + quoted(b.data.name);
    for (std::size_t k = 0; k < 7; ++k) {
        const std::size_t i = 2 + 2 * k;
        if (tokens.size() < i + 2 || !isWord(tokens[i], keys[k]))
            return fail(what + ": expected " + keys[k] +
                        " (fields: location type components codec compression "
                        "size crc, in that order)");
    }
    if (tokens.size() > 16 && !tolerant) return fail(what + ": unexpected text after the crc");
    const Token& location = tokens[3];
    const Token& type = tokens[5];
    const Token& components = tokens[7];
    const Token& codec = tokens[9];
    const Token& compression = tokens[11];
    const Token& size = tokens[13];
    const Token& crc = tokens[15];

    const auto found = location.quoted ? header.locationIndex.find(location.text) : header.locationIndex.end();
    if (found == header.locationIndex.end())
        return fail(what + ": location " + quoted(location.text) + " is not declared before it");
    const VornaMesh::Location* where = &header.locations[found->second];
    b.data.location = location.text;
    if (!header.dataNames.emplace(b.data.location, b.data.name).second)
        return fail(what + " on " + quoted(b.data.location) + " appears twice");

    b.data.primType = -1;
    for (int t = 0; t < kNumTypes; ++t)
        if (isWord(type, kTypeNames[t])) b.data.primType = t;
    if (b.data.primType < 0) return fail(what + ": unknown primitive type " + quoted(type.text));
    long long n = 0;
    if (components.quoted || !parseNumber(components.text, n) || n < 1 || n > INT_MAX)
        return fail(what + ": the component count " + quoted(components.text) + " is not a positive int");
    b.data.nComponents = static_cast<int>(n);
    if (isWord(codec, kCodecName))
        b.data.codec = kCodecName;
    else if (!isWord(codec, "none"))
        return fail(what + ": unknown codec " + quoted(codec.text));
    if (isWord(compression, "zlib"))
        b.compressed = true;
    else if (!isWord(compression, "none"))
        return fail(what + ": unknown compression " + quoted(compression.text));
    long long stored = 0;
    if (size.quoted || !parseNumber(size.text, stored) || stored < 0)
        return fail(what + ": the block size " + quoted(size.text) + " is not a count of bytes");
    b.size = static_cast<unsigned long long>(stored);
    if (crc.quoted || !parseCrc(crc.text, b.crc))
        return fail(what + ": the crc " + quoted(crc.text) + " is not 0x and eight lowercase hex digits");

    if (!rawByteCount(where->nNodes(), b.data.nComponents, b.data.primType, b.rawBytes))
        return fail(what + ": " + std::to_string(where->nNodes()) + " nodes of " + components.text + " " + type.text +
                    " values are more than any memory holds");
    // The block's own size bounds what it can hold; these checks keep a damaged
    // count from ever reaching an allocation.
    const unsigned long long raw = b.rawBytes;
    const bool plainText = header.ascii && !b.compressed && b.data.codec.empty();
    const unsigned long long storedBytes = header.ascii && !plainText ? b.size / 2 : b.size;
    const int valueSize = VornaMesh::primTypeSize(b.data.primType);
    bool fits = true;
    if (plainText)  // each value takes a digit and a separator, the last no separator
        fits = raw / static_cast<unsigned long long>(valueSize) <= (b.size + 1) / 2;
    else if (b.compressed)
        fits = raw / kMaxDeflateRatio <= storedBytes + 1;
    else
        fits = header.ascii ? raw <= storedBytes : raw == storedBytes;
    if (!fits)
        return fail(what + ": a block of " + size.text + " bytes cannot hold its " + std::to_string(raw) +
                    " bytes of values");
    header.blocks.push_back(std::move(b));
    return true;
}

bool HeaderParser::parse(Header& header) {
    bool seenParameters = false, seenParameters2 = false;
    while (nextLine()) {
        const Token& keyword = tokens[0];
        if (keyword.quoted) return fail("a line starts with a string");
        if (isWord(keyword, "parameters") || isWord(keyword, "parameters2")) {
            const bool second = keyword.text == "parameters2";
            bool& seen = second ? seenParameters2 : seenParameters;
            if (seen) return fail(keyword.text + " appears twice");
            if (tokens.size() != 2 || !isWord(tokens[1], "{")) return fail(keyword.text + ": expected {");
            seen = true;
            if (!parseBundle(second ? header.parameters2 : header.parameters, 0)) return false;
        } else if (isWord(keyword, "location")) {
            if (!parseLocation(header)) return false;
        } else if (isWord(keyword, "data")) {
            if (!parseData(header)) return false;
        } else if (!tolerant) {
            return fail("unknown keyword " + quoted(keyword.text));
        }
    }
    return problem.empty();
}

// The file being read: its name for messages, its size, and reads that say what
// went wrong.
class FileReader {
public:
    // `name` stands for the file in messages; `source` holds its bytes.
    FileReader(const char* name, QIODevice& source) : path(name), device(source) {}

    bool open() {
        if (!device.open(QIODevice::ReadOnly)) return fail("cannot open: " + device.errorString().toStdString());
        fileSize = static_cast<unsigned long long>(std::max<qint64>(0, device.size()));
        return true;
    }
    bool readHeader(Header& header);
    bool readBlocks(Header& header, std::vector<VornaMesh::Data>& data);
    bool fail(const std::string& what) {
        if (problem.empty()) problem = path + ": " + what;
        return false;
    }
    const std::string& error() const { return problem; }

private:
    bool readMore(std::string& buffer);
    bool readExact(unsigned char* into, std::size_t n, const std::string& what);
    bool parseFirstLine(const std::string& line, Header& header);
    bool decodeBlock(BlockInfo& b, std::size_t index, std::vector<unsigned char>& stored, bool bigEndian, bool ascii);

    std::string path;
    QIODevice& device;
    unsigned long long fileSize = 0;
    std::string problem;
};

// Appends the next piece of the file; false at its end or on a read error.
bool FileReader::readMore(std::string& buffer) {
    char chunk[1 << 16];
    const qint64 n = device.read(chunk, sizeof chunk);
    if (n < 0) return fail("read error: " + device.errorString().toStdString());
    buffer.append(chunk, static_cast<std::size_t>(n));
    return n > 0;
}

bool FileReader::readExact(unsigned char* into, std::size_t n, const std::string& what) {
    std::size_t done = 0;
    while (done < n) {
        const qint64 got = device.read(reinterpret_cast<char*>(into) + done,
                                       static_cast<qint64>(std::min<std::size_t>(n - done, 1u << 30)));
        if (got < 0) return fail("read error in " + what + ": " + device.errorString().toStdString());
        if (got == 0) return fail("truncated in " + what);
        done += static_cast<std::size_t>(got);
    }
    return true;
}

bool FileReader::parseFirstLine(const std::string& line, Header& header) {
    std::vector<Token> tokens;
    std::string what;
    if (!splitLine(line.data(), line.data() + line.size(), tokens, what) || tokens.size() < 2)
        return fail("the first line is not a VornaMesh first line");
    // The version first: a newer major version may change everything after it.
    const std::string& version = tokens[1].text;
    const std::size_t dot = version.find('.');
    int major = 0, minor = 0;
    if (tokens[1].quoted || dot == std::string::npos || dot > 6 || version.size() - dot > 7 ||
        !parseNumber(version.data(), version.data() + dot, major) ||
        !parseNumber(version.data() + dot + 1, version.data() + version.size(), minor) || major < 0 || minor < 0)
        return fail("bad format version " + quoted(version));
    if (major > kMajorVersion)
        return fail("format version " + version + " is newer than this library reads (" +
                    std::to_string(kMajorVersion) + ".x); a newer vorna is needed");
    if (major < kMajorVersion) return fail("format version " + version + " is not supported");
    header.minor = minor;
    if (tokens.size() != 4) return fail("the first line should be \"VornaMesh <version> <form> <byte order>\"");
    if (isWord(tokens[2], "binary") || isWord(tokens[2], "ascii"))
        header.ascii = tokens[2].text == "ascii";
    else
        return fail("unknown form " + quoted(tokens[2].text) + " (binary or ascii)");
    if (isWord(tokens[3], "big-endian") || isWord(tokens[3], "little-endian"))
        header.bigEndian = tokens[3].text == "big-endian";
    else
        return fail("unknown byte order " + quoted(tokens[3].text) + " (big-endian or little-endian)");
    return true;
}

bool FileReader::readHeader(Header& header) {
    std::string buffer;
    while (buffer.size() < kMagicLength && readMore(buffer)) {}
    if (!problem.empty()) return false;
    if (buffer.empty()) return fail("the file is empty");
    if (buffer.compare(0, kMagicLength, kMagic, std::min(buffer.size(), kMagicLength)) != 0)
        return fail("not a VornaMesh file (it does not start with \"VornaMesh \")");
    if (buffer.size() < kMagicLength) return fail("truncated after " + std::to_string(buffer.size()) + " bytes");

    // Lines up to the header-crc line. Header bytes are text; meeting anything
    // else means the header is damaged, or its end is, and the data has begun.
    std::size_t scanned = 0, lineStart = 0, firstLineEnd = 0;
    int line = 1;
    while (true) {
        if (scanned == buffer.size() && !readMore(buffer)) {
            if (!problem.empty()) return false;
            return fail("truncated in the header (line " + std::to_string(line) + ", no header-crc line)");
        }
        const auto c = static_cast<unsigned char>(buffer[scanned]);
        if (!isHeaderByte(c))
            return fail("header line " + std::to_string(line) + ": byte 0x" + kHexDigits[c >> 4] + kHexDigits[c & 15] +
                        " at offset " + std::to_string(scanned) +
                        " is not text; the header is damaged or has no header-crc line");
        if (line == 1 && scanned >= kMaxFirstLine) return fail("the first line is too long for a VornaMesh file");
        ++scanned;
        if (c != '\n') continue;
        const std::string text = buffer.substr(lineStart, scanned - 1 - lineStart);
        if (line == 1) {
            if (!parseFirstLine(text, header)) return false;
            firstLineEnd = scanned;
        } else if (text.compare(0, sizeof(kCrcKeyword) - 1, kCrcKeyword) == 0) {
            std::uint32_t stored = 0;
            if (text.size() != sizeof(kCrcKeyword) + 10 || text[sizeof(kCrcKeyword) - 1] != ' ' ||
                !parseCrc(text.substr(sizeof(kCrcKeyword)), stored))
                return fail("header line " + std::to_string(line) +
                            ": expected \"header-crc 0x\" and eight lowercase hex digits");
            const std::uint32_t computed = crcOf(reinterpret_cast<const unsigned char*>(buffer.data()), lineStart);
            if (computed != stored && kCheckChecksums)
                return fail("header checksum mismatch (the file says " + crcText(stored) + ", its header gives " +
                            crcText(computed) + "): the header is damaged");
            header.length = scanned;
            break;
        }
        lineStart = scanned;
        ++line;
    }
    HeaderParser parser(buffer, firstLineEnd, lineStart, header.minor > kMinorVersion);
    if (!parser.parse(header)) return fail(parser.error());
    return true;
}

bool FileReader::readBlocks(Header& header, std::vector<VornaMesh::Data>& data) {
    // The header gives the exact length of the file: check it before reading on.
    unsigned long long expected = header.length;
    for (std::size_t i = 0; i < header.blocks.size(); ++i) {
        const BlockInfo& b = header.blocks[i];
        if (b.size > fileSize)
            return fail("data " + quoted(b.data.name) + ": its block of " + std::to_string(b.size) +
                        " bytes is larger than the whole file (" + std::to_string(fileSize) + " bytes)");
        const unsigned long long framing = std::to_string(i + 1).size() + 3;  // "@k\n" and "\n"
        if (__builtin_add_overflow(expected, b.size + framing, &expected))
            return fail("the block sizes add up to more bytes than a file holds");
    }
    if (fileSize < expected)
        return fail("truncated: the header announces " + std::to_string(expected) + " bytes, the file has " +
                    std::to_string(fileSize));
    if (fileSize > expected)
        return fail("has " + std::to_string(fileSize - expected) + " unexpected bytes after its last data block");
    if (!device.seek(static_cast<qint64>(header.length))) return fail("cannot seek past the header");

    for (std::size_t i = 0; i < header.blocks.size(); ++i) {
        BlockInfo& b = header.blocks[i];
        const std::string what = "data " + quoted(b.data.name) + " (block " + std::to_string(i + 1) + ")";
        const std::string marker = "@" + std::to_string(i + 1) + "\n";
        std::string seen(marker.size(), '\0');
        if (!readExact(reinterpret_cast<unsigned char*>(&seen[0]), seen.size(), what)) return false;
        if (seen != marker) return fail(what + ": its marker line \"@" + std::to_string(i + 1) + "\" is damaged");
        std::vector<unsigned char> stored(static_cast<std::size_t>(b.size));
        unsigned char newline = 0;
        if (!readExact(stored.data(), stored.size(), what) || !readExact(&newline, 1, what)) return false;
        if (newline != '\n') return fail(what + ": the block does not end with a newline");
        const std::uint32_t crc = crcOf(stored.data(), stored.size());
        if (crc != b.crc && kCheckChecksums)
            return fail(what + ": checksum mismatch (the header says " + crcText(b.crc) + ", the block gives " +
                        crcText(crc) + ")");
        if (!decodeBlock(b, i, stored, header.bigEndian, header.ascii)) return false;
        data.push_back(std::move(b.data));
    }
    return true;
}

bool parseValue(const char* begin, const char* end, int primType, unsigned char* into) {
    switch (primType) {
        case VornaMesh::Byte: {
            unsigned v = 0;
            if (!parseNumber(begin, end, v) || v > 255) return false;
            *into = static_cast<unsigned char>(v);
            return true;
        }
        case VornaMesh::Int16: {
            std::int16_t v = 0;
            if (!parseNumber(begin, end, v)) return false;
            std::memcpy(into, &v, sizeof v);
            return true;
        }
        case VornaMesh::Int32: {
            std::int32_t v = 0;
            if (!parseNumber(begin, end, v)) return false;
            std::memcpy(into, &v, sizeof v);
            return true;
        }
        case VornaMesh::Float: {
            float v = 0;
            if (!parseNumber(begin, end, v)) return false;
            std::memcpy(into, &v, sizeof v);
            return true;
        }
        case VornaMesh::Double: {
            double v = 0;
            if (!parseNumber(begin, end, v)) return false;
            std::memcpy(into, &v, sizeof v);
            return true;
        }
        case VornaMesh::Int64: {
            std::int64_t v = 0;
            if (!parseNumber(begin, end, v)) return false;
            std::memcpy(into, &v, sizeof v);
            return true;
        }
        default:
            return false;
    }
}

bool isBlockSpace(char c) { return c == ' ' || c == '\n' || c == '\t' || c == '\r'; }

// The numbers of a plain ASCII block, in host byte order.
bool parseValues(const std::vector<unsigned char>& text, const BlockInfo& b, std::vector<unsigned char>& values,
                 std::string& problem) {
    const std::size_t valueSize = static_cast<std::size_t>(VornaMesh::primTypeSize(b.data.primType));
    const std::size_t count = b.rawBytes / valueSize;
    values.assign(b.rawBytes, 0);
    const char* p = reinterpret_cast<const char*>(text.data());
    const char* end = p + text.size();
    std::size_t i = 0;
    while (true) {
        while (p < end && isBlockSpace(*p)) ++p;
        if (p == end) break;
        const char* start = p;
        while (p < end && !isBlockSpace(*p)) ++p;
        if (i == count) {
            problem = "more than the " + std::to_string(count) + " values it should hold";
            return false;
        }
        if (!parseValue(start, p, b.data.primType, values.data() + i * valueSize)) {
            problem = "value " + std::to_string(i + 1) + " (" + quoted(std::string(start, p)) + ") is not a valid " +
                      kTypeNames[b.data.primType];
            return false;
        }
        ++i;
    }
    if (i != count) {
        problem = std::to_string(i) + " values instead of " + std::to_string(count);
        return false;
    }
    return true;
}

bool parseHex(const std::vector<unsigned char>& text, std::vector<unsigned char>& bytes, std::string& problem) {
    bytes.clear();
    bytes.reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size();) {
        if (isBlockSpace(static_cast<char>(text[i]))) {
            ++i;
            continue;
        }
        const int high = hexValue(static_cast<char>(text[i]));
        const int low = i + 1 < text.size() ? hexValue(static_cast<char>(text[i + 1])) : -1;
        if (high < 0 || low < 0) {
            problem = "bad hex digits at byte " + std::to_string(i) + " of the block";
            return false;
        }
        bytes.push_back(static_cast<unsigned char>(high * 16 + low));
        i += 2;
    }
    return true;
}

bool FileReader::decodeBlock(BlockInfo& b, std::size_t index, std::vector<unsigned char>& stored, bool bigEndian,
                             bool ascii) {
    const std::string what = "data " + quoted(b.data.name) + " (block " + std::to_string(index + 1) + "): ";
    std::string why;
    std::vector<unsigned char> bytes;
    if (ascii && !b.compressed && b.data.codec.empty()) {
        if (!parseValues(stored, b, b.data.values, why)) return fail(what + why);
        return true;
    }
    if (ascii) {
        if (!parseHex(stored, bytes, why)) return fail(what + why);
    } else {
        bytes.swap(stored);
    }
    if (!b.data.codec.empty()) applyKeystream(b.data.name, bytes.data(), bytes.size());
    if (b.compressed) {
        if (!inflateBytes(bytes.data(), bytes.size(), b.rawBytes, b.data.values, why)) return fail(what + why);
    } else {
        if (bytes.size() != b.rawBytes)
            return fail(what + "holds " + std::to_string(bytes.size()) + " bytes instead of " +
                        std::to_string(b.rawBytes));
        b.data.values.swap(bytes);
    }
    if (bigEndian != kHostIsBigEndian)
        swapBytes(b.data.values.data(), b.data.values.size(), VornaMesh::primTypeSize(b.data.primType));
    return true;
}
}  // namespace

std::unique_ptr<VornaMesh> VornaMesh::read(const char* file, std::string& error) {
    error.clear();
    if (!file || !*file) {
        error = "VornaMesh::read: no file name given";
        return nullptr;
    }
    QFile device(QString::fromLocal8Bit(file));
    return readFrom(file, device, error);
}

std::unique_ptr<VornaMesh> VornaMesh::read(const void* bytes, std::size_t size, const char* name, std::string& error) {
    error.clear();
    const std::string shownName = name && *name ? name : "(memory)";
    if (size > static_cast<std::size_t>(INT_MAX) || (size > 0 && !bytes)) {
        error = shownName + ": cannot read " + std::to_string(size) + " bytes from memory";
        return nullptr;
    }
    // Read in place, not copied.
    QByteArray data = QByteArray::fromRawData(static_cast<const char*>(bytes), static_cast<int>(size));
    QBuffer device(&data);
    return readFrom(shownName.c_str(), device, error);
}

std::unique_ptr<VornaMesh> VornaMesh::readFrom(const char* name, QIODevice& device, std::string& error) {
    FileReader reader(name, device);
    Header header;
    std::vector<Data> data;
    if (!reader.open() || !reader.readHeader(header) || !reader.readBlocks(header, data)) {
        error = reader.error();
        return nullptr;
    }
    auto mesh = std::make_unique<VornaMesh>();
    mesh->parameters = std::move(header.parameters);
    mesh->parameters2 = std::move(header.parameters2);
    for (Location& l : header.locations) mesh->locationList.push_back(std::move(l));
    for (Data& d : data) mesh->dataList.push_back(std::move(d));
    return mesh;
}
