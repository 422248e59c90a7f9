// VornaMesh: the model (locations, data, codecs), round trips through every form
// of the file, what the bytes on disk look like, and the refusal of damaged
// files and failed writes.
#include <vornamesh/VornaMesh.h>

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

// ---------------------------------------------------------------------------
// Helpers

// CRC-32 (the zlib/PNG one), bit by bit: written here from its definition so
// the test checks the files against the checksum the format names, not against
// the library's own call.
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
    // A new file each time: rewriting one in place makes some file systems
    // flush it to disk on close, which makes the byte-by-byte tests crawl.
    std::remove(path.c_str());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Recomputes the header-crc line after a test changed the header, so that the
// reader gets past the checksum to the check under test.
void fixHeaderCrc(std::string& file) {
    const std::size_t line = file.find("\nheader-crc 0x");
    ASSERT_NE(line, std::string::npos);
    const std::size_t digits = line + std::strlen("\nheader-crc 0x");
    const std::uint32_t crc = referenceCrc32(file.substr(0, line + 1));
    file.replace(digits, 8, hex8(crc).substr(2));
}

// Replaces the first `from` by `to` and fixes the header checksum.
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

float floatFromBits(std::uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

double doubleFromBits(std::uint64_t bits) {
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

// Values of a float or double block equal bit for bit; with `nanPayloads` off,
// any NaN matches any NaN (the text form writes NaN without its payload).
template <typename T>
bool sameFloatingValues(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b, bool nanPayloads) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i + sizeof(T) <= a.size(); i += sizeof(T)) {
        T x, y;
        std::memcpy(&x, &a[i], sizeof x);
        std::memcpy(&y, &b[i], sizeof y);
        if (!nanPayloads && std::isnan(x) && std::isnan(y)) continue;
        if (std::memcmp(&a[i], &b[i], sizeof(T)) != 0) return false;
    }
    return true;
}

// Everything the two meshes hold, compared; an empty string when they agree.
std::string differences(const VornaMesh& a, const VornaMesh& b, bool nanPayloads) {
    if (a.parameters != b.parameters) return "parameters differ";
    if (a.parameters2 != b.parameters2) return "parameters2 differ";
    if (a.locations().size() != b.locations().size()) return "location counts differ";
    for (std::size_t i = 0; i < a.locations().size(); ++i) {
        if (a.locations()[i].name != b.locations()[i].name) return "location name " + a.locations()[i].name;
        if (a.locations()[i].dims != b.locations()[i].dims) return "dims of " + a.locations()[i].name;
    }
    if (a.data().size() != b.data().size()) return "data counts differ";
    for (std::size_t i = 0; i < a.data().size(); ++i) {
        const VornaMesh::Data& x = a.data()[i];
        const VornaMesh::Data& y = b.data()[i];
        if (x.name != y.name || x.location != y.location) return "data " + std::to_string(i) + " named differently";
        if (x.primType != y.primType || x.nComponents != y.nComponents) return "shape of data " + x.name;
        if (x.codec != y.codec) return "codec of data " + x.name;
        bool same = x.values == y.values;
        if (x.primType == VornaMesh::Float) same = sameFloatingValues<float>(x.values, y.values, nanPayloads);
        if (x.primType == VornaMesh::Double) same = sameFloatingValues<double>(x.values, y.values, nanPayloads);
        if (!same) return "values of data " + x.name + " on " + x.location;
    }
    return "";
}

constexpr char kPlaintext[] = "The quick brown fox jumps over the lazy dog";

