// VornaMesh: the model, round trips through every form of the file, the bytes on
// disk, and the refusal of damaged files and failed writes.
#include <vornamesh/VornaMesh.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <tuple>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Lim = std::numeric_limits<double>;
using LimF = std::numeric_limits<float>;

// CRC-32 (zlib/PNG) from its definition, so files are checked against the
// checksum the format names, not against the library's own call.
std::uint32_t referenceCrc32(const std::string& bytes) {
    std::uint32_t crc = 0xffffffffu;
    for (unsigned char c : bytes) {
        crc ^= c;
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}
std::string hex8(std::uint32_t v) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%08x", v);
    return buffer;
}
std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
void writeBytes(const std::string& path, const std::string& bytes) {
    std::remove(path.c_str());  // a new file each time: rewriting in place may flush on close and crawl
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}
// Recomputes the header-crc line, so the reader gets past it to the check under test.
void fixHeaderCrc(std::string& file) {
    const std::size_t line = file.find("\nheader-crc 0x");
    ASSERT_NE(line, std::string::npos);
    file.replace(line + 14, 8, hex8(referenceCrc32(file.substr(0, line + 1))).substr(2));
}
void editHeader(std::string& file, const std::string& from, const std::string& to) {
    const std::size_t at = file.find(from);
    ASSERT_NE(at, std::string::npos) << "no \"" << from << "\" in the file";
    file.replace(at, from.size(), to);
    fixHeaderCrc(file);
}
template <typename T>
std::vector<unsigned char> bytesOf(const std::vector<T>& values) {
    std::vector<unsigned char> bytes(values.size() * sizeof(T));
    std::memcpy(bytes.data(), values.data(), bytes.size());
    return bytes;
}
template <typename T, typename Bits>
T fromBits(Bits bits) {
    T value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// Float blocks compare bit for bit; without `nanPayloads`, any NaN matches any NaN
// (the text form keeps a NaN's sign, not its payload).
template <typename T>
bool sameFloats(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b, bool nanPayloads) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i + sizeof(T) <= a.size(); i += sizeof(T)) {
        T x, y;
        std::memcpy(&x, &a[i], sizeof x);
        std::memcpy(&y, &b[i], sizeof y);
        if (std::memcmp(&x, &y, sizeof x) != 0 && (nanPayloads || !std::isnan(x) || !std::isnan(y))) return false;
    }
    return true;
}

// What the two meshes hold, compared; empty when they agree.
std::string differences(const VornaMesh& a, const VornaMesh& b, bool nanPayloads) {
    if (a.parameters != b.parameters || a.parameters2 != b.parameters2) return "parameters differ";
    if (!std::equal(a.locations().begin(), a.locations().end(), b.locations().begin(), b.locations().end(),
                    [](const auto& x, const auto& y) { return x.name == y.name && x.dims == y.dims; }))
        return "locations differ";
    if (a.data().size() != b.data().size()) return "data counts differ";
    for (std::size_t i = 0; i < a.data().size(); ++i) {
        const VornaMesh::Data &x = a.data()[i], &y = b.data()[i];
        const bool same = x.primType == VornaMesh::Float    ? sameFloats<float>(x.values, y.values, nanPayloads)
                          : x.primType == VornaMesh::Double ? sameFloats<double>(x.values, y.values, nanPayloads)
                                                            : x.values == y.values;
        if (!same || x.name != y.name || x.location != y.location || x.primType != y.primType ||
            x.nComponents != y.nComponents || x.codec != y.codec)
            return "data " + x.name + " on " + x.location;
    }
    return "";
}

