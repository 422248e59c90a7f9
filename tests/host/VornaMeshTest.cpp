// VornaMesh: the model, round trips through every form of the file, bytes on disk, refusals.
#include <TestFiles.h>
#include <vornamesh/VornaMesh.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <tuple>

namespace {

using Lim = std::numeric_limits<double>;
using LimF = std::numeric_limits<float>;
using VM = VornaMesh;
constexpr int kReplace = HxParamBundle::Replace;

// CRC-32 (zlib/PNG) from its definition, not the library's own call.
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
// Changes the header and recomputes its crc, so the reader gets past it to the check under test.
void editHeader(std::string& file, const std::string& from, const std::string& to) {
    const std::size_t at = file.find(from);
    ASSERT_NE(at, std::string::npos) << "no \"" << from << "\" in the file";
    file.replace(at, from.size(), to);
    const std::size_t line = file.find("\nheader-crc 0x");
    file.replace(line + 14, 8, hex8(referenceCrc32(file.substr(0, line + 1))).substr(2));
}
template <typename T>
std::string bytesOf(const std::vector<T>& values) {
    return std::string(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(T));
}
template <typename T, typename Bits>
T fromBits(Bits bits) {
    T value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}
VM::Data* insert(VM& m, const std::string& location, const char* name, int type, int n, const std::string& bytes) {
    return m.insertData(location.c_str(), name, type, n, bytes.data(), bytes.size());
}

// Bit for bit; without `nanPayloads` any NaN matches (the text form keeps a NaN's sign, not its payload).
template <typename T>
bool sameFloats(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b, bool nanPayloads) {
    for (std::size_t i = 0; a.size() == b.size() && i + sizeof(T) <= a.size(); i += sizeof(T)) {
        T x, y;
        std::memcpy(&x, &a[i], sizeof x);
        std::memcpy(&y, &b[i], sizeof y);
        if (std::memcmp(&x, &y, sizeof x) != 0 && (nanPayloads || !std::isnan(x) || !std::isnan(y))) return false;
    }
    return a.size() == b.size();
}

// What the two meshes hold, compared; empty when they agree.
std::string differences(const VM& a, const VM& b, bool nanPayloads) {
    if (a.parameters != b.parameters || a.parameters2 != b.parameters2) return "parameters differ";
    if (!std::equal(a.locations().begin(), a.locations().end(), b.locations().begin(), b.locations().end(),
                    [](const auto& x, const auto& y) { return x.name == y.name && x.dims == y.dims; }))
        return "locations differ";
    if (a.data().size() != b.data().size()) return "data counts differ";
    for (std::size_t i = 0; i < a.data().size(); ++i) {
        const VM::Data &x = a.data()[i], &y = b.data()[i];
        const bool same = x.primType == VM::Float    ? sameFloats<float>(x.values, y.values, nanPayloads)
                          : x.primType == VM::Double ? sameFloats<double>(x.values, y.values, nanPayloads)
                                                     : x.values == y.values;
        if (!same || x.name != y.name || x.location != y.location || x.primType != y.primType ||
            x.nComponents != y.nComponents || x.codec != y.codec)
            return "data " + x.name + " on " + x.location;
    }
    return "";
}

// Every primitive type at its extremes, a location without dimensions, awkward names, nested bundles.
VM sampleMesh(bool codec) {
    VM m;
    const long long ints[] = {LLONG_MIN, -1, LLONG_MAX};
    const double reals[] = {0.1, -0.0, Lim::denorm_min(), Lim::lowest(), -Lim::infinity(), 1.0 / 3.0};
    m.parameters.set("Odd text", "quote \" backslash \\ newline\n tab\t bytes \x01\xff\x7f", kReplace);
    m.parameters.set("Integers", 3, ints, kReplace);
    m.parameters.set("Reals", 6, reals, kReplace);
    m.parameters.bundle("Outer").bundle("Inner").set("level", "2", kReplace);
    m.parameters2.set("Second", "bundle", kReplace);
    const int grid[] = {4, 3}, line[] = {5};
    const std::string lineName = "Line \"quoted\"\n\x01";
    m.insertLocation("Grid", 2, grid);
    m.insertLocation(lineName.c_str(), 1, line);
    m.insertLocation("Point", 0, nullptr);
    std::vector<float> floats = {0.1f, -0.0f, LimF::denorm_min(), LimF::max(), -LimF::infinity(), 0};
    floats.back() = fromBits<float>(0x7fa00001u);  // a NaN with a payload
    while (floats.size() < 36) floats.push_back(static_cast<float>(floats.size()) * 1.1f);
    const std::tuple<std::string, const char*, int, int, std::string> data[] = {
        {"Grid", "Bytes", VM::Byte, 1, std::string("\0\x01\x7f\x80\xff*\x07\t\xc8!@c", 12)},
        {"Grid", "Vectors", VM::Float, 3, bytesOf(floats)},
        {lineName, "Shorts", VM::Int16, 1, bytesOf<std::int16_t>({-32768, -1, 0, 1, 32767})},
        {lineName, "Ints", VM::Int32, 1, bytesOf<std::int32_t>({INT32_MIN, 0x01020304, -7, 0, INT32_MAX})},
        {lineName, "Doubles", VM::Double, 1,
         bytesOf<double>({1.0, -2.5e-300, Lim::denorm_min(), fromBits<double>(0xfff8000000000123ull), 1e300})},
        {lineName, "Longs", VM::Int64, 1, bytesOf<std::int64_t>({INT64_MIN, 0x0102030405060708ll, INT64_MAX, -1, 0})},
        {"Point", "Bytes", VM::Byte, 1, "\xab"}};
    for (const auto& [location, name, type, n, bytes] : data) {
        VM::Data* d = insert(m, location, name, type, n, bytes);
        EXPECT_TRUE(d && (!codec || VM::setCodec(*d, "HxEncrypt"))) << name;
    }
    return m;
}

// A small mesh for the tests that damage every byte of a file.
VM smallMesh(bool codec) {
    VM m;
    m.parameters.set("ContentType", "Small", kReplace);
    const double r = 0.25;
    m.parameters.bundle("Nested").set("r", 1, &r, kReplace);
    const int dims[] = {2, 2};
    m.insertLocation("Grid", 2, dims);
    VM::Data* d = insert(m, "Grid", "Values", VM::Int32, 1, bytesOf<std::int32_t>({1, -2, 300, 0x01020304}));
    if (d && codec) VM::setCodec(*d, "HxEncrypt");
    return m;
}

TEST(VornaMeshModel, namesAreUniqueAndElementsStayInPlaceWhenMoreAreInserted) {
    VM m;
    const int dims[] = {2, 3};
    VM::Location* first = m.insertLocation("Grid", 2, dims);
    EXPECT_EQ(m.insertLocation("Grid", 1, dims), nullptr);
    for (int i = 0; i < 1000; ++i) m.insertLocation(("l" + std::to_string(i)).c_str(), 0, nullptr);
    EXPECT_EQ(m.findLocation("Grid"), first);
}

class VornaMeshFiles : public ::testing::Test {
protected:
    std::string written(VM& mesh, bool ascii, bool native, bool compress, const char* name = "mesh.vm") {
        EXPECT_EQ(mesh.write(folder.path(name).c_str(), ascii, nullptr, native, compress), 1) << mesh.lastError();
        return slurp(folder.path(name));
    }
    std::unique_ptr<VM> readBack(const char* name = "mesh.vm") {
        std::string error = "stale";
        std::unique_ptr<VM> mesh = VM::read(folder.path(name).c_str(), error);
        EXPECT_NE(mesh, nullptr) << error;
        EXPECT_EQ(mesh ? error : "", "");
        return mesh;
    }
    // Reads a file of these bytes, which must be refused; returns the message, which must name the file.
    std::string refusal(const std::string& bytes) {
        const std::string path = folder.write("damaged.vm", bytes);
        std::string error;
        EXPECT_EQ(VM::read(path.c_str(), error), nullptr) << "accepted";
        EXPECT_NE(error.find(path), std::string::npos) << "the message does not name the file: " << error;
        return error;
    }
    // Each edit of `good`'s header must be refused with a message containing the expected text.
    void expectRefusals(const std::string& good, std::initializer_list<std::array<const char*, 3>> edits) {
        for (const auto& [from, to, expected] : edits) {
            std::string file = good;
            editHeader(file, from, to);
            EXPECT_NE(refusal(file).find(expected), std::string::npos) << to << ": " << refusal(file);
        }
    }
    TempFolder folder;
};

struct Form {
    const char* name;
    bool ascii, native, compress, codec;
};
class VornaMeshRoundTrip : public VornaMeshFiles, public ::testing::WithParamInterface<Form> {};

TEST_P(VornaMeshRoundTrip, everyValueReadsBackExactlyAndWritesTheSameFile) {
    const Form& form = GetParam();
    VM original = sampleMesh(form.codec);
    const std::string first = written(original, form.ascii, form.native, form.compress);
    const bool big = !form.native || __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__;
    EXPECT_EQ(first.substr(0, first.find('\n')), std::string("VornaMesh 1.0 ") + (form.ascii ? "ascii" : "binary") +
                                                     (big ? " big-endian" : " little-endian"));
    std::unique_ptr<VM> copy = readBack();
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(differences(original, *copy, !form.ascii || form.codec || form.compress), "");
    EXPECT_EQ(written(*copy, form.ascii, form.native, form.compress, "again.vm"), first);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, VornaMeshRoundTrip,
    ::testing::Values(Form{"binaryNative", false, true, false, false}, Form{"binaryBig", false, false, false, false},
                      Form{"binaryBigZlibCodec", false, false, true, true}, Form{"ascii", true, true, false, false},
                      Form{"asciiBigCodec", true, false, false, true}, Form{"asciiZlib", true, true, true, false}),
    [](const auto& form) { return std::string(form.param.name); });

TEST_F(VornaMeshFiles, blocksHoldTheValuesAsDescribedUnderCrc32Checksums) {
    ASSERT_EQ(referenceCrc32("123456789"), 0xcbf43926u);  // the standard check value
    VM m;
    const int n = 2;
    m.insertLocation("L", 1, &n);
    insert(m, "L", "i", VM::Int32, 1, bytesOf<std::int32_t>({0x01020304, -2}));
    insert(m, "L", "d", VM::Double, 1, bytesOf<double>({1.0, -2.0}));
    insert(m, "L", "pairs", VM::Int16, 2, bytesOf<std::int16_t>({-32768, 7, 32767, 0}));
    insert(m, "L", "floats", VM::Float, 1, bytesOf<float>({0.1f, -1.5e-40f}));
    const std::string big = written(m, false, false, false);
    EXPECT_EQ(big.substr(big.find("\n@1\n") + 4, 8), std::string("\x01\x02\x03\x04\xff\xff\xff\xfe", 8));
    EXPECT_EQ(big.substr(big.find("\n@2\n") + 4, 16), std::string("\x3f\xf0\0\0\0\0\0\0\xc0\0\0\0\0\0\0\0", 16));
    const std::string text = written(m, true, true, false);
    EXPECT_NE(text.find("\n@3\n-32768 7\n32767 0\n@4\n0.1\n-1.5e-40\n"), std::string::npos) << text;
    const std::size_t end = text.find("\nheader-crc 0x");
    EXPECT_EQ(text.substr(end + 1, 22), "header-crc " + hex8(referenceCrc32(text.substr(0, end + 1))) + "\n");
}

struct DamageCase {
    const char* name;
    bool ascii, compress, codec;
};
class VornaMeshDamage : public VornaMeshFiles, public ::testing::WithParamInterface<DamageCase> {};

TEST_P(VornaMeshDamage, everyTruncationAndChangedByteIsRefused) {
    VM m = smallMesh(GetParam().codec);
    const std::string good = written(m, GetParam().ascii, false, GetParam().compress);
    for (std::size_t length = 0; length < good.size(); ++length) {
        SCOPED_TRACE("truncated to " + std::to_string(length) + " bytes");
        refusal(good.substr(0, length));
    }
    for (const unsigned char mask : {0x01, 0x20, 0x80, 0xff}) {
        for (std::size_t at = 0; at < good.size(); ++at) {
            SCOPED_TRACE("byte " + std::to_string(at) + " xor " + std::to_string(mask));
            std::string damaged = good;
            damaged[at] = static_cast<char>(damaged[at] ^ mask);
            refusal(damaged);
        }
    }
    EXPECT_NE(refusal(good + "x").find("1 unexpected bytes after its last data block"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Forms, VornaMeshDamage,
                         ::testing::Values(DamageCase{"binary", false, false, false},
                                           DamageCase{"binaryZlibCodec", false, true, true},
                                           DamageCase{"ascii", true, false, false},
                                           DamageCase{"asciiCodec", true, false, true}),
                         [](const auto& damage) { return std::string(damage.param.name); });

TEST_F(VornaMeshFiles, otherFilesNewerVersionsAndMalformedHeadersAreRefusedClearly) {
    const std::string path = folder.path("damaged.vm");
    EXPECT_EQ(refusal("\x89PNG\r\n\x1a\n not what we read"),
              path + ": not a VornaMesh file (it does not start with \"VornaMesh \")");
    EXPECT_EQ(refusal(""), path + ": the file is empty");
    EXPECT_EQ(refusal("VornaMesh 2.0 quantum both-endian\nanything at all\n"),
              path + ": format version 2.0 is newer than this library reads (1.x); a newer vorna is needed");
    VM m = smallMesh(false);
    const std::string good = written(m, false, true, false);
    // A newer minor version only adds header lines and pairs at the end of a data line.
    std::string file = good;
    editHeader(file, "\nlocation ", "\nfuture-line 1 2 3\nlocation ");
    file.insert(file.find('\n', file.find("\ndata ") + 1), " future-key future-value");
    editHeader(file, "VornaMesh 1.0 ", "VornaMesh 1.4 ");
    folder.write("minor.vm", file);
    std::unique_ptr<VM> copy = readBack("minor.vm");
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(differences(m, *copy, true), "");
    // Headers with valid checksums but absurd sizes or malformed lines.
    expectRefusals(
        written(m, false, true, false),
        {{{"location \"Grid\" 2 2", "location \"Grid\" 1073741824 1073741824", "cannot hold its"}},
         {{"location \"Grid\" 2 2", "location \"Grid\" 1 2", "cannot hold its 8 bytes"}},
         {{"location \"Grid\" 2 2", "location \"Grid\" 2 2 2147483647 2147483647 2147483647", "more nodes than fit"}},
         {{"size 16", "size 1152921504606846976", "cannot hold its 16 bytes"}},
         {{"type int32", "type int128", "unknown primitive type \"int128\""}}});
    const std::string packed = written(m, false, true, true);
    const std::size_t sizeAt = packed.find(" size ") + 6;
    const std::string size = " size " + packed.substr(sizeAt, packed.find(' ', sizeAt) - sizeAt) + " ";
    expectRefusals(packed, {{{size.c_str(), " size 4611686018427387904 ", "is larger than the whole file"}},
                            {{"location \"Grid\" 2 2", "location \"Grid\" 2 3", "holds 16 bytes instead of 24"}}});
    expectRefusals(written(m, true, true, false),
                   {{{"location \"Grid\"", "location \"Elsewhere\"", "location \"Grid\" is not declared before it"}},
                    {{"\"ContentType\" \"Small\"", "\"ContentType\" \"Sm\\x00all\"", "a text cannot hold a NUL byte"}},
                    {{"parameters2 {\n}\n", "parameters2 {\n", "unknown parameter kind \"location\""}}});
}

TEST_F(VornaMeshFiles, aWriteOfDataThatNoLongerFitsLeavesTheExistingFileUnchanged) {
    VM m = smallMesh(false);
    const std::string path = folder.path("mesh.vm"), before = written(m, false, true, false);
    m.findData("Grid", -1, 1, "Values")->values.pop_back();
    EXPECT_EQ(m.write(path.c_str(), false, nullptr, true, false), 0);
    EXPECT_EQ(m.lastError(), path + ": cannot write: data \"Values\" on \"Grid\": holds 15 bytes, its shape needs 16");
    EXPECT_EQ(slurp(path), before);
}

}  // namespace