// A mesh with every primitive type at its extremes, several locations (one
// without dimensions), equal data names on two locations, awkward names and
// nested parameter bundles.
VornaMesh sampleMesh(bool codec) {
    VornaMesh m;
    const long long ints[] = {std::numeric_limits<long long>::min(), -1, 0, std::numeric_limits<long long>::max()};
    const double reals[] = {0.1,
                            -0.0,
                            std::numeric_limits<double>::denorm_min(),
                            std::numeric_limits<double>::max(),
                            std::numeric_limits<double>::lowest(),
                            std::numeric_limits<double>::infinity(),
                            -std::numeric_limits<double>::infinity(),
                            1.0 / 3.0};
    m.parameters.set("ContentType", "Sample", HxParamBundle::Replace);
    m.parameters.set("Odd text", "quote \" backslash \\ newline\n tab\t bytes \x01\xff\x7f utf-8 \xc3\xa9",
                     HxParamBundle::Replace);
    m.parameters.set("Empty text", "", HxParamBundle::Replace);
    m.parameters.set("Integers", 4, ints, HxParamBundle::Replace);
    m.parameters.set("No integers", 0, static_cast<const long long*>(nullptr), HxParamBundle::Replace);
    m.parameters.set("Reals", 8, reals, HxParamBundle::Replace);
    HxParamBundle& outer = m.parameters.bundle("Outer");
    outer.set("level", "1", HxParamBundle::Replace);
    outer.bundle("Inner").set("level", "2", HxParamBundle::Replace);
    outer.bundle("Empty inner");
    m.parameters.set("After", "the bundle", HxParamBundle::Replace);
    m.parameters2.set("Second", "bundle", HxParamBundle::Replace);

    const int grid[] = {4, 3};
    const int line[] = {5};
    m.insertLocation("Grid", 2, grid);
    m.insertLocation("Line \"quoted\"\n\x01", 1, line);
    m.insertLocation("Point", 0, nullptr);

    const std::vector<unsigned char> bytes = {0, 1, 127, 128, 255, 42, 7, 9, 200, 33, 64, 99};
    const std::vector<std::int16_t> shorts = {-32768, -1, 0, 1, 32767};
    const std::vector<std::int32_t> int32s = {std::numeric_limits<std::int32_t>::min(), 0x01020304, -7, 0,
                                              std::numeric_limits<std::int32_t>::max()};
    std::vector<float> floats = {0.1f,
                                 -0.0f,
                                 std::numeric_limits<float>::denorm_min(),
                                 std::numeric_limits<float>::max(),
                                 std::numeric_limits<float>::lowest(),
                                 std::numeric_limits<float>::infinity(),
                                 -std::numeric_limits<float>::infinity(),
                                 floatFromBits(0x7fa00001u),  // a NaN with a payload
                                 1.0f / 3.0f};
    while (floats.size() < 36) floats.push_back(static_cast<float>(floats.size()) * 1.1f);
    const std::vector<double> doubles = {1.0, -2.5e-300, std::numeric_limits<double>::denorm_min(),
                                         doubleFromBits(0xfff8000000000123ull), 1e300};
    const std::vector<std::int64_t> longs = {std::numeric_limits<std::int64_t>::min(), 0x0102030405060708ll,
                                             std::numeric_limits<std::int64_t>::max(), -1, 0};
    const std::string lineName = "Line \"quoted\"\n\x01";
    const auto insert = [&](const char* location, const char* name, int type, int n,
                            const std::vector<unsigned char>& values) {
        VornaMesh::Data* d = m.insertData(location, name, type, n, values.data(), values.size());
        EXPECT_NE(d, nullptr) << name;
        if (d && codec) {
            EXPECT_TRUE(VornaMesh::setCodec(*d, "HxEncrypt"));
        }
    };
    insert("Grid", "Bytes", VornaMesh::Byte, 1, bytes);
    insert("Grid", "Vectors", VornaMesh::Float, 3, bytesOf(floats));
    insert(lineName.c_str(), "Shorts", VornaMesh::Int16, 1, bytesOf(shorts));
    insert(lineName.c_str(), "Ints", VornaMesh::Int32, 1, bytesOf(int32s));
    insert(lineName.c_str(), "Doubles", VornaMesh::Double, 1, bytesOf(doubles));
    insert(lineName.c_str(), "Longs", VornaMesh::Int64, 1, bytesOf(longs));
    insert("Point", "Bytes", VornaMesh::Byte, 1, std::vector<unsigned char>{0xab});
    const std::string text = kPlaintext;
    const int textLength = static_cast<int>(text.size());
    m.insertLocation("Text", 1, &textLength);
    insert("Text", "Plain text", VornaMesh::Byte, 1, std::vector<unsigned char>(text.begin(), text.end()));
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
    const std::vector<std::int32_t> values = {1, -2, 300, 0x01020304};
    const std::vector<unsigned char> bytes = bytesOf(values);
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
        fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(folder, ignored);
    }
    std::string pathOf(const std::string& name) const { return folder + "/" + name; }

    // Writes `mesh` and returns the file's bytes.
    std::string writeAndLoad(VornaMesh& mesh, const std::string& name, bool ascii, bool native, bool compress) {
        const std::string path = pathOf(name);
        EXPECT_EQ(mesh.write(path.c_str(), ascii, nullptr, native, compress), 1) << mesh.lastError();
        return readBytes(path);
    }

    // Reads a file that must be refused; returns the message, which must name the file.
    std::string refusal(const std::string& path) {
        std::string error;
        std::unique_ptr<VornaMesh> mesh = VornaMesh::read(path.c_str(), error);
        EXPECT_EQ(mesh, nullptr) << "accepted: " << path;
        EXPECT_NE(error.find(path), std::string::npos) << "the message does not name the file: " << error;
        return error;
    }
    std::string refusalOfBytes(const std::string& bytes, const std::string& name = "damaged.vm") {
        writeBytes(pathOf(name), bytes);
        return refusal(pathOf(name));
    }

    std::string folder;
};

// ---------------------------------------------------------------------------
// The model

TEST(VornaMeshModel, primitiveTypeSizes) {
    EXPECT_EQ(VornaMesh::primTypeSize(VornaMesh::Byte), 1);
    EXPECT_EQ(VornaMesh::primTypeSize(VornaMesh::Int16), 2);
    EXPECT_EQ(VornaMesh::primTypeSize(VornaMesh::Int32), 4);
    EXPECT_EQ(VornaMesh::primTypeSize(VornaMesh::Float), 4);
    EXPECT_EQ(VornaMesh::primTypeSize(VornaMesh::Double), 8);
    EXPECT_EQ(VornaMesh::primTypeSize(VornaMesh::Int64), 8);
    EXPECT_EQ(VornaMesh::primTypeSize(6), 0);
    EXPECT_EQ(VornaMesh::primTypeSize(-1), 0);
}

TEST(VornaMeshModel, insertLocationRefusesBadOnesAndAddsNothing) {
    VornaMesh m;
    const int good[] = {2, 3, 4};
    VornaMesh::Location* l = m.insertLocation("Grid", 3, good);
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(l->nNodes(), 24);
    EXPECT_EQ(m.findLocation("Grid"), l);

    const int zero[] = {2, 0};
    const int negative[] = {-1};
    const int huge[] = {1 << 30, 1 << 30, 1 << 30};         // 2^90 nodes
    EXPECT_EQ(m.insertLocation("Grid", 1, good), nullptr);  // taken
    EXPECT_EQ(m.insertLocation("", 1, good), nullptr);
    EXPECT_EQ(m.insertLocation(nullptr, 1, good), nullptr);
    EXPECT_EQ(m.insertLocation("Zero", 2, zero), nullptr);
    EXPECT_EQ(m.insertLocation("Negative", 1, negative), nullptr);
    EXPECT_EQ(m.insertLocation("NegativeCount", -1, good), nullptr);
    EXPECT_EQ(m.insertLocation("NoDims", 2, nullptr), nullptr);
    EXPECT_EQ(m.insertLocation("Overflow", 3, huge), nullptr);
    EXPECT_EQ(m.locations().size(), 1u);

    VornaMesh::Location* point = m.insertLocation("Point", 0, nullptr);
    ASSERT_NE(point, nullptr);
    EXPECT_EQ(point->nNodes(), 1);
    const int big[] = {1 << 30, 1 << 30};
    ASSERT_NE(m.insertLocation("Big", 2, big), nullptr);
    EXPECT_EQ(m.findLocation("Big")->nNodes(), 1ll << 60);
}

