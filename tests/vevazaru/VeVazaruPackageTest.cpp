// The package's entry points: once-only initialisation and finishing.
#include "HxCircularCameraPath.h"
#include "HxKeyframeCameraPath.h"
#include "internal/HxPortTimeSlider.h"

#include <mc/McTypeInfo.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

extern "C" {
void vornapackage_vevazaru_init();
void vornapackage_vevazaru_finish();
void soconstructor_vevazaru();
void sodestructor_vevazaru();
}

// The init entry point calls each class's mcInitClass_ function through the
// dynamic linker, so these definitions take their place and log the calls.
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

}  // namespace
