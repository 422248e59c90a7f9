// Reading data files: the header's lines and checksum, then each data block
// checked and decoded into values in host byte order.
#include "VornaMeshCodec.h"
#include "VornaMeshHeader.h"

#include <QBuffer>
#include <QFile>
#include <QString>

#include <algorithm>
#include <climits>
#include <cstring>
#include <utility>

using namespace vornamesh;

namespace {
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
            std::string why;
            if (!parseFirstLine(text, header, why)) return fail(why);
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
    const auto parse = [&](auto tag) {
        typename decltype(tag)::type v{};
        if (!parseNumber(begin, end, v)) return false;
        std::memcpy(into, &v, sizeof v);
        return true;
    };
    return visitPrimType(primType, parse, false);
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
