// Loads the package library just built through the host's loader, as the host
// does at run time. This program does not link the package.
#include <hxcore/HxPackageLoader.h>
#include <mc/McTypeInfo.h>
#include <mc/McTypedObject.h>
#include <paths/VeVazaruPath.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

namespace {

const char* const libraryFile = VEVAZARU_LIBRARY_FILE;
const char* const typeName = "HxKeyframeCameraPath";

// The record as it sits in the file: from "|version_tag|" to the NUL after it.
std::string recordInFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t start = bytes.find("|version_tag|");
    if (start == std::string::npos) return {};
    const std::size_t end = bytes.find('\0', start);
    return bytes.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

std::string sizeField(const std::string& record) {
    const std::string key = "|size|";
    const std::size_t start = record.find(key);
    if (start == std::string::npos) return {};
    const std::size_t valueStart = start + key.size();
    return record.substr(valueStart, record.find('|', valueStart) - valueStart);
}

// One test: once mapped, the library stays in the process, so only the first
// load can show the type appearing.
TEST(VeVazaruPackageLoad, builtLibraryLoadsThroughTheHostsLoader) {
    ASSERT_TRUE(std::filesystem::exists(libraryFile)) << libraryFile;
    ASSERT_EQ(McTypeInfo::fromName(typeName), nullptr) << "the package must not be loaded before the test loads it";

    HxPackageLoader loader;
    std::string error;
    ASSERT_TRUE(loader.loadFile("vevazaru", libraryFile, error)) << error;
    EXPECT_EQ(error, "");

    {
        SCOPED_TRACE("the keyframe path is creatable by name");
        const McTypeInfo* type = McTypeInfo::fromName(typeName);
        ASSERT_NE(type, nullptr);
        EXPECT_STREQ(type->getName(), typeName);
        EXPECT_EQ(type->parent(), VeVazaruPath::getClassTypeId());

        std::unique_ptr<McTypedObject> object(type->createInstance());
        ASSERT_NE(object, nullptr);
        EXPECT_EQ(object->getTypeId(), type);
        auto* path = dynamic_cast<VeVazaruPath*>(object.get());
        ASSERT_NE(path, nullptr);
        EXPECT_FALSE(path->isClosed());
        EXPECT_EQ(path->getDuration(), 0.0f);
    }
    {
        SCOPED_TRACE("the loader keeps the library's build record");
        const HxPackageLoader::Package* package = loader.find("vevazaru");
        ASSERT_NE(package, nullptr);
        EXPECT_EQ(package->libraryPath, libraryFile);

        using RecordFunction = const char* (*)();
        auto record = reinterpret_cast<RecordFunction>(loader.findSymbol("vornapackage_vevazaru"));
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(package->buildRecord, std::string(record()));

        const std::string stored = recordInFile(libraryFile);
        ASSERT_FALSE(stored.empty());
        EXPECT_EQ(package->buildRecord, stored);
        const std::string size = sizeField(package->buildRecord);
        ASSERT_FALSE(size.empty()) << package->buildRecord;
        EXPECT_EQ(std::stoull(size), std::filesystem::file_size(libraryFile)) << package->buildRecord;
    }

    loader.unloadAll();
    EXPECT_EQ(McTypeInfo::fromName(typeName), nullptr) << "unloading calls the finishing entry point";
}

}  // namespace
