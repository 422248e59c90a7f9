// The package's entry points: once-only initialisation and finishing, and the
// build record that the library carries.
#include "HxCircularCameraPath.h"
#include "HxKeyframeCameraPath.h"

#include <mc/McTypeInfo.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <utility>
#include <vector>

extern "C" {
void vornapackage_vevazaru_init();
void vornapackage_vevazaru_finish();
const char* vornapackage_vevazaru();
void soconstructor_vevazaru();
void sodestructor_vevazaru();
}

// In this host a type record registers itself when the library is loaded, so
// the one effect of the init entry point is its call of the class's
// mcInitClass_ function. The package calls these exported functions through
// the dynamic linker, so the definitions below take their place and count the
// calls before doing what the package's own versions do.
namespace {
int initClassCalls = 0;
int exitClassCalls = 0;
// Every class's init and exit call, in the order the package made them.
std::vector<std::string> classCalls;
}  // namespace

extern "C" void mcInitClass_HxKeyframeCameraPath() {
    ++initClassCalls;
    classCalls.push_back("init HxKeyframeCameraPath");
    HxKeyframeCameraPath::initClass();
}

extern "C" void mcExitClass_HxKeyframeCameraPath() {
    ++exitClassCalls;
    classCalls.push_back("exit HxKeyframeCameraPath");
    HxKeyframeCameraPath::exitClass();
}

extern "C" void mcInitClass_HxCircularCameraPath() {
    classCalls.push_back("init HxCircularCameraPath");
    HxCircularCameraPath::initClass();
}

extern "C" void mcExitClass_HxCircularCameraPath() {
    classCalls.push_back("exit HxCircularCameraPath");
    HxCircularCameraPath::exitClass();
}

