// Writing data files: the header text, the data blocks in either form, and the
// atomic save.
#include <mc/McSafeFile.h>

#include "VornaMeshCodec.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <utility>

using namespace vornamesh;

namespace {
// kind "name" count value ...
template <class Values>
void appendNumbers(std::string& out, const char* kind, const std::string& name, const Values& values) {
    out += kind;
    appendQuoted(out, name);
    out += ' ';
    appendNumber(out, values.size());
    for (const auto& v : values) {
        out += ' ';
        appendNumber(out, v);
    }
}

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
                appendNumbers(out, "integers ", p.name, p.integers);
                break;
            case HxParamBundle::Param::Reals:
                appendNumbers(out, "reals ", p.name, p.reals);
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
    const auto append = [&](auto tag) {
        typename decltype(tag)::type v;
        std::memcpy(&v, p, sizeof v);
        appendNumber(out, v);
        return true;
    };
    visitPrimType(primType, append, false);
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
