// The package's entry points: once-only initialisation and finishing, and the
// build record that the library carries.
#include "HxCircularCameraPath.h"
#include "HxKeyframeCameraPath.h"
#include "internal/HxPortTimeSlider.h"

#include <mc/McTypeInfo.h>
#include <ports/HxPortTypeInfo.h>
#include <viewer/HxController.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
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
// the one effect of the init entry point is its call of each class's
// mcInitClass_ function. The package calls these through the dynamic linker, so
// the definitions below take their place and log the calls before doing what
// the package's own versions do.
namespace {
std::vector<std::string> classCalls;
}  // namespace

extern "C" void mcInitClass_HxPortTimeSlider() {
    classCalls.push_back("init HxPortTimeSlider");
    HxPortTimeSlider::initClass();
}
extern "C" void mcExitClass_HxPortTimeSlider() {
    classCalls.push_back("exit HxPortTimeSlider");
    HxPortTimeSlider::exitClass();
}
extern "C" void mcInitClass_HxKeyframeCameraPath() {
    classCalls.push_back("init HxKeyframeCameraPath");
    HxKeyframeCameraPath::initClass();
}
extern "C" void mcExitClass_HxKeyframeCameraPath() {
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
const char* const sliderTypeName = "HxPortTimeSlider";
using Calls = std::vector<std::string>;

// The whole sequence runs in one test: the flags live as long as the process.
TEST(VeVazaruPackageEntryPoints, initAndFinishActOncePerLoad) {
    const McTypeInfo* record = HxKeyframeCameraPath::getClassTypeId();
    const McTypeInfo* circularRecord = HxCircularCameraPath::getClassTypeId();
    ASSERT_EQ(McTypeInfo::fromName(typeName), record) << "the record exists as soon as the library is loaded";
    ASSERT_EQ(McTypeInfo::fromName(circularTypeName), circularRecord);
    ASSERT_EQ(McTypeInfo::fromName(sliderTypeName), HxPortTimeSlider::getClassTypeId());
    ASSERT_TRUE(classCalls.empty());

    vornapackage_vevazaru_init();
    ASSERT_EQ(classCalls, (Calls{"init HxPortTimeSlider", "init HxKeyframeCameraPath", "init HxCircularCameraPath"}))
        << "the counting relies on the package's calls reaching the test's definitions";
    EXPECT_EQ(McTypeInfo::fromName(typeName), record);
    const Calls namesAfterInit = McTypeInfo::registeredNames();

    classCalls.clear();
    vornapackage_vevazaru_init();
    soconstructor_vevazaru();
    EXPECT_TRUE(classCalls.empty()) << "second init";
    EXPECT_EQ(McTypeInfo::registeredNames(), namesAfterInit);

    vornapackage_vevazaru_finish();
    EXPECT_EQ(classCalls, (Calls{"exit HxCircularCameraPath", "exit HxKeyframeCameraPath", "exit HxPortTimeSlider"}))
        << "reverse order";
    EXPECT_EQ(McTypeInfo::fromName(typeName), nullptr);
    EXPECT_EQ(McTypeInfo::fromName(circularTypeName), nullptr);
    EXPECT_EQ(McTypeInfo::fromName(sliderTypeName), nullptr);

    // Records that take the names over: a second removal would drop them.
    McTypeInfo standIn(typeName, nullptr, nullptr), circularStandIn(circularTypeName, nullptr, nullptr);
    ASSERT_EQ(McTypeInfo::fromName(typeName), &standIn);
    classCalls.clear();
    vornapackage_vevazaru_finish();
    sodestructor_vevazaru();
    EXPECT_TRUE(classCalls.empty()) << "second finish";
    EXPECT_EQ(McTypeInfo::fromName(typeName), &standIn);
    EXPECT_EQ(McTypeInfo::fromName(circularTypeName), &circularStandIn);

    vornapackage_vevazaru_init();
    soconstructor_vevazaru();
    EXPECT_TRUE(classCalls.empty()) << "init after finish";
}

TEST(VeVazaruPackageTypes, circularPathRecordIsACreatableCameraPath) {
    const McTypeInfo* record = HxCircularCameraPath::getClassTypeId();
    EXPECT_STREQ(record->getName(), circularTypeName);
    EXPECT_EQ(record->parent(), VeVazaruPath::getClassTypeId());
    EXPECT_EQ(HxCircularCameraPath::initClass(), record);
    HxCircularCameraPath* path = HxCircularCameraPath::createInstance();
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(path->getTypeId(), record);
    path->deleteInstance();
    HxCircularCameraPath::deleteInstance(nullptr);
    theController->reset();  // the path took its start camera from a new main viewer
}

TEST(VeVazaruPackageTypes, timeSliderRecordIsAPortTypeWithoutFactories) {
    const McTypeInfo* record = HxPortTimeSlider::getClassTypeId();
    EXPECT_STREQ(record->getName(), sliderTypeName);
    EXPECT_EQ(record->parent(), HxPort::getClassTypeId());
    EXPECT_EQ(HxPortTimeSlider::initClass(), record);
    const auto* portRecord = dynamic_cast<const HxPortTypeInfo*>(record);
    ASSERT_NE(portRecord, nullptr);
    EXPECT_EQ(portRecord->objectFactory(), nullptr);
    EXPECT_EQ(portRecord->dialogFactory(), nullptr);
    HxPortTimeSlider port(nullptr, "portTimeSlider", QString("Time"));
    EXPECT_EQ(port.getTypeId(), record);
}

// "|key|value|key|value..." as its pairs, in order.
std::vector<std::pair<std::string, std::string>> splitRecord(const std::string& record) {
    std::vector<std::string> parts(1);
    for (std::size_t i = 1; i < record.size(); ++i) {
        if (record[i] == '|')
            parts.emplace_back();
        else
            parts.back() += record[i];
    }
    std::vector<std::pair<std::string, std::string>> fields;
    for (std::size_t i = 0; i < parts.size(); i += 2)
        fields.emplace_back(parts[i], i + 1 < parts.size() ? parts[i + 1] : std::string());
    return fields;
}

TEST(VeVazaruBuildRecord, hasItsKeysInOrderWithValuesOfTheirForms) {
    const std::string record = vornapackage_vevazaru();
    EXPECT_EQ(record.rfind("|version_tag|", 0), 0u) << record;
    const std::string tail = "|version_patch|0";
    EXPECT_EQ(record.compare(record.size() - tail.size(), tail.size(), tail), 0) << record;

    const auto fields = splitRecord(record);
    std::vector<std::string> keys;
    std::map<std::string, std::string> value;
    for (const auto& field : fields) {
        keys.push_back(field.first);
        value[field.first] = field.second;
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"version_tag", "comment", "compiler", "target_os", "build_cfg",
                                              "build_user", "build_ip", "build_time", "filename", "path", "size",
                                              "vendor", "product", "version_major", "version_minor", "version_patch"}));
    const std::pair<const char*, const char*> fixed[] = {
        {"version_tag", "\\"}, {"target_os", "Linux 64bit"}, {"build_cfg", "Optimize"}, {"filename", "libvevazaru.so"},
        {"product", "Pexil"},  {"version_major", "9"},       {"version_minor", "4"}};
    for (const auto& f : fixed) EXPECT_EQ(value[f.first], f.second) << f.first;
    const std::pair<const char*, const char*> forms[] = {
        {"comment", "[0-9a-fA-F]{40}"},
        {"compiler", "[a-z+]+ [0-9]+(\\.[0-9]+)*"},
        {"build_time", "[0-9]{4}-(0[1-9]|1[0-2])-(0[1-9]|[12][0-9]|3[01]) ([01][0-9]|2[0-3]):[0-5][0-9]:[0-6][0-9]"},
        {"build_user", ".+"},
        {"build_ip", ".+"},
        {"vendor", ".+"},
        {"size", "[0-9]+"}};
    for (const auto& f : forms)
        EXPECT_TRUE(std::regex_match(value[f.first], std::regex(f.second))) << f.first << "=" << value[f.first];

    ASSERT_FALSE(value["size"].empty());
    EXPECT_EQ(std::stoull(value["size"]), std::filesystem::file_size(VEVAZARU_LIBRARY_FILE));
    ASSERT_TRUE(std::filesystem::exists(value["path"])) << value["path"];
    EXPECT_TRUE(std::filesystem::equivalent(value["path"], std::filesystem::path(VEVAZARU_LIBRARY_FILE).parent_path()));
}

TEST(VeVazaruBuildRecord, isTheRecordStoredInTheLibraryFile) {
    const char* record = vornapackage_vevazaru();
    EXPECT_EQ(vornapackage_vevazaru(), record) << "every call returns the same record";
    // With its terminating NUL, so that a longer text in the file cannot match.
    std::ifstream in(VEVAZARU_LIBRARY_FILE, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(bytes.find(std::string(record, std::strlen(record) + 1)), std::string::npos);
}

}  // namespace
