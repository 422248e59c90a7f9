// The package's entry points: once-only initialisation and finishing, and the
// build record that the library carries.
#include "HxCircularCameraPath.h"
#include "HxKeyframeCameraPath.h"
#include "internal/HxPortTimeSlider.h"

#include <mc/McTypeInfo.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" {
void vornapackage_vevazaru_init();
void vornapackage_vevazaru_finish();
const char* vornapackage_vevazaru();
void soconstructor_vevazaru();
void sodestructor_vevazaru();
}

// The one effect of the init entry point is its call of each class's
// mcInitClass_ function (a record registers itself when the library is loaded).
// The package calls these through the dynamic linker, so the definitions below
// take their place and log the calls before doing what the package's own do.
namespace {
std::vector<std::string> classCalls;
}  // namespace
#define LOGGED_CLASS(Class)                                                                             \
    extern "C" void mcInitClass_##Class() { classCalls.push_back("init " #Class), Class::initClass(); } \
    extern "C" void mcExitClass_##Class() { classCalls.push_back("exit " #Class), Class::exitClass(); }
LOGGED_CLASS(HxPortTimeSlider)
LOGGED_CLASS(HxKeyframeCameraPath)
LOGGED_CLASS(HxCircularCameraPath)

namespace {

using Calls = std::vector<std::string>;
const char* const names[] = {"HxKeyframeCameraPath", "HxCircularCameraPath", "HxPortTimeSlider"};

// The whole sequence runs in one test: the flags live as long as the process.
TEST(VeVazaruPackageEntryPoints, initAndFinishActOncePerLoad) {
    ASSERT_EQ(McTypeInfo::fromName(names[0]), HxKeyframeCameraPath::getClassTypeId());
    ASSERT_TRUE(classCalls.empty());
    vornapackage_vevazaru_init();
    ASSERT_EQ(classCalls, (Calls{"init HxPortTimeSlider", "init HxKeyframeCameraPath", "init HxCircularCameraPath"}))
        << "the counting relies on the package's calls reaching the test's definitions";
    const Calls namesAfterInit = McTypeInfo::registeredNames();
    classCalls.clear();
    vornapackage_vevazaru_init();
    soconstructor_vevazaru();
    EXPECT_TRUE(classCalls.empty()) << "second init";
    EXPECT_EQ(McTypeInfo::registeredNames(), namesAfterInit);

    vornapackage_vevazaru_finish();
    EXPECT_EQ(classCalls, (Calls{"exit HxCircularCameraPath", "exit HxKeyframeCameraPath", "exit HxPortTimeSlider"}));
    for (const char* name : names) EXPECT_EQ(McTypeInfo::fromName(name), nullptr) << name;
    // Records that take the names over: a second removal would drop them.
    McTypeInfo standIn(names[0], nullptr, nullptr), circularStandIn(names[1], nullptr, nullptr);
    classCalls.clear();
    vornapackage_vevazaru_finish();
    sodestructor_vevazaru();
    EXPECT_TRUE(classCalls.empty()) << "second finish";
    EXPECT_EQ(McTypeInfo::fromName(names[0]), &standIn);
    EXPECT_EQ(McTypeInfo::fromName(names[1]), &circularStandIn);
    vornapackage_vevazaru_init();
    EXPECT_TRUE(classCalls.empty()) << "init after finish";
}

// The record names the library's folder and size, and is the text stored in the
// file, with its terminating NUL so that a longer text cannot match.
TEST(VeVazaruBuildRecord, describesAndIsStoredInTheLibraryFile) {
    const std::string record = vornapackage_vevazaru();
    EXPECT_EQ(record.rfind("|version_tag|", 0), 0u) << record;
    const std::filesystem::path library(VEVAZARU_LIBRARY_FILE);
    auto field = [&record](const std::string& key) {
        const std::size_t from = record.find("|" + key + "|") + key.size() + 2;
        return record.substr(from, record.find('|', from) - from);
    };
    EXPECT_EQ(field("filename"), "libvevazaru.so");
    EXPECT_TRUE(std::filesystem::equivalent(field("path"), library.parent_path())) << record;
    EXPECT_EQ(std::stoull(field("size")), std::filesystem::file_size(library));
    std::ifstream in(library, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(bytes.find(std::string(record.c_str(), record.size() + 1)), std::string::npos);
}

}  // namespace