// Every primitive type at its extremes, a location without dimensions, equal data
// names on two locations, awkward names and nested parameter bundles.
VornaMesh sampleMesh(bool codec) {
    VornaMesh m;
    const long long ints[] = {std::numeric_limits<long long>::min(), -1, std::numeric_limits<long long>::max()};
    const double reals[] = {0.1, -0.0, Lim::denorm_min(), Lim::max(), Lim::lowest(), -Lim::infinity(), 1.0 / 3.0};
    m.parameters.set("Odd text", "quote \" backslash \\ newline\n tab\t bytes \x01\xff\x7f utf-8 \xc3\xa9",
                     HxParamBundle::Replace);
    m.parameters.set("Empty text", "", HxParamBundle::Replace);
    m.parameters.set("Integers", 3, ints, HxParamBundle::Replace);
    m.parameters.set("No integers", 0, static_cast<const long long*>(nullptr), HxParamBundle::Replace);
    m.parameters.set("Reals", 7, reals, HxParamBundle::Replace);
    m.parameters.bundle("Outer").bundle("Inner").set("level", "2", HxParamBundle::Replace);
    m.parameters.bundle("Outer").bundle("Empty inner");
    m.parameters.set("After", "the bundle", HxParamBundle::Replace);
    m.parameters2.set("Second", "bundle", HxParamBundle::Replace);

    const int grid[] = {4, 3}, line[] = {5};
    const std::string lineName = "Line \"quoted\"\n\x01";
    m.insertLocation("Grid", 2, grid);
    m.insertLocation(lineName.c_str(), 1, line);
    m.insertLocation("Point", 0, nullptr);
    std::vector<float> floats = {0.1f,
                                 -0.0f,
                                 LimF::denorm_min(),
                                 LimF::max(),
                                 LimF::lowest(),
                                 LimF::infinity(),
                                 -LimF::infinity(),
                                 fromBits<float>(0x7fa00001u) /* NaN with a payload */};
    while (floats.size() < 36) floats.push_back(static_cast<float>(floats.size()) * 1.1f);
    const auto insert = [&](const std::string& location, const char* name, int type, int n,
                            const std::vector<unsigned char>& values) {
        VornaMesh::Data* d = m.insertData(location.c_str(), name, type, n, values.data(), values.size());
        ASSERT_NE(d, nullptr) << name;
        EXPECT_TRUE(!codec || VornaMesh::setCodec(*d, "HxEncrypt"));
    };
    insert("Grid", "Bytes", VornaMesh::Byte, 1, {0, 1, 127, 128, 255, 42, 7, 9, 200, 33, 64, 99});
    insert("Grid", "Vectors", VornaMesh::Float, 3, bytesOf(floats));
    insert(lineName, "Shorts", VornaMesh::Int16, 1, bytesOf(std::vector<std::int16_t>{-32768, -1, 0, 1, 32767}));
    insert(lineName, "Ints", VornaMesh::Int32, 1,
           bytesOf(std::vector<std::int32_t>{INT32_MIN, 0x01020304, -7, 0, INT32_MAX}));
    insert(lineName, "Doubles", VornaMesh::Double, 1,
           bytesOf(
               std::vector<double>{1.0, -2.5e-300, Lim::denorm_min(), fromBits<double>(0xfff8000000000123ull), 1e300}));
    insert(lineName, "Longs", VornaMesh::Int64, 1,
           bytesOf(std::vector<std::int64_t>{INT64_MIN, 0x0102030405060708ll, INT64_MAX, -1, 0}));
    insert("Point", "Bytes", VornaMesh::Byte, 1, {0xab});
    return m;
}

// A small mesh for the tests that damage every byte of a file.
VornaMesh smallMesh(bool codec) {
    VornaMesh m;
    m.parameters.set("ContentType", "Small", HxParamBundle::Replace);
    const double r = 0.25;
    m.parameters.bundle("Nested").set("r", 1, &r, HxParamBundle::Replace);
    const int dims[] = {2, 2};
    m.insertLocation("Grid", 2, dims);
    const std::vector<unsigned char> bytes = bytesOf(std::vector<std::int32_t>{1, -2, 300, 0x01020304});
    VornaMesh::Data* d = m.insertData("Grid", "Values", VornaMesh::Int32, 1, bytes.data(), bytes.size());
    if (d && codec) VornaMesh::setCodec(*d, "HxEncrypt");
    return m;
}

class VornaMeshFiles : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vornamesh-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
    std::string pathOf(const std::string& name) const { return folder + "/" + name; }
    // Writes `mesh` and returns the file's bytes.
    std::string writeAndLoad(VornaMesh& mesh, const std::string& name, bool ascii, bool native, bool compress) {
        EXPECT_EQ(mesh.write(pathOf(name).c_str(), ascii, nullptr, native, compress), 1) << mesh.lastError();
        return readBytes(pathOf(name));
    }
    std::unique_ptr<VornaMesh> readBack(const std::string& name) {
        std::string error = "stale";
        std::unique_ptr<VornaMesh> mesh = VornaMesh::read(pathOf(name).c_str(), error);
        EXPECT_NE(mesh, nullptr) << error;
        EXPECT_EQ(mesh ? error : "", "");
        return mesh;
    }
    // Reads a file that must be refused; returns the message, which must name the file.
    std::string refusal(const std::string& path) {
        std::string error;
        EXPECT_EQ(VornaMesh::read(path.c_str(), error), nullptr) << "accepted: " << path;
        EXPECT_NE(error.find(path), std::string::npos) << "the message does not name the file: " << error;
        return error;
    }
    std::string refusalOfBytes(const std::string& bytes) {
        writeBytes(pathOf("damaged.vm"), bytes);
        return refusal(pathOf("damaged.vm"));
    }
    // Each edit of `good`'s header must be refused with a message containing the expected text.
    struct Edit {
        const char *from, *to, *expected;
    };
    void expectRefusals(const std::string& good, std::initializer_list<Edit> edits) {
        for (const Edit& e : edits) {
            SCOPED_TRACE(e.to);
            std::string file = good;
            editHeader(file, e.from, e.to);
            const std::string error = refusalOfBytes(file);
            EXPECT_NE(error.find(e.expected), std::string::npos) << error;
        }
    }

    std::string folder;
};