TEST(VornaMeshModel, elementsStayWhereTheyAreWhenMoreAreInserted) {
    VornaMesh m;
    const int n = 1;
    VornaMesh::Location* first = m.insertLocation("first", 1, &n);
    const unsigned char value = 5;
    VornaMesh::Data* firstData = m.insertData("first", "d", VornaMesh::Byte, 1, &value, 1);
    for (int i = 0; i < 1000; ++i) {
        const std::string name = "l" + std::to_string(i);
        m.insertLocation(name.c_str(), 1, &n);
        m.insertData(name.c_str(), "d", VornaMesh::Byte, 1, &value, 1);
    }
    EXPECT_EQ(m.findLocation("first"), first);
    EXPECT_EQ(m.findData("first", VornaMesh::Byte, 1, "d"), firstData);
    EXPECT_EQ(first->name, "first");
}

TEST(VornaMeshModel, insertDataCopiesExactlyTheRightNumberOfBytes) {
    VornaMesh m;
    const int dims[] = {2, 3};
    m.insertLocation("Grid", 2, dims);
    std::vector<float> values(12, 1.5f);  // 6 nodes, 2 components
    VornaMesh::Data* d = m.insertData("Grid", "v", VornaMesh::Float, 2, values.data(), values.size() * sizeof(float));
    ASSERT_NE(d, nullptr);
    values[0] = 99.f;  // the data has its own copy
    float first;
    std::memcpy(&first, d->values.data(), sizeof first);
    EXPECT_EQ(first, 1.5f);
    EXPECT_EQ(d->values.size(), 48u);
    EXPECT_EQ(d->codec, "");
    EXPECT_EQ(d->location, "Grid");

    const std::size_t n = values.size() * sizeof(float);
    EXPECT_EQ(m.insertData("Grid", "short", VornaMesh::Float, 2, values.data(), n - 1), nullptr);
    EXPECT_EQ(m.insertData("Grid", "long", VornaMesh::Float, 2, values.data(), n + 1), nullptr);
    EXPECT_EQ(m.insertData("Grid", "v", VornaMesh::Float, 2, values.data(), n), nullptr);  // taken
    EXPECT_EQ(m.insertData("Nowhere", "x", VornaMesh::Float, 2, values.data(), n), nullptr);
    EXPECT_EQ(m.insertData("Grid", "", VornaMesh::Float, 2, values.data(), n), nullptr);
    EXPECT_EQ(m.insertData("Grid", "type", 9, 2, values.data(), n), nullptr);
    EXPECT_EQ(m.insertData("Grid", "zero", VornaMesh::Float, 0, values.data(), 0), nullptr);
    EXPECT_EQ(m.insertData("Grid", "null", VornaMesh::Float, 2, nullptr, n), nullptr);
    EXPECT_EQ(m.data().size(), 1u);

    // The same name on another location is another data.
    m.insertLocation("Other", 2, dims);
    EXPECT_NE(m.insertData("Other", "v", VornaMesh::Float, 2, values.data(), n), nullptr);
    EXPECT_EQ(m.data().size(), 2u);
}

TEST(VornaMeshModel, findDataMatchesTypeComponentsNameAndLocation) {
    VornaMesh m;
    const int dims[] = {4};
    m.insertLocation("A", 1, dims);
    m.insertLocation("B", 1, dims);
    const std::vector<std::int16_t> shorts(8, 3);
    const std::vector<std::int32_t> ints(4, 3);
    VornaMesh::Data* pairs = m.insertData("A", "v", VornaMesh::Int16, 2, shorts.data(), 16);
    VornaMesh::Data* onB = m.insertData("B", "v", VornaMesh::Int32, 1, ints.data(), 16);

    EXPECT_EQ(m.findData("A", VornaMesh::Int16, 2, "v"), pairs);
    EXPECT_EQ(m.findData("A", -1, 2, "v"), pairs);
    EXPECT_EQ(m.findData("B", -1, 1, "v"), onB);
    EXPECT_EQ(m.findData("A", VornaMesh::Int32, 2, "v"), nullptr);  // wrong type
    EXPECT_EQ(m.findData("A", -1, 1, "v"), nullptr);                // wrong component count
    EXPECT_EQ(m.findData("A", -1, 3, "v"), nullptr);
    EXPECT_EQ(m.findData("A", -1, 2, "w"), nullptr);
    EXPECT_EQ(m.findData("C", -1, 2, "v"), nullptr);
    EXPECT_EQ(m.findData(nullptr, -1, 2, "v"), nullptr);
    EXPECT_EQ(m.findData("A", -1, 2, nullptr), nullptr);
    const VornaMesh& constMesh = m;
    EXPECT_EQ(constMesh.findData("B", VornaMesh::Int32, 1, "v"), onB);
}

TEST(VornaMeshModel, setCodecKnowsNoneAndHxEncryptOnly) {
    VornaMesh::Data d;
    EXPECT_TRUE(VornaMesh::setCodec(d, "HxEncrypt"));
    EXPECT_EQ(d.codec, "HxEncrypt");
    EXPECT_FALSE(VornaMesh::setCodec(d, "hxencrypt"));
    EXPECT_FALSE(VornaMesh::setCodec(d, "Rot13"));
    EXPECT_FALSE(VornaMesh::setCodec(d, nullptr));
    EXPECT_EQ(d.codec, "HxEncrypt");  // a refused codec changes nothing
    EXPECT_TRUE(VornaMesh::setCodec(d, ""));
    EXPECT_EQ(d.codec, "");
}

