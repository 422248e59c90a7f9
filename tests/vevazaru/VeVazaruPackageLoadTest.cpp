// Loads the package library just built through the host's loader, as the host
// does at run time. This program does not link the package.
#include <hxcore/HxPackageLoader.h>
#include <mc/McTypeInfo.h>
#include <mc/McTypedObject.h>
#include <paths/VeVazaruPath.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

// One test: once mapped, the library stays in the process, so only the first
// load can show the type appearing.
TEST(VeVazaruPackageLoad, builtLibraryLoadsThroughTheHostsLoader) {
    ASSERT_EQ(McTypeInfo::fromName("HxKeyframeCameraPath"), nullptr) << "loaded before the test loads it";
    HxPackageLoader loader;
    std::string error;
    ASSERT_TRUE(loader.loadFile("vevazaru", VEVAZARU_LIBRARY_FILE, error)) << error;
    const McTypeInfo* type = McTypeInfo::fromName("HxKeyframeCameraPath");
    ASSERT_NE(type, nullptr);
    std::unique_ptr<McTypedObject> object(type->createInstance());
    ASSERT_NE(dynamic_cast<VeVazaruPath*>(object.get()), nullptr);
    object.reset();
    const HxPackageLoader::Package* package = loader.find("vevazaru");
    ASSERT_NE(package, nullptr);
    auto record = reinterpret_cast<const char* (*)()>(loader.findSymbol("vornapackage_vevazaru"));
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(package->buildRecord, std::string(record()));
    loader.unloadAll();
    EXPECT_EQ(McTypeInfo::fromName("HxKeyframeCameraPath"), nullptr) << "unloading calls the finishing entry point";
}

}  // namespace