TEST(VornaMeshModel, locationsRefuseBadShapesAndStayPut) {
    const int sizes[][2] = {{VornaMesh::Byte, 1},
                            {VornaMesh::Int16, 2},
                            {VornaMesh::Int32, 4},
                            {VornaMesh::Float, 4},
                            {VornaMesh::Double, 8},
                            {VornaMesh::Int64, 8},
                            {6, 0},
                            {-1, 0}};
    for (const auto& s : sizes) EXPECT_EQ(VornaMesh::primTypeSize(s[0]), s[1]) << s[0];
    VornaMesh m;
    const int good[] = {2, 3, 4}, zero[] = {2, 0}, negative[] = {-1}, huge[] = {1 << 30, 1 << 30, 1 << 30};
    VornaMesh::Location* first = m.insertLocation("Grid", 3, good);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->nNodes(), 24);
    const std::tuple<const char*, int, const int*> refused[] = {{"Grid", 1, good} /* taken */,
                                                                {"", 1, good},
                                                                {nullptr, 1, good},
                                                                {"Zero", 2, zero},
                                                                {"Negative", 1, negative},
                                                                {"NegativeCount", -1, good},
                                                                {"NoDims", 2, nullptr},
                                                                {"Overflow", 3, huge} /* 2^90 nodes */};
    for (const auto& [name, n, dims] : refused)
        EXPECT_EQ(m.insertLocation(name, n, dims), nullptr) << (name ? name : "(null)");
    EXPECT_EQ(m.locations().size(), 1u);
    EXPECT_EQ(m.insertLocation("Point", 0, nullptr)->nNodes(), 1);
    EXPECT_EQ(m.insertLocation("Big", 2, huge)->nNodes(), 1ll << 60);

    const unsigned char value = 5;
    VornaMesh::Data* firstData = m.insertData("Point", "d", VornaMesh::Byte, 1, &value, 1);
    for (int i = 0; i < 1000; ++i) {  // elements stay where they are when more are inserted
        const std::string name = "l" + std::to_string(i);
        m.insertLocation(name.c_str(), 0, nullptr);
        m.insertData(name.c_str(), "d", VornaMesh::Byte, 1, &value, 1);
    }
    EXPECT_EQ(m.findLocation("Grid"), first);
    EXPECT_EQ(m.findData("Point", VornaMesh::Byte, 1, "d"), firstData);
}

TEST(VornaMeshModel, insertDataCopiesTheRightBytesAndFindDataMatchesAll) {
    VornaMesh m;
    const int dims[] = {2, 3};
    m.insertLocation("Grid", 2, dims);
    m.insertLocation("Other", 2, dims);
    std::vector<float> values(12, 1.5f);  // 6 nodes, 2 components
    const std::size_t n = values.size() * sizeof(float);
    VornaMesh::Data* d = m.insertData("Grid", "v", VornaMesh::Float, 2, values.data(), n);
    ASSERT_NE(d, nullptr);
    values[0] = 99.f;
    EXPECT_EQ(fromBits<float>(*reinterpret_cast<const std::uint32_t*>(d->values.data())), 1.5f) << "its own copy";
    EXPECT_EQ(d->values.size(), 48u);
    EXPECT_EQ(m.insertData("Grid", "short", VornaMesh::Float, 2, values.data(), n - 1), nullptr);
    EXPECT_EQ(m.insertData("Grid", "long", VornaMesh::Float, 2, values.data(), n + 1), nullptr);
    EXPECT_EQ(m.insertData("Grid", "v", VornaMesh::Float, 2, values.data(), n), nullptr);  // taken
    EXPECT_EQ(m.insertData("Nowhere", "x", VornaMesh::Float, 2, values.data(), n), nullptr);
    EXPECT_EQ(m.insertData("Grid", "", VornaMesh::Float, 2, values.data(), n), nullptr);
    EXPECT_EQ(m.insertData("Grid", "type", 9, 2, values.data(), n), nullptr);
    EXPECT_EQ(m.insertData("Grid", "zero", VornaMesh::Float, 0, values.data(), 0), nullptr);
    EXPECT_EQ(m.insertData("Grid", "null", VornaMesh::Float, 2, nullptr, n), nullptr);
    VornaMesh::Data* other = m.insertData("Other", "v", VornaMesh::Int32, 2, values.data(), n);
    ASSERT_NE(other, nullptr) << "the same name on another location is another data";
    EXPECT_EQ(m.data().size(), 2u);

    EXPECT_EQ(m.findData("Grid", -1, 2, "v"), d);
    EXPECT_EQ(std::as_const(m).findData("Other", VornaMesh::Int32, 2, "v"), other);
    EXPECT_EQ(m.findData("Grid", VornaMesh::Int32, 2, "v"), nullptr);
    EXPECT_EQ(m.findData("Grid", -1, 1, "v"), nullptr);
    EXPECT_EQ(m.findData("Grid", -1, 2, "w"), nullptr);
    EXPECT_EQ(m.findData(nullptr, -1, 2, "v"), nullptr);
    EXPECT_EQ(m.findData("Grid", -1, 2, nullptr), nullptr);

    EXPECT_TRUE(VornaMesh::setCodec(*d, "HxEncrypt"));
    for (const char* bad : {"hxencrypt", "Rot13", static_cast<const char*>(nullptr)})
        EXPECT_FALSE(VornaMesh::setCodec(*d, bad));
    EXPECT_EQ(d->codec, "HxEncrypt") << "a refused codec changes nothing";
    EXPECT_TRUE(VornaMesh::setCodec(*d, ""));
}