// ---------------------------------------------------------------------------
// Round trips through every form

struct Form {
    const char* name;
    bool ascii;
    bool native;
    bool compress;
    bool codec;
};

const Form kForms[] = {
    {"binaryNative", false, true, false, false},
    {"binaryNativeCodec", false, true, false, true},
    {"binaryNativeZlib", false, true, true, false},
    {"binaryNativeZlibCodec", false, true, true, true},
    {"binaryBig", false, false, false, false},
    {"binaryBigCodec", false, false, false, true},
    {"binaryBigZlib", false, false, true, false},
    {"binaryBigZlibCodec", false, false, true, true},
    {"ascii", true, true, false, false},
    {"asciiCodec", true, true, false, true},
    {"asciiBigCodec", true, false, false, true},
    {"asciiZlib", true, true, true, false},
    {"asciiBigZlibCodec", true, false, true, true},
};

class VornaMeshRoundTrip : public VornaMeshFiles, public ::testing::WithParamInterface<Form> {};

TEST_P(VornaMeshRoundTrip, everyValueReadsBackExactly) {
    const Form& form = GetParam();
    VornaMesh original = sampleMesh(form.codec);
    const std::string path = pathOf("sample.vm");
    ASSERT_EQ(original.write(path.c_str(), form.ascii, "a round trip", form.native, form.compress), 1)
        << original.lastError();
    EXPECT_EQ(original.lastError(), "");

    std::string error = "stale";
    std::unique_ptr<VornaMesh> copy = VornaMesh::read(path.c_str(), error);
    ASSERT_NE(copy, nullptr) << error;
    EXPECT_EQ(error, "");
    // Text keeps a NaN's sign but not its payload; binary blocks keep every bit.
    const bool nanPayloads = !form.ascii || form.codec || form.compress;
    EXPECT_EQ(differences(original, *copy, nanPayloads), "");

    // The copy writes the same file again: nothing is lost or reordered.
    const std::string first = readBytes(path);
    const std::string again = pathOf("again.vm");
    ASSERT_EQ(copy->write(again.c_str(), form.ascii, "a round trip", form.native, form.compress), 1);
    EXPECT_EQ(readBytes(again), first);
}

TEST_P(VornaMeshRoundTrip, smallFileRoundTripsAndSaysWhatItIs) {
    const Form& form = GetParam();
    VornaMesh original = smallMesh(form.codec);
    const std::string bytes = writeAndLoad(original, "small.vm", form.ascii, form.native, form.compress);
    const bool big = !form.native || __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__;
    const std::string firstLine = std::string("VornaMesh 1.0 ") + (form.ascii ? "ascii" : "binary") +
                                  (big ? " big-endian" : " little-endian") + "\n";
    EXPECT_EQ(bytes.substr(0, firstLine.size()), firstLine);

    std::string error;
    std::unique_ptr<VornaMesh> copy = VornaMesh::read(pathOf("small.vm").c_str(), error);
    ASSERT_NE(copy, nullptr) << error;
    EXPECT_EQ(differences(original, *copy, true), "");
}

INSTANTIATE_TEST_SUITE_P(Forms, VornaMeshRoundTrip, ::testing::ValuesIn(kForms),
                         [](const ::testing::TestParamInfo<Form>& form) { return std::string(form.param.name); });

// ---------------------------------------------------------------------------
// What the files look like

TEST_F(VornaMeshFiles, bigEndianFilesHoldBigEndianValues) {
    VornaMesh m;
    const int n = 2;
    m.insertLocation("L", 1, &n);
    const std::int32_t ints[] = {0x01020304, -2};
    const double doubles[] = {1.0, -2.0};
    m.insertData("L", "i", VornaMesh::Int32, 1, ints, sizeof ints);
    m.insertData("L", "d", VornaMesh::Double, 1, doubles, sizeof doubles);

    const std::string big = writeAndLoad(m, "big.vm", false, false, false);
    const std::size_t first = big.find("\n@1\n");
    const std::size_t second = big.find("\n@2\n");
    ASSERT_NE(first, std::string::npos);
    ASSERT_NE(second, std::string::npos);
    EXPECT_EQ(big.substr(first + 4, 8), std::string("\x01\x02\x03\x04\xff\xff\xff\xfe", 8));
    EXPECT_EQ(big.substr(second + 4, 16), std::string("\x3f\xf0\0\0\0\0\0\0\xc0\0\0\0\0\0\0\0", 16));

    // Native order: the bytes as they lie in memory.
    const std::string native = writeAndLoad(m, "native.vm", false, true, false);
    const std::size_t nativeFirst = native.find("\n@1\n");
    ASSERT_NE(nativeFirst, std::string::npos);
    EXPECT_EQ(native.substr(nativeFirst + 4, 8), std::string(reinterpret_cast<const char*>(ints), 8));
}

TEST_F(VornaMeshFiles, asciiFilesHoldNumbersOneNodePerLine) {
    VornaMesh m;
    const int n = 2;
    m.insertLocation("L", 1, &n);
    const std::int16_t pairs[] = {-32768, 7, 32767, 0};
    const float floats[] = {0.1f, -1.5e-40f};
    m.insertData("L", "pairs", VornaMesh::Int16, 2, pairs, sizeof pairs);
    m.insertData("L", "floats", VornaMesh::Float, 1, floats, sizeof floats);
    const std::string text = writeAndLoad(m, "numbers.vm", true, true, false);
    EXPECT_NE(text.find("\n@1\n-32768 7\n32767 0\n@2\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\n@2\n0.1\n-1.5e-40\n"), std::string::npos) << text;
    for (unsigned char c : text) EXPECT_TRUE(c == '\n' || (c >= 0x20 && c < 0x7f)) << "byte " << int(c);
}