namespace {

const char* const typeName = "HxKeyframeCameraPath";
const char* const circularTypeName = "HxCircularCameraPath";

// The whole sequence runs in one test: the flags live as long as the process,
// so its steps must not be reordered or filtered apart.
TEST(VeVazaruPackageEntryPoints, initAndFinishActOncePerLoad) {
    const McTypeInfo* record = HxKeyframeCameraPath::getClassTypeId();
    const McTypeInfo* circularRecord = HxCircularCameraPath::getClassTypeId();
    ASSERT_EQ(McTypeInfo::fromName(typeName), record) << "the record exists as soon as the library is loaded";
    ASSERT_EQ(McTypeInfo::fromName(circularTypeName), circularRecord);
    ASSERT_EQ(initClassCalls, 0);
    ASSERT_EQ(exitClassCalls, 0);
    ASSERT_TRUE(classCalls.empty());

    vornapackage_vevazaru_init();
    ASSERT_EQ(initClassCalls, 1) << "the package's call of mcInitClass_ was not seen; the counting above "
                                    "relies on it reaching the test's definition";
    EXPECT_EQ(McTypeInfo::fromName(typeName), record);
    EXPECT_EQ(McTypeInfo::fromName(circularTypeName), circularRecord);
    EXPECT_EQ(classCalls, (std::vector<std::string>{"init HxKeyframeCameraPath", "init HxCircularCameraPath"}));
    const std::vector<std::string> namesAfterInit = McTypeInfo::registeredNames();

    {
        SCOPED_TRACE("second init");
        vornapackage_vevazaru_init();
        soconstructor_vevazaru();
        EXPECT_EQ(initClassCalls, 1);
        EXPECT_EQ(classCalls.size(), 2u);
        EXPECT_EQ(McTypeInfo::registeredNames(), namesAfterInit);
    }
    {
        SCOPED_TRACE("first finish");
        classCalls.clear();
        vornapackage_vevazaru_finish();
        EXPECT_EQ(exitClassCalls, 1);
        EXPECT_EQ(classCalls, (std::vector<std::string>{"exit HxCircularCameraPath", "exit HxKeyframeCameraPath"}))
            << "the reverse of the init order";
        EXPECT_EQ(McTypeInfo::fromName(typeName), nullptr);
        EXPECT_EQ(McTypeInfo::fromName(circularTypeName), nullptr);
    }
    {
        SCOPED_TRACE("second finish");
        // Records that take the names over: a second removal would drop them.
        McTypeInfo standIn(typeName, nullptr, nullptr);
        McTypeInfo circularStandIn(circularTypeName, nullptr, nullptr);
        ASSERT_EQ(McTypeInfo::fromName(typeName), &standIn);
        ASSERT_EQ(McTypeInfo::fromName(circularTypeName), &circularStandIn);
        classCalls.clear();
        vornapackage_vevazaru_finish();
        sodestructor_vevazaru();
        EXPECT_EQ(exitClassCalls, 1);
        EXPECT_TRUE(classCalls.empty());
        EXPECT_EQ(McTypeInfo::fromName(typeName), &standIn);
        EXPECT_EQ(McTypeInfo::fromName(circularTypeName), &circularStandIn);
    }
    {
        SCOPED_TRACE("init after finish");
        classCalls.clear();
        vornapackage_vevazaru_init();
        soconstructor_vevazaru();
        EXPECT_EQ(initClassCalls, 1);
        EXPECT_EQ(exitClassCalls, 1);
        EXPECT_TRUE(classCalls.empty());
        EXPECT_EQ(McTypeInfo::fromName(typeName), nullptr);
        EXPECT_EQ(McTypeInfo::fromName(circularTypeName), nullptr);
    }
}

// ---------------------------------------------------------------------------
// Type records

TEST(VeVazaruPackageTypes, circularPathRecordIsACreatableCameraPath) {
    const McTypeInfo* record = HxCircularCameraPath::getClassTypeId();
    EXPECT_STREQ(record->getName(), "HxCircularCameraPath");
    EXPECT_EQ(record->parent(), VeVazaruPath::getClassTypeId());
    EXPECT_EQ(record->factory(), &HxCircularCameraPath::createInstanceMcTypedObject);
    EXPECT_EQ(HxCircularCameraPath::initClass(), record);
    EXPECT_EQ(HxCircularCameraPath::getClassTypeId(), record) << "built once";

    HxCircularCameraPath* path = HxCircularCameraPath::createInstance();
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(path->getTypeId(), record);
    path->deleteInstance();
    HxCircularCameraPath::deleteInstance(nullptr);
}

// ---------------------------------------------------------------------------
// Build record

using Fields = std::vector<std::pair<std::string, std::string>>;

// Splits "|key|value|key|value..." into its pairs; an odd tail becomes a pair
// with an empty value, which the key checks then report.
Fields splitRecord(const std::string& record) {
    std::vector<std::string> parts;
    std::string current;
    for (std::size_t i = 1; i < record.size(); ++i) {
        if (record[i] == '|') {
            parts.push_back(current);
            current.clear();
        } else {
            current += record[i];
        }
    }
    parts.push_back(current);
    Fields fields;
    for (std::size_t i = 0; i < parts.size(); i += 2)
        fields.emplace_back(parts[i], i + 1 < parts.size() ? parts[i + 1] : std::string());
    return fields;
}

std::string valueOf(const Fields& fields, const std::string& key) {
    for (const auto& field : fields)
        if (field.first == key) return field.second;
    ADD_FAILURE() << "no key " << key;
    return {};
}

std::string readFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

TEST(VeVazaruBuildRecord, startsAndEndsAsTheHostExpects) {
    const std::string record = vornapackage_vevazaru();
    EXPECT_EQ(record.rfind("|version_tag|", 0), 0u) << record;
    EXPECT_TRUE(endsWith(record, "|version_patch|0")) << record;
}

TEST(VeVazaruBuildRecord, keysAlternateWithValuesInTheirOrder) {
    const Fields fields = splitRecord(vornapackage_vevazaru());
    const std::vector<std::string> expectedKeys = {
        "version_tag", "comment",  "compiler", "target_os", "build_cfg",     "build_user",    "build_ip",
        "build_time",  "filename", "path",     "size",      "vendor",        "product",       "version_major",
        "version_minor", "version_patch"};
    std::vector<std::string> keys;
    for (const auto& field : fields) keys.push_back(field.first);
    EXPECT_EQ(keys, expectedKeys);
}

TEST(VeVazaruBuildRecord, fixedValues) {
    const Fields fields = splitRecord(vornapackage_vevazaru());
    EXPECT_EQ(valueOf(fields, "version_tag"), "\\");
    EXPECT_EQ(valueOf(fields, "target_os"), "Linux 64bit");
    EXPECT_EQ(valueOf(fields, "build_cfg"), "Optimize");
    EXPECT_EQ(valueOf(fields, "filename"), "libvevazaru.so");
    EXPECT_EQ(valueOf(fields, "product"), "Pexil");
    EXPECT_EQ(valueOf(fields, "version_major"), "9");
    EXPECT_EQ(valueOf(fields, "version_minor"), "4");
    EXPECT_EQ(valueOf(fields, "version_patch"), "0");
}

TEST(VeVazaruBuildRecord, buildFactsHaveTheirForms) {
    const Fields fields = splitRecord(vornapackage_vevazaru());
    EXPECT_TRUE(std::regex_match(valueOf(fields, "comment"), std::regex("[0-9a-fA-F]{40}")))
        << valueOf(fields, "comment");
    // Compiler name, a blank, then a dotted version.
    EXPECT_TRUE(std::regex_match(valueOf(fields, "compiler"), std::regex("[a-z+]+ [0-9]+(\\.[0-9]+)*")))
        << valueOf(fields, "compiler");
    EXPECT_FALSE(valueOf(fields, "build_user").empty());
    EXPECT_FALSE(valueOf(fields, "build_ip").empty());
    EXPECT_FALSE(valueOf(fields, "vendor").empty());
}

TEST(VeVazaruBuildRecord, buildTimeIsADateAndATime) {
    const std::string value = valueOf(splitRecord(vornapackage_vevazaru()), "build_time");
    ASSERT_TRUE(std::regex_match(value, std::regex("[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}"))) << value;
    int year, month, day, hour, minute, second;
    ASSERT_EQ(std::sscanf(value.c_str(), "%d-%d-%d %d:%d:%d", &year, &month, &day, &hour, &minute, &second), 6);
    EXPECT_GE(year, 2000);
    EXPECT_TRUE(month >= 1 && month <= 12) << value;
    EXPECT_TRUE(day >= 1 && day <= 31) << value;
    EXPECT_TRUE(hour >= 0 && hour <= 23) << value;
    EXPECT_TRUE(minute >= 0 && minute <= 59) << value;
    EXPECT_TRUE(second >= 0 && second <= 60) << value;
}

TEST(VeVazaruBuildRecord, sizeIsTheSizeOfTheBuiltLibrary) {
    const std::string value = valueOf(splitRecord(vornapackage_vevazaru()), "size");
    ASSERT_FALSE(value.empty());
    for (char c : value) ASSERT_TRUE(std::isdigit(static_cast<unsigned char>(c))) << value;
    EXPECT_EQ(std::stoull(value), std::filesystem::file_size(VEVAZARU_LIBRARY_FILE));
}

TEST(VeVazaruBuildRecord, pathIsTheFolderOfTheBuiltLibrary) {
    const std::string value = valueOf(splitRecord(vornapackage_vevazaru()), "path");
    const std::filesystem::path folder = std::filesystem::path(VEVAZARU_LIBRARY_FILE).parent_path();
    ASSERT_TRUE(std::filesystem::exists(value)) << value;
    EXPECT_TRUE(std::filesystem::equivalent(value, folder)) << value << " vs " << folder;
}

TEST(VeVazaruBuildRecord, isTheRecordStoredInTheLibraryFile) {
    const char* record = vornapackage_vevazaru();
    EXPECT_EQ(vornapackage_vevazaru(), record) << "every call returns the same record";
    // With its terminating NUL, so that a longer text in the file cannot match.
    const std::string withEnd(record, std::strlen(record) + 1);
    EXPECT_NE(readFile(VEVAZARU_LIBRARY_FILE).find(withEnd), std::string::npos);
}

}  // namespace
