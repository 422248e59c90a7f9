// Loads the package library just built through the host's loader, as the host
// does at run time. This program does not link the package.
#include <hxcore/HxPackageLoader.h>
#include <mc/McTypeInfo.h>
#include <mc/McTypedObject.h>
#include <paths/VeVazaruPath.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

namespace {

const char* const libraryFile = VEVAZARU_LIBRARY_FILE;
const char* const typeName = "HxKeyframeCameraPath";

// One test: once mapped, the library stays in the process, so only the first
// load can show the type appearing.
TEST(VeVazaruPackageLoad, builtLibraryLoadsThroughTheHostsLoader) {
    ASSERT_TRUE(std::filesystem::exists(libraryFile)) << libraryFile;
    ASSERT_EQ(McTypeInfo::fromName(typeName), nullptr) << "the package must not be loaded before the test loads it";

    HxPackageLoader loader;
    std::string error;
    ASSERT_TRUE(loader.loadFile("vevazaru", libraryFile, error)) << error;
    EXPECT_EQ(error, "");

    const McTypeInfo* type = McTypeInfo::fromName(typeName);
    ASSERT_NE(type, nullptr);
    EXPECT_EQ(type->parent(), VeVazaruPath::getClassTypeId());
    std::unique_ptr<McTypedObject> object(type->createInstance());
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->getTypeId(), type);
    auto* path = dynamic_cast<VeVazaruPath*>(object.get());
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(path->getDuration(), 0.0f);
    object.reset();

    const HxPackageLoader::Package* package = loader.find("vevazaru");
    ASSERT_NE(package, nullptr);
    EXPECT_EQ(package->libraryPath, libraryFile);
    using RecordFunction = const char* (*)();
    auto record = reinterpret_cast<RecordFunction>(loader.findSymbol("vornapackage_vevazaru"));
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(package->buildRecord, std::string(record()));
    EXPECT_EQ(package->buildRecord.rfind("|version_tag|", 0), 0u) << package->buildRecord;

    loader.unloadAll();
    EXPECT_EQ(McTypeInfo::fromName(typeName), nullptr) << "unloading calls the finishing entry point";
}

}  // namespace