TEST_F(VornaMeshFiles, theHeaderIsTextWithAllLocationsAndDataAndTheComment) {
    VornaMesh m = sampleMesh(false);
    const std::string path = pathOf("header.vm");
    ASSERT_EQ(m.write(path.c_str(), false, "made by a test\nsecond line", true, false), 1);
    const std::string bytes = readBytes(path);
    const std::size_t end = bytes.find("\nheader-crc 0x");
    ASSERT_NE(end, std::string::npos);
    const std::string header = bytes.substr(0, end + 1);
    EXPECT_NE(header.find("\n# made by a test\\x0asecond line\n"), std::string::npos) << header;
    EXPECT_NE(header.find("\nlocation \"Grid\" 4 3\n"), std::string::npos) << header;
    EXPECT_NE(header.find("\nlocation \"Point\"\n"), std::string::npos) << header;
    EXPECT_NE(header.find("\nlocation \"Line \\\"quoted\\\"\\x0a\\x01\" 5\n"), std::string::npos) << header;
    EXPECT_NE(header.find("\n    integers \"Integers\" 4 -9223372036854775808 -1 0 9223372036854775807\n"),
              std::string::npos)
        << header;
    EXPECT_NE(header.find("\ndata \"Vectors\" location \"Grid\" type float components 3 codec none "
                          "compression none size 144 crc "),
              std::string::npos)
        << header;
    // The checksum is CRC-32 of everything before the header-crc line.
    EXPECT_EQ(bytes.substr(end + 1, 22), "header-crc " + hex8(referenceCrc32(header)) + "\n");
}

TEST_F(VornaMeshFiles, dataBlockChecksumsAreCrc32OfTheStoredBytes) {
    ASSERT_EQ(referenceCrc32("123456789"), 0xcbf43926u);  // the standard check value
    VornaMesh m = smallMesh(true);
    const std::string bytes = writeAndLoad(m, "crc.vm", false, false, true);
    const std::size_t marker = bytes.find("\n@1\n");
    const std::size_t sizeAt = bytes.find(" size ");
    const std::size_t crcAt = bytes.find(" crc ", sizeAt);
    ASSERT_NE(marker, std::string::npos);
    ASSERT_NE(sizeAt, std::string::npos);
    const std::size_t size = std::stoul(bytes.substr(sizeAt + 6, crcAt - sizeAt - 6));
    EXPECT_EQ(bytes.size(), marker + 4 + size + 1);  // the block, then one newline ends the file
    EXPECT_EQ(bytes.substr(crcAt + 5, 10), hex8(referenceCrc32(bytes.substr(marker + 4, size))));
}

TEST_F(VornaMeshFiles, writingIsDeterministic) {
    VornaMesh m = sampleMesh(true);
    EXPECT_EQ(writeAndLoad(m, "one.vm", false, false, true), writeAndLoad(m, "two.vm", false, false, true));
}

TEST_F(VornaMeshFiles, compressionShrinksRepetitiveData) {
    VornaMesh m;
    const int n = 10000;
    m.insertLocation("L", 1, &n);
    const std::vector<std::int32_t> zeros(n, 0);
    m.insertData("L", "zeros", VornaMesh::Int32, 1, zeros.data(), zeros.size() * 4);
    const std::string plain = writeAndLoad(m, "plain.vm", false, true, false);
    const std::string packed = writeAndLoad(m, "packed.vm", false, true, true);
    EXPECT_GT(plain.size(), 40000u);
    EXPECT_LT(packed.size(), 2000u);
    EXPECT_NE(packed.find(" compression zlib "), std::string::npos);
}

// ---------------------------------------------------------------------------
// The HxEncrypt codec

TEST_F(VornaMeshFiles, theCodecHidesTheValuesFromTextViewersButReadsBack) {
    const std::string text = std::string(kPlaintext) + " " + kPlaintext;
    const int n = static_cast<int>(text.size());
    const auto makeMesh = [&](bool codec) {
        VornaMesh m;
        m.insertLocation("Text", 1, &n);
        VornaMesh::Data* d = m.insertData("Text", "Secret", VornaMesh::Byte, 1, text.data(), text.size());
        if (codec) VornaMesh::setCodec(*d, "HxEncrypt");
        return m;
    };
    const std::string hexOfQuick = "717569636b2062726f776e";  // "quick brown"
    VornaMesh plain = makeMesh(false), scrambled = makeMesh(true);

    // Without the codec the words are in the file, so the checks below can fail.
    EXPECT_NE(writeAndLoad(plain, "plain.vm", false, true, false).find("quick brown"), std::string::npos);
    for (const bool ascii : {false, true}) {
        const std::string name = ascii ? "hidden.txt.vm" : "hidden.vm";
        const std::string bytes = writeAndLoad(scrambled, name, ascii, true, false);
        EXPECT_EQ(bytes.find("quick brown"), std::string::npos);
        EXPECT_EQ(bytes.find(hexOfQuick), std::string::npos);
        EXPECT_EQ(bytes.find("113\n117\n105"), std::string::npos);  // "qui" as ASCII numbers
        EXPECT_NE(bytes.find("\"Secret\""), std::string::npos) << "names stay readable";
        EXPECT_NE(bytes.find(" codec HxEncrypt "), std::string::npos);

        std::string error;
        std::unique_ptr<VornaMesh> copy = VornaMesh::read(pathOf(name).c_str(), error);
        ASSERT_NE(copy, nullptr) << error;
        const VornaMesh::Data* d = copy->findData("Text", VornaMesh::Byte, 1, "Secret");
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(std::string(d->values.begin(), d->values.end()), text);
        EXPECT_EQ(d->codec, "HxEncrypt");
    }
}

