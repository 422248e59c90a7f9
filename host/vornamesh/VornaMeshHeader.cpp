// The header of a data file: its first line, and the parameters, locations and
// data declarations that follow, up to the header-crc line.
#include "VornaMeshHeader.h"

#include "VornaMeshCodec.h"

#include <climits>

namespace vornamesh {

namespace {
bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r'; }
}  // namespace

bool isHeaderByte(unsigned char c) { return (c >= 0x20 && c < 0x7f) || c == '\n' || c == '\t' || c == '\r'; }

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

namespace {
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
}  // namespace

bool parseFirstLine(const std::string& line, Header& header, std::string& problem) {
    const auto fail = [&problem](const std::string& what) {
        problem = what;
        return false;
    };
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

}  // namespace vornamesh