struct Form {
    const char* name;
    bool ascii, native, compress, codec;
};
const Form kForms[] = {
    {"binaryNative", false, true, false, false},
    {"binaryNativeCodec", false, true, false, true},
    {"binaryNativeZlib", false, true, true, false},
    {"binaryBig", false, false, false, false},
    {"binaryBigCodec", false, false, false, true},
    {"binaryBigZlibCodec", false, false, true, true},
    {"ascii", true, true, false, false},
    {"asciiCodec", true, true, false, true},
    {"asciiBigCodec", true, false, false, true},
    {"asciiZlib", true, true, true, false},
    {"asciiBigZlibCodec", true, false, true, true},
};

class VornaMeshRoundTrip : public VornaMeshFiles, public ::testing::WithParamInterface<Form> {};

TEST_P(VornaMeshRoundTrip, everyValueReadsBackExactlyAndWritesTheSameFile) {
    const Form& form = GetParam();
    VornaMesh original = sampleMesh(form.codec);
    const std::string first = writeAndLoad(original, "sample.vm", form.ascii, form.native, form.compress);
    const bool big = !form.native || __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__;
    const std::string firstLine = std::string("VornaMesh 1.0 ") + (form.ascii ? "ascii" : "binary") +
                                  (big ? " big-endian" : " little-endian") + "\n";
    EXPECT_EQ(first.substr(0, firstLine.size()), firstLine);

    std::unique_ptr<VornaMesh> copy = readBack("sample.vm");
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(differences(original, *copy, !form.ascii || form.codec || form.compress), "");
    EXPECT_EQ(writeAndLoad(*copy, "again.vm", form.ascii, form.native, form.compress), first);
    std::string error;
    std::unique_ptr<VornaMesh> fromMemory = VornaMesh::read(first.data(), first.size(), "sample", error);
    ASSERT_NE(fromMemory, nullptr) << error;
    EXPECT_EQ(differences(*copy, *fromMemory, true), "");
}

INSTANTIATE_TEST_SUITE_P(Forms, VornaMeshRoundTrip, ::testing::ValuesIn(kForms),
                         [](const ::testing::TestParamInfo<Form>& form) { return std::string(form.param.name); });

TEST_F(VornaMeshFiles, bigEndianAndAsciiFilesHoldTheValuesAsDescribed) {
    VornaMesh m;
    const int n = 2;
    m.insertLocation("L", 1, &n);
    const std::int32_t ints[] = {0x01020304, -2};
    const double doubles[] = {1.0, -2.0};
    const std::int16_t pairs[] = {-32768, 7, 32767, 0};
    const float floats[] = {0.1f, -1.5e-40f};
    m.insertData("L", "i", VornaMesh::Int32, 1, ints, sizeof ints);
    m.insertData("L", "d", VornaMesh::Double, 1, doubles, sizeof doubles);
    m.insertData("L", "pairs", VornaMesh::Int16, 2, pairs, sizeof pairs);
    m.insertData("L", "floats", VornaMesh::Float, 1, floats, sizeof floats);

    const std::string big = writeAndLoad(m, "big.vm", false, false, false);
    ASSERT_NE(big.find("\n@2\n"), std::string::npos);
    EXPECT_EQ(big.substr(big.find("\n@1\n") + 4, 8), std::string("\x01\x02\x03\x04\xff\xff\xff\xfe", 8));
    EXPECT_EQ(big.substr(big.find("\n@2\n") + 4, 16), std::string("\x3f\xf0\0\0\0\0\0\0\xc0\0\0\0\0\0\0\0", 16));
    const std::string native = writeAndLoad(m, "native.vm", false, true, false);
    EXPECT_EQ(native.substr(native.find("\n@1\n") + 4, 8), std::string(reinterpret_cast<const char*>(ints), 8));

    const std::string text = writeAndLoad(m, "numbers.vm", true, true, false);
    EXPECT_NE(text.find("\n@3\n-32768 7\n32767 0\n@4\n0.1\n-1.5e-40\n"), std::string::npos) << text;
    for (unsigned char c : text) ASSERT_TRUE(c == '\n' || (c >= 0x20 && c < 0x7f)) << "byte " << int(c);
}