TEST_F(VornaMeshFiles, theKeystreamDependsOnTheDataName) {
    VornaMesh m;
    const int n = 64;
    m.insertLocation("L", 1, &n);
    const std::vector<unsigned char> zeros(n, 0);
    VornaMesh::setCodec(*m.insertData("L", "first", VornaMesh::Byte, 1, zeros.data(), n), "HxEncrypt");
    VornaMesh::setCodec(*m.insertData("L", "second", VornaMesh::Byte, 1, zeros.data(), n), "HxEncrypt");
    const std::string bytes = writeAndLoad(m, "names.vm", false, true, false);
    const std::size_t one = bytes.find("\n@1\n") + 4;
    const std::size_t two = bytes.find("\n@2\n") + 4;
    const std::string first = bytes.substr(one, n), second = bytes.substr(two, n);
    EXPECT_NE(first, second);
    int zeroBytes = 0;
    for (char c : first) zeroBytes += c == 0;
    EXPECT_LT(zeroBytes, 8) << "zeros must not stay zeros";
}

// ---------------------------------------------------------------------------
// Files written by hand from the format description

// A header line for a data block, with the block's size and checksum.
std::string dataLine(const std::string& rest, const std::string& block) {
    return "data " + rest + " size " + std::to_string(block.size()) + " crc " + hex8(referenceCrc32(block)) + "\n";
}

std::string withHeaderCrc(const std::string& header) {
    return header + "header-crc " + hex8(referenceCrc32(header)) + "\n";
}

TEST_F(VornaMeshFiles, readsAHandWrittenAsciiFile) {
    const std::string block = "-1 2\n300\t-32768";
    std::string file = withHeaderCrc(
        "VornaMesh 1.0 ascii little-endian\n"
        "# written by hand\n"
        "parameters {\n"
        "  text \"ContentType\" \"Test\"\n"
        "  reals \"r\" 2 -nan 1e-320\n"
        "}\n"
        "\n"
        "location \"grid\" 2 2\n" +
        dataLine("\"v\" location \"grid\" type int16 components 1 codec none "
                 "compression none",
                 block));
    file += "@1\n" + block + "\n";
    writeBytes(pathOf("hand.vm"), file);
    std::string error;
    std::unique_ptr<VornaMesh> m = VornaMesh::read(pathOf("hand.vm").c_str(), error);
    ASSERT_NE(m, nullptr) << error;
    std::string type;
    EXPECT_TRUE(m->parameters.getText("ContentType", type));
    EXPECT_EQ(type, "Test");
    const HxParamBundle::Param* r = m->parameters.find("r");
    ASSERT_NE(r, nullptr);
    ASSERT_EQ(r->reals.size(), 2u);
    EXPECT_TRUE(std::isnan(r->reals[0]));
    EXPECT_TRUE(std::signbit(r->reals[0]));
    EXPECT_EQ(r->reals[1], 1e-320);
    EXPECT_EQ(m->parameters2.size(), 0);
    const VornaMesh::Data* d = m->findData("grid", VornaMesh::Int16, 1, "v");
    ASSERT_NE(d, nullptr);
    std::int16_t values[4];
    ASSERT_EQ(d->values.size(), sizeof values);
    std::memcpy(values, d->values.data(), sizeof values);
    EXPECT_EQ(values[0], -1);
    EXPECT_EQ(values[1], 2);
    EXPECT_EQ(values[2], 300);
    EXPECT_EQ(values[3], -32768);
}

TEST_F(VornaMeshFiles, readsAHandWrittenBigEndianBinaryFile) {
    const std::string block("\0\0\0\x2a\xff\xff\xff\xfe", 8);
    std::string file = withHeaderCrc(
        "VornaMesh 1.0 binary big-endian\n"
        "location \"L\" 2\n" +
        dataLine("\"v\" location \"L\" type int32 components 1 codec none "
                 "compression none",
                 block));
    file += "@1\n" + block + "\n";
    writeBytes(pathOf("hand.vm"), file);
    std::string error;
    std::unique_ptr<VornaMesh> m = VornaMesh::read(pathOf("hand.vm").c_str(), error);
    ASSERT_NE(m, nullptr) << error;
    const VornaMesh::Data* d = m->findData("L", VornaMesh::Int32, 1, "v");
    ASSERT_NE(d, nullptr);
    std::int32_t values[2];
    std::memcpy(values, d->values.data(), sizeof values);
    EXPECT_EQ(values[0], 42);
    EXPECT_EQ(values[1], -2);
}

// ---------------------------------------------------------------------------
// Damaged files and files we cannot read

struct DamageCase {
    const char* name;
    bool ascii;
    bool compress;
    bool codec;
};

const DamageCase kDamageCases[] = {
    {"binary", false, false, false},
    {"binaryZlibCodec", false, true, true},
    {"ascii", true, false, false},
    {"asciiCodec", true, false, true},
};

class VornaMeshDamage : public VornaMeshFiles, public ::testing::WithParamInterface<DamageCase> {
protected:
    std::string goodFile() {
        VornaMesh m = smallMesh(GetParam().codec);
        return writeAndLoad(m, "good.vm", GetParam().ascii, false, GetParam().compress);
    }
};

TEST_P(VornaMeshDamage, everyTruncationIsRefused) {
    const std::string good = goodFile();
    ASSERT_GT(good.size(), 100u);
    for (std::size_t length = 0; length < good.size(); ++length) {
        SCOPED_TRACE("truncated to " + std::to_string(length) + " bytes");
        refusalOfBytes(good.substr(0, length));
    }
}

TEST_P(VornaMeshDamage, everyChangedByteIsRefused) {
    const std::string good = goodFile();
    for (const unsigned char mask : {0x01, 0x20, 0x80, 0xff}) {
        for (std::size_t at = 0; at < good.size(); ++at) {
            SCOPED_TRACE("byte " + std::to_string(at) + " xor " + std::to_string(mask));
            std::string damaged = good;
            damaged[at] = static_cast<char>(damaged[at] ^ mask);
            refusalOfBytes(damaged);
        }
    }
}

