// Private to the data-file library: the header's tokenizer and parser. The
// reader finds the header's lines and checks its checksum; this turns the
// lines into parameters, locations and the announced data blocks.
#pragma once
#include <vornamesh/VornaMesh.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace vornamesh {

struct Token {
    std::string text;
    bool quoted = false;
};

// The bytes a header may hold: printable ASCII and line-ending blanks.
bool isHeaderByte(unsigned char c);
// Splits a header line into bare words and quoted strings; false (with `problem`)
// on a broken string.
bool splitLine(const char* p, const char* end, std::vector<Token>& tokens, std::string& problem);

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

// "VornaMesh <version> <form> <byte order>": the version, form and byte order
// into `header`; false with `problem` set when the line is not such a line or
// names a version this library does not read.
bool parseFirstLine(const std::string& line, Header& header, std::string& problem);

// The header's lines after the first, up to the header-crc line.
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

}  // namespace vornamesh