TEST_F(VornaMeshFiles, headerAndBlockChecksumsAreCrc32) {
    ASSERT_EQ(referenceCrc32("123456789"), 0xcbf43926u);  // the standard check value
    VornaMesh m = sampleMesh(false);
    ASSERT_EQ(m.write(pathOf("header.vm").c_str(), false, "made by a test\nsecond line", true, false), 1);
    const std::string bytes = readBytes(pathOf("header.vm"));
    const std::size_t end = bytes.find("\nheader-crc 0x");
    ASSERT_NE(end, std::string::npos);
    const std::string header = bytes.substr(0, end + 1);
    for (const char* line : {"\n# made by a test\\x0asecond line\n", "\nlocation \"Point\"\n",
                             "\nlocation \"Line \\\"quoted\\\"\\x0a\\x01\" 5\n",
                             "\n    integers \"Integers\" 3 -9223372036854775808 -1 9223372036854775807\n",
                             "\ndata \"Vectors\" location \"Grid\" type float components 3 codec none "
                             "compression none size 144 crc "})
        EXPECT_NE(header.find(line), std::string::npos) << line << " in:\n" << header;
    EXPECT_EQ(bytes.substr(end + 1, 22), "header-crc " + hex8(referenceCrc32(header)) + "\n");

    VornaMesh small = smallMesh(true);
    const std::string packed = writeAndLoad(small, "crc.vm", false, false, true);
    const std::size_t marker = packed.find("\n@1\n"), sizeAt = packed.find(" size "),
                      crcAt = packed.find(" crc ", sizeAt);
    const std::size_t size = std::stoul(packed.substr(sizeAt + 6, crcAt - sizeAt - 6));
    EXPECT_EQ(packed.size(), marker + 4 + size + 1);  // the block, then one newline ends the file
    EXPECT_EQ(packed.substr(crcAt + 5, 10), hex8(referenceCrc32(packed.substr(marker + 4, size))));
    EXPECT_EQ(writeAndLoad(small, "again.vm", false, false, true), packed) << "writing is deterministic";
    EXPECT_NE(packed.find(" compression zlib "), std::string::npos);
    VornaMesh zeros;
    const int n = 10000;
    zeros.insertLocation("L", 1, &n);
    const std::vector<std::int32_t> values(n, 0);
    zeros.insertData("L", "zeros", VornaMesh::Int32, 1, values.data(), values.size() * 4);
    EXPECT_LT(writeAndLoad(zeros, "zeros.vm", false, true, true).size(), 2000u) << "compression shrinks";
}

TEST_F(VornaMeshFiles, theCodecHidesTheValuesButReadsBack) {
    const std::string text = "The quick brown fox jumps over the lazy dog";
    const int n = static_cast<int>(text.size());
    VornaMesh m;
    m.insertLocation("Text", 1, &n);
    VornaMesh::Data* d = m.insertData("Text", "Secret", VornaMesh::Byte, 1, text.data(), text.size());
    EXPECT_NE(writeAndLoad(m, "plain.vm", false, true, false).find("quick brown"), std::string::npos)
        << "without the codec the words are in the file, so the checks below can fail";
    VornaMesh::setCodec(*d, "HxEncrypt");
    const std::vector<unsigned char> zeros(n, 0);
    VornaMesh::setCodec(*m.insertData("Text", "Zeros", VornaMesh::Byte, 1, zeros.data(), n), "HxEncrypt");
    for (const bool ascii : {false, true}) {
        const std::string bytes = writeAndLoad(m, "hidden.vm", ascii, true, false);
        EXPECT_EQ(bytes.find("quick brown"), std::string::npos);
        EXPECT_EQ(bytes.find("717569636b2062726f776e"), std::string::npos);  // "quick brown" in hex
        EXPECT_EQ(bytes.find("113\n117\n105"), std::string::npos);           // "qui" as numbers
        EXPECT_NE(bytes.find("\"Secret\""), std::string::npos) << "names stay readable";
        std::unique_ptr<VornaMesh> copy = readBack("hidden.vm");
        ASSERT_NE(copy, nullptr);
        EXPECT_EQ(differences(m, *copy, true), "");
        if (ascii) continue;
        // The keystream depends on the data's name, and zeros do not stay zeros.
        const std::string first = bytes.substr(bytes.find("\n@1\n") + 4, n);
        const std::string second = bytes.substr(bytes.find("\n@2\n") + 4, n);
        EXPECT_NE(first, second);
        EXPECT_LT(std::count(second.begin(), second.end(), '\0'), 8);
    }
}