TEST_P(VornaMeshDamage, bytesAfterTheLastBlockAreRefused) {
    const std::string error = refusalOfBytes(goodFile() + "x");
    EXPECT_NE(error.find("1 unexpected bytes after its last data block"), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(Forms, VornaMeshDamage, ::testing::ValuesIn(kDamageCases),
                         [](const ::testing::TestParamInfo<DamageCase>& damage) {
                             return std::string(damage.param.name);
                         });

TEST_F(VornaMeshFiles, notAVornaMeshFile) {
    const std::string path = pathOf("other.vm");
    writeBytes(path, "\x89PNG\r\n\x1a\n not what we read");
    EXPECT_EQ(refusal(path), path + ": not a VornaMesh file (it does not start with \"VornaMesh \")");
    writeBytes(path, "");
    EXPECT_EQ(refusal(path), path + ": the file is empty");
    writeBytes(path, "VornaMesh version one\n");
    EXPECT_EQ(refusal(path), path + ": bad format version \"version\"");
    EXPECT_NE(refusal(pathOf("missing.vm")).find("cannot open"), std::string::npos);
    refusal(folder);  // a folder, not a file
}

TEST_F(VornaMeshFiles, newerMajorVersionsAreRefusedClearly) {
    const std::string path = pathOf("future.vm");
    writeBytes(path, "VornaMesh 2.0 quantum both-endian\nanything at all\n");
    EXPECT_EQ(refusal(path), path +
                                 ": format version 2.0 is newer than this library reads (1.x); a newer vorna "
                                 "is needed");
}

// A newer minor version only adds what older readers may skip: new header lines
// and new pairs at the end of a data line. In a 1.0 file they are errors.
TEST_F(VornaMeshFiles, newerMinorVersionsSkipWhatTheyAdd) {
    VornaMesh m = smallMesh(false);
    std::string file = writeAndLoad(m, "minor.vm", true, true, false);
    editHeader(file, "\nlocation ", "\nfuture-line 1 2 3\nlocation ");
    const std::string refused = refusalOfBytes(file, "minor.vm");
    EXPECT_NE(refused.find("header line 10: unknown keyword \"future-line\""), std::string::npos) << refused;

    const std::size_t lineEnd = file.find('\n', file.find("\ndata ") + 1);
    file.insert(lineEnd, " future-key future-value");
    editHeader(file, "VornaMesh 1.0 ", "VornaMesh 1.4 ");
    writeBytes(pathOf("minor.vm"), file);
    std::string error;
    std::unique_ptr<VornaMesh> copy = VornaMesh::read(pathOf("minor.vm").c_str(), error);
    ASSERT_NE(copy, nullptr) << error;
    EXPECT_EQ(differences(m, *copy, true), "");

    editHeader(file, "\nfuture-line 1 2 3", "");
    editHeader(file, "VornaMesh 1.4 ", "VornaMesh 1.0 ");
    const std::string extraPair = refusalOfBytes(file, "minor.vm");
    EXPECT_NE(extraPair.find("unexpected text after the crc"), std::string::npos) << extraPair;
}

TEST_F(VornaMeshFiles, absurdSizesAreRefusedBeforeAnyAllocation) {
    VornaMesh m = smallMesh(false);
    const std::string good = writeAndLoad(m, "good.vm", false, true, false);
    struct Case {
        const char* from;
        const char* to;
        const char* expected;
    };
    const Case cases[] = {
        // 2^60 nodes with a 16-byte block
        {"location \"Grid\" 2 2", "location \"Grid\" 1073741824 1073741824", "cannot hold its"},
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
        {"compression none", "compression lzma", "unknown compression \"lzma\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.to);
        std::string file = good;
        editHeader(file, c.from, c.to);
        const std::string error = refusalOfBytes(file);
        EXPECT_NE(error.find(c.expected), std::string::npos) << error;
    }
}

TEST_F(VornaMeshFiles, aCompressedBlockClaimingTooMuchIsRefused) {
    VornaMesh m = smallMesh(false);
    const std::string good = writeAndLoad(m, "packed.vm", false, true, true);
    const std::size_t sizeAt = good.find(" size ") + 6;
    const std::string size = good.substr(sizeAt, good.find(' ', sizeAt) - sizeAt);

    std::string huge = good;
    editHeader(huge, " size " + size + " ", " size 4611686018427387904 ");
    EXPECT_NE(refusalOfBytes(huge).find("is larger than the whole file"), std::string::npos);

    // 2^40 nodes cannot come out of a block of a few dozen bytes.
    std::string bomb = good;
    editHeader(bomb, "location \"Grid\" 2 2", "location \"Grid\" 1048576 1048576");
    EXPECT_NE(refusalOfBytes(bomb).find("cannot hold its 4398046511104 bytes"), std::string::npos);

    // A block that inflates to fewer or more bytes than its location needs.
    std::string fewer = good;
    editHeader(fewer, "location \"Grid\" 2 2", "location \"Grid\" 2 3");
    EXPECT_NE(refusalOfBytes(fewer).find("holds 16 bytes instead of 24"), std::string::npos);
    std::string more = good;
    editHeader(more, "location \"Grid\" 2 2", "location \"Grid\" 1 2");
    EXPECT_NE(refusalOfBytes(more).find("holds more than the 8 bytes"), std::string::npos);
}

TEST_F(VornaMeshFiles, aChangedDataByteFailsItsChecksum) {
    VornaMesh m = smallMesh(false);
    std::string file = writeAndLoad(m, "block.vm", false, true, false);
    file[file.find("\n@1\n") + 5] ^= 0x10;
    const std::string error = refusalOfBytes(file);
    EXPECT_NE(error.find(": data \"Values\" (block 1): checksum mismatch (the header says 0x"), std::string::npos)
        << error;
}

TEST_F(VornaMeshFiles, aChangedHeaderByteFailsTheHeaderChecksum) {
    VornaMesh m = smallMesh(false);
    std::string file = writeAndLoad(m, "header.vm", false, true, false);
    file[file.find("\"Small\"") + 1] = 's';
    const std::string error = refusalOfBytes(file);
    EXPECT_NE(error.find(": header checksum mismatch (the file says 0x"), std::string::npos) << error;
}

TEST_F(VornaMeshFiles, malformedHeadersWithValidChecksumsAreRefused) {
    VornaMesh m = smallMesh(false);
    const std::string good = writeAndLoad(m, "good.vm", true, true, false);
    struct Case {
        const char* from;
        const char* to;
        const char* expected;
    };
    const Case cases[] = {
        {"location \"Grid\"", "location \"Elsewhere\"", "location \"Grid\" is not declared before it"},
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
        {" crc 0x", " crc 0X", "is not 0x and eight lowercase hex digits"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.to);
        std::string file = good;
        editHeader(file, c.from, c.to);
        const std::string error = refusalOfBytes(file);
        EXPECT_NE(error.find(c.expected), std::string::npos) << error;
    }
}

TEST_F(VornaMeshFiles, badNumbersInAnAsciiBlockAreRefused) {
    VornaMesh m = smallMesh(false);
    const std::string good = writeAndLoad(m, "good.vm", true, true, false);
    const std::size_t block = good.find("\n@1\n") + 4;
    const std::string header = good.substr(0, block);
    const auto withBlock = [&](const std::string& text) {
        std::string file = header + text + "\n";
        const std::size_t sizeAt = file.find(" size ") + 6;
        const std::size_t crcAt = file.find(" crc ", sizeAt);
        file.replace(sizeAt, crcAt - sizeAt, std::to_string(text.size()));
        const std::size_t digits = file.find(" crc 0x", sizeAt) + 7;
        file.replace(digits, 8, hex8(referenceCrc32(text)).substr(2));
        fixHeaderCrc(file);
        return file;
    };
    EXPECT_NE(refusalOfBytes(withBlock("10\n20\n30")).find("3 values instead of 4"), std::string::npos);
    EXPECT_NE(refusalOfBytes(withBlock("1\n2\n3\n4\n5")).find("more than the 4 values"), std::string::npos);
    EXPECT_NE(refusalOfBytes(withBlock("1\n2\n3\n4294967296")).find("value 4 (\"4294967296\") is not a valid int32"),
              std::string::npos);
    EXPECT_NE(refusalOfBytes(withBlock("1\n2\nthree\n4")).find("value 3 (\"three\")"), std::string::npos);
    // The same block, well formed, reads: the helper itself is sound.
    writeBytes(pathOf("fine.vm"), withBlock("1 2\n3 4"));
    std::string error;
    EXPECT_NE(VornaMesh::read(pathOf("fine.vm").c_str(), error), nullptr) << error;
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
    const std::string path = pathOf("deep.vm");
    ASSERT_EQ(deepest.write(path.c_str(), true, nullptr, true, false), 1) << deepest.lastError();
    std::string error;
    std::unique_ptr<VornaMesh> copy = VornaMesh::read(path.c_str(), error);
    ASSERT_NE(copy, nullptr) << error;
    EXPECT_EQ(copy->parameters, deepest.parameters);

    VornaMesh tooDeep = nested(65);
    EXPECT_EQ(tooDeep.write(pathOf("deeper.vm").c_str(), true, nullptr, true, false), 0);
    EXPECT_EQ(tooDeep.lastError(), pathOf("deeper.vm") +
                                       ": cannot write: parameter bundles are nested deeper "
                                       "than 64 levels");

    // One more level added by hand is refused by the reader as well.
    std::string file = readBytes(path);
    editHeader(file, "text \"bottom\" \"reached\"", "bundle \"level\" {\n}");
    const std::string refused = refusalOfBytes(file);
    EXPECT_NE(refused.find("bundles nested deeper than 64 levels"), std::string::npos) << refused;
}

// ---------------------------------------------------------------------------
// Failed writes

TEST_F(VornaMeshFiles, aWriteThatCannotStartLeavesNoFile) {
    writeBytes(pathOf("plain-file"), "I am a file, not a folder");
    VornaMesh m = smallMesh(false);
    const std::string target = pathOf("plain-file/mesh.vm");
    EXPECT_EQ(m.write(target.c_str(), false, nullptr, true, false), 0);
    EXPECT_EQ(m.lastError().rfind(target + ": cannot write: ", 0), 0u) << m.lastError();
    EXPECT_EQ(readBytes(pathOf("plain-file")), "I am a file, not a folder");

    EXPECT_EQ(m.write(nullptr, false, nullptr, true, false), 0);
    EXPECT_FALSE(m.lastError().empty());
    // A later success clears the error.
    EXPECT_EQ(m.write(pathOf("fine.vm").c_str(), false, nullptr, true, false), 1);
    EXPECT_EQ(m.lastError(), "");
}

TEST_F(VornaMeshFiles, aRefusedMeshLeavesTheExistingFileUnchanged) {
    VornaMesh m = smallMesh(false);
    const std::string path = pathOf("existing.vm");
    const std::string before = writeAndLoad(m, "existing.vm", false, true, false);
    m.findData("Grid", -1, 1, "Values")->values.pop_back();  // no longer fits its location
    EXPECT_EQ(m.write(path.c_str(), false, nullptr, true, false), 0);
    EXPECT_EQ(m.lastError(), path + ": cannot write: data \"Values\" on \"Grid\": holds 15 bytes, its shape needs 16");
    EXPECT_EQ(readBytes(path), before);
}

// The file-size limit makes the write itself fail half-way, even for root, to
// whom folder permissions mean nothing.
TEST_F(VornaMeshFiles, aWriteFailingHalfWayLeavesTheExistingFileUnchanged) {
    VornaMesh small = smallMesh(false);
    const std::string path = pathOf("existing.vm");
    const std::string before = writeAndLoad(small, "existing.vm", false, true, false);

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