struct DamageCase {
    const char* name;
    bool ascii, compress, codec;
};
class VornaMeshDamage : public VornaMeshFiles, public ::testing::WithParamInterface<DamageCase> {};

TEST_P(VornaMeshDamage, everyTruncationAndChangedByteIsRefused) {
    VornaMesh m = smallMesh(GetParam().codec);
    const std::string good = writeAndLoad(m, "good.vm", GetParam().ascii, false, GetParam().compress);
    ASSERT_GT(good.size(), 100u);
    for (std::size_t length = 0; length < good.size(); ++length) {
        SCOPED_TRACE("truncated to " + std::to_string(length) + " bytes");
        refusalOfBytes(good.substr(0, length));
    }
    for (const unsigned char mask : {0x01, 0x20, 0x80, 0xff}) {
        for (std::size_t at = 0; at < good.size(); ++at) {
            SCOPED_TRACE("byte " + std::to_string(at) + " xor " + std::to_string(mask));
            std::string damaged = good;
            damaged[at] = static_cast<char>(damaged[at] ^ mask);
            refusalOfBytes(damaged);
        }
    }
    EXPECT_NE(refusalOfBytes(good + "x").find("1 unexpected bytes after its last data block"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Forms, VornaMeshDamage,
                         ::testing::Values(DamageCase{"binary", false, false, false},
                                           DamageCase{"binaryZlibCodec", false, true, true},
                                           DamageCase{"ascii", true, false, false},
                                           DamageCase{"asciiCodec", true, false, true}),
                         [](const auto& damage) { return std::string(damage.param.name); });

TEST_F(VornaMeshFiles, otherFilesAndNewerVersionsAreRefusedClearly) {
    const std::string path = pathOf("damaged.vm");
    EXPECT_EQ(refusalOfBytes("\x89PNG\r\n\x1a\n not what we read"),
              path + ": not a VornaMesh file (it does not start with \"VornaMesh \")");
    EXPECT_EQ(refusalOfBytes(""), path + ": the file is empty");
    EXPECT_EQ(refusalOfBytes("VornaMesh version one\n"), path + ": bad format version \"version\"");
    EXPECT_EQ(refusalOfBytes("VornaMesh 2.0 quantum both-endian\nanything at all\n"),
              path + ": format version 2.0 is newer than this library reads (1.x); a newer vorna is needed");
    EXPECT_NE(refusal(pathOf("missing.vm")).find("cannot open"), std::string::npos);
    refusal(folder);
    std::string error;
    const std::string truncated = readBytes(pathOf("damaged.vm")).substr(0, 20);
    EXPECT_EQ(VornaMesh::read(truncated.data(), truncated.size(), "in memory", error), nullptr);
    EXPECT_EQ(error, "in memory: truncated in the header (line 1, no header-crc line)");
}

// A newer minor version only adds what older readers may skip: header lines and
// pairs at the end of a data line. In a 1.0 file they are errors.
TEST_F(VornaMeshFiles, newerMinorVersionsSkipWhatTheyAdd) {
    VornaMesh m = smallMesh(false);
    std::string file = writeAndLoad(m, "minor.vm", true, true, false);
    editHeader(file, "\nlocation ", "\nfuture-line 1 2 3\nlocation ");
    EXPECT_NE(refusalOfBytes(file).find("header line 10: unknown keyword \"future-line\""), std::string::npos);
    file.insert(file.find('\n', file.find("\ndata ") + 1), " future-key future-value");
    editHeader(file, "VornaMesh 1.0 ", "VornaMesh 1.4 ");
    writeBytes(pathOf("minor.vm"), file);
    std::unique_ptr<VornaMesh> copy = readBack("minor.vm");
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(differences(m, *copy, true), "");
    editHeader(file, "\nfuture-line 1 2 3", "");
    editHeader(file, "VornaMesh 1.4 ", "VornaMesh 1.0 ");
    EXPECT_NE(refusalOfBytes(file).find("unexpected text after the crc"), std::string::npos);
}

TEST_F(VornaMeshFiles, absurdSizesAreRefusedBeforeAnyAllocation) {
    VornaMesh m = smallMesh(false);
    expectRefusals(
        writeAndLoad(m, "good.vm", false, true, false),
        {{"location \"Grid\" 2 2", "location \"Grid\" 1073741824 1073741824", "cannot hold its"},
         // 2^60 nodes of 2^31 - 1 components of 4 bytes: more than 64 bits count
         {"location \"Grid\" 2 2\ndata \"Values\" location \"Grid\" type int32 components 1",
          "location \"Grid\" 1073741824 1073741824\ndata \"Values\" location \"Grid\" type int32 components "
          "2147483647",
          "more than any memory holds"},
         {"location \"Grid\" 2 2", "location \"Grid\" 2 2 2147483647 2147483647 2147483647", "more nodes than fit"},
         {"location \"Grid\" 2 2", "location \"Grid\" 2 -2", "dimension -2 is not a positive int"},
         {"location \"Grid\" 2 2", "location \"Grid\" 2 0", "dimension 0 is not a positive int"},
         {"location \"Grid\" 2 2", "location \"Grid\" 2 99999999999", "is not a positive int"},
         {"components 1", "components -1", "the component count \"-1\" is not a positive int"},
         {"size 16", "size -16", "the block size \"-16\" is not a count of bytes"},
         {"size 16", "size 1152921504606846976", "cannot hold its 16 bytes"},
         {"reals \"r\" 1 0.25", "reals \"r\" -1 0.25", "the count -1 is negative"},
         {"reals \"r\" 1 0.25", "reals \"r\" 1000000000 0.25", "the count says 1000000000 values, the line has 1"},
         {"codec none", "codec Rot13", "unknown codec \"Rot13\""},
         {"type int32", "type int128", "unknown primitive type \"int128\""},
         {"compression none", "compression lzma", "unknown compression \"lzma\""}});

    const std::string packed = writeAndLoad(m, "packed.vm", false, true, true);
    const std::size_t sizeAt = packed.find(" size ") + 6;
    const std::string size = " size " + packed.substr(sizeAt, packed.find(' ', sizeAt) - sizeAt) + " ";
    expectRefusals(
        packed, {{size.c_str(), " size 4611686018427387904 ", "is larger than the whole file"},
                 // 2^40 nodes cannot come out of a block of a few dozen bytes
                 {"location \"Grid\" 2 2", "location \"Grid\" 1048576 1048576", "cannot hold its 4398046511104 bytes"},
                 {"location \"Grid\" 2 2", "location \"Grid\" 2 3", "holds 16 bytes instead of 24"},
                 {"location \"Grid\" 2 2", "location \"Grid\" 1 2", "holds more than the 8 bytes"}});
}

TEST_F(VornaMeshFiles, changedBytesFailTheirChecksums) {
    VornaMesh m = smallMesh(false);
    const std::string good = writeAndLoad(m, "block.vm", false, true, false);
    std::string file = good;
    file[file.find("\n@1\n") + 5] ^= 0x10;
    EXPECT_NE(refusalOfBytes(file).find(": data \"Values\" (block 1): checksum mismatch (the header says 0x"),
              std::string::npos);
    file = good;
    file[file.find("\"Small\"") + 1] = 's';
    EXPECT_NE(refusalOfBytes(file).find(": header checksum mismatch (the file says 0x"), std::string::npos);
}

TEST_F(VornaMeshFiles, malformedHeadersWithValidChecksumsAreRefused) {
    VornaMesh m = smallMesh(false);
    expectRefusals(
        writeAndLoad(m, "good.vm", true, true, false),
        {{"location \"Grid\"", "location \"Elsewhere\"", "location \"Grid\" is not declared before it"},
         {"\"ContentType\" \"Small\"", "\"ContentType\" \"Sm\\qall\"", "a bad escape sequence"},
         {"\"ContentType\" \"Small\"", "\"ContentType\" \"Small", "a string without its closing quote"},
         {"\"ContentType\" \"Small\"", "\"ContentType\" \"Small\"\n    text \"ContentType\" \"Twice\"",
          "parameter \"ContentType\" appears twice"},
         {"\"ContentType\"", "\"Content\\x09Type\"", "bad parameter name"},
         {"text \"ContentType\"", "blob \"ContentType\"", "unknown parameter kind \"blob\""},
         {"\"ContentType\" \"Small\"", "\"ContentType\" \"Sm\\x00all\"", "a text cannot hold a NUL byte"},
         {"\"ContentType\"", "\"Content\\x00Type\"", "bad parameter name"},
         {"location \"Grid\"", "location \"Gr\\x00id\"", "the name is missing, empty or holds a NUL byte"},
         {"data \"Values\"", "data \"Val\\x00ues\"", "the name is missing, empty or holds a NUL byte"},
         {"location \"Grid\" 2 2", "location \"Grid\" 2 2\nlocation \"Grid\" 1", "location \"Grid\" appears twice"},
         {"parameters2 {\n}", "parameters2 {\n}\nparameters2 {\n}", "parameters2 appears twice"},
         {"parameters2 {\n}\n", "parameters2 {\n", "unknown parameter kind \"location\""},
         {" crc 0x", " crc 0X", "is not 0x and eight lowercase hex digits"}});
}

TEST_F(VornaMeshFiles, badNumbersInAnAsciiBlockAreRefused) {
    VornaMesh m = smallMesh(false);
    const std::string good = writeAndLoad(m, "good.vm", true, true, false);
    const std::string header = good.substr(0, good.find("\n@1\n") + 4);
    const auto withBlock = [&](const std::string& text) {
        std::string file = header + text + "\n";
        const std::size_t sizeAt = file.find(" size ") + 6;
        const std::size_t crcAt = file.find(" crc ", sizeAt);
        file.replace(sizeAt, crcAt - sizeAt, std::to_string(text.size()));
        file.replace(file.find(" crc 0x", sizeAt) + 7, 8, hex8(referenceCrc32(text)).substr(2));
        fixHeaderCrc(file);
        return file;
    };
    EXPECT_NE(refusalOfBytes(withBlock("10\n20\n30")).find("3 values instead of 4"), std::string::npos);
    EXPECT_NE(refusalOfBytes(withBlock("1\n2\n3\n4\n5")).find("more than the 4 values"), std::string::npos);
    EXPECT_NE(refusalOfBytes(withBlock("1\n2\n3\n4294967296")).find("value 4 (\"4294967296\") is not a valid int32"),
              std::string::npos);
    EXPECT_NE(refusalOfBytes(withBlock("1\n2\nthree\n4")).find("value 3 (\"three\")"), std::string::npos);
    writeBytes(pathOf("fine.vm"), withBlock("1 2\n3 4"));
    EXPECT_NE(readBack("fine.vm"), nullptr) << "the same block, well formed, reads";
}

TEST_F(VornaMeshFiles, bundleNestingIsLimitedToSixtyFourLevels) {
    const auto nested = [](int levels) {
        VornaMesh m;
        HxParamBundle* b = &m.parameters;
        for (int i = 0; i < levels; ++i) b = &b->bundle("level");
        b->set("bottom", "reached", HxParamBundle::Replace);
        return m;
    };
    VornaMesh deepest = nested(64);
    std::string file = writeAndLoad(deepest, "deep.vm", true, true, false);
    std::unique_ptr<VornaMesh> copy = readBack("deep.vm");
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->parameters, deepest.parameters);
    VornaMesh tooDeep = nested(65);
    EXPECT_EQ(tooDeep.write(pathOf("deeper.vm").c_str(), true, nullptr, true, false), 0);
    EXPECT_EQ(tooDeep.lastError(),
              pathOf("deeper.vm") + ": cannot write: parameter bundles are nested deeper than 64 levels");
    editHeader(file, "text \"bottom\" \"reached\"", "bundle \"level\" {\n}");
    EXPECT_NE(refusalOfBytes(file).find("bundles nested deeper than 64 levels"), std::string::npos);
}

TEST_F(VornaMeshFiles, failedWritesLeaveTheExistingFileUnchanged) {
    writeBytes(pathOf("plain-file"), "I am a file, not a folder");
    VornaMesh m = smallMesh(false);
    const std::string target = pathOf("plain-file/mesh.vm");
    EXPECT_EQ(m.write(target.c_str(), false, nullptr, true, false), 0);
    EXPECT_EQ(m.lastError().rfind(target + ": cannot write: ", 0), 0u) << m.lastError();
    EXPECT_EQ(m.write(nullptr, false, nullptr, true, false), 0);
    EXPECT_FALSE(m.lastError().empty());
    std::remove(pathOf("plain-file").c_str());

    const std::string path = pathOf("existing.vm");
    const std::string before = writeAndLoad(m, "existing.vm", false, true, false);
    EXPECT_EQ(m.lastError(), "") << "a success clears the error";
    m.findData("Grid", -1, 1, "Values")->values.pop_back();  // no longer fits its location
    EXPECT_EQ(m.write(path.c_str(), false, nullptr, true, false), 0);
    EXPECT_EQ(m.lastError(), path + ": cannot write: data \"Values\" on \"Grid\": holds 15 bytes, its shape needs 16");
    EXPECT_EQ(readBytes(path), before);

    // The file-size limit makes the write fail half-way, even for root.
    VornaMesh big;
    const int n = 1 << 16;
    big.insertLocation("L", 1, &n);
    const std::vector<double> values(n, 1.0);
    big.insertData("L", "v", VornaMesh::Double, 1, values.data(), values.size() * sizeof(double));
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit limited = saved;
    limited.rlim_cur = 64 * 1024;
    auto* const oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const int result = big.write(path.c_str(), false, nullptr, true, false);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(big.lastError().rfind(path + ": cannot write: ", 0), 0u) << big.lastError();
    EXPECT_EQ(readBytes(path), before);
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(folder)) left.push_back(entry.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"existing.vm"}) << "no temporary file stays behind";
}

}  // namespace
