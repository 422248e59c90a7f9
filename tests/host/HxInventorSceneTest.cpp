// Inventor and VRML scenes as data objects: loading, what the viewers show,
// the default scene, saving, and refused files.
#include "ScriptTestSupport.h"

#include <hxcore/HxMessage.h>
#include <hxcore/HxObjectPool.h>
#include <scene/HxInventorScene.h>
#include <viewer/HxController.h>
#include <viewer/HxViewer.h>

#include <Inventor/actions/SoSearchAction.h>
#include <Inventor/nodes/SoCone.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoShape.h>
#include <QDir>
#include <QTemporaryDir>
#include <array>
#include <fstream>
#include <sstream>

namespace {

std::string sceneDir() {
    const std::string here = __FILE__;
    return here.substr(0, here.rfind("/tests/host/")) + "/examples/scenes/";
}

std::string slurp(const std::string& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Whether viewer `id` shows a node of the given type (or a derived one).
bool shows(int id, SoType type = SoCone::getClassTypeId()) {
    SoSearchAction search;
    search.setType(type, TRUE);
    search.apply(theController->viewer(id)->getSceneRoot());
    return search.getPath() != nullptr;
}

void expectExtent(const std::array<float, 6>& expected) {
    float box[6];
    theController->getBoundingBox(box, nullptr, HxInventorScene::getClassTypeId());
    const char* names[6] = {"xmin", "xmax", "ymin", "ymax", "zmin", "zmax"};
    for (int i = 0; i < 6; ++i) EXPECT_NEAR(box[i], expected[i], 1e-4) << names[i];
}

class HxInventorSceneTest : public ::testing::Test {
protected:
    void SetUp() override {
        theObjectPool->clear();
        theController->reset();
        theController->viewer(0);
        ASSERT_TRUE(dir.isValid());
        theMsg->clear();
    }
    void TearDown() override {
        theObjectPool->clear();
        theController->reset();
        theMsg->clear();
    }
    std::string path(const char* name) const { return QDir(dir.path()).filePath(name).toStdString(); }
    std::string write(const char* name, const std::string& text) const {
        std::ofstream(path(name)) << text;
        return path(name);
    }
    QTemporaryDir dir;
};

TEST_F(HxInventorSceneTest, typeIsRegisteredAndCreatable) {
    EXPECT_EQ(evalOk("create HxInventorScene Empty"), "Empty");
    auto* scene = dynamic_cast<HxInventorScene*>(theObjectPool->find("Empty"));
    ASSERT_NE(scene, nullptr);
    EXPECT_EQ(scene->getRoot()->getNumChildren(), 0);
}

TEST_F(HxInventorSceneTest, loadedSampleShowsInTheViewersOfItsMaskUntilRemoved) {
    const std::string file = sceneDir() + "plate.iv";
    EXPECT_EQ(evalOk("load " + file), "plate");
    auto* scene = dynamic_cast<HxInventorScene*>(theObjectPool->find("plate"));
    ASSERT_NE(scene, nullptr);
    EXPECT_EQ(scene->getLoadCmd(), file);
    EXPECT_TRUE(shows(0));
    // The plate's comment states it: x and z from -4 to 4, y from -0.2 to 3.
    expectExtent({-4, 4, -0.2f, 3, -4, 4});
    theController->viewer(1);
    evalOk("plate setViewerMask 2");
    EXPECT_FALSE(shows(0));
    EXPECT_TRUE(shows(1));
    evalOk("remove plate");
    EXPECT_FALSE(shows(1));
}

TEST_F(HxInventorSceneTest, vrmlAndInventorFilesLoadWhateverTheExtension) {
    EXPECT_EQ(evalOk("load " + sceneDir() + "columns.wrl"), "columns");
    expectExtent({-3.5f, 3.5f, 0, 4, -0.5f, 0.5f});
    evalOk("remove columns");
    EXPECT_EQ(evalOk("load " + write("cube.scene", "#Inventor V2.1 ascii\nSeparator { Cube { } }\n")), "cube");
    expectExtent({-1, 1, -1, 1, -1, 1});
}

TEST_F(HxInventorSceneTest, defaultSceneLiesAroundTheOrigin) {
    EXPECT_EQ(evalOk("loadDefaultScene"), "DefaultScene");
    EXPECT_EQ(evalOk("loadDefaultScene Second"), "Second");
    EXPECT_TRUE(shows(0));
    // The plate from -3 to 3 with its top at y = -1 (0.2 thick); the sphere
    // reaches up to y = 0.6.
    expectExtent({-3, 3, -1.2f, 0.6f, -3, 3});
    EXPECT_EQ(evalError("loadDefaultScene a b"), "usage: loadDefaultScene [name]");
}

TEST_F(HxInventorSceneTest, savedSceneLoadsBackAndAFailedSaveKeepsTheOldFile) {
    evalOk("loadDefaultScene Scene");
    const std::string plain = write("plain", "keep me"), bad = plain + "/x.iv", file = path("copy.iv");
    evalError("Scene save \"Inventor scene\" " + bad);
    EXPECT_EQ(slurp(plain), "keep me");
    EXPECT_NE(theMsg->text().find("Scene: cannot write \"" + bad + "\""), std::string::npos) << theMsg->text();
    evalOk("Scene save \"Inventor scene\" " + file);
    EXPECT_EQ(slurp(file).rfind("#Inventor V2.1 ascii", 0), 0u);
    evalOk("remove Scene");
    EXPECT_EQ(evalOk("load " + file), "copy");
    expectExtent({-3, 3, -1.2f, 0.6f, -3, 3});
}

TEST_F(HxInventorSceneTest, badFilesGiveAClearErrorAndAddNothing) {
    const struct {
        const char *file, *text, *message;  // the message after "load: "; %s stands for the file's path
    } cases[] = {
        {"junk.iv", "hello world\n", "\"%s\" is not an Inventor or VRML file"},
        {"broken.iv", "#Inventor V2.1 ascii\nSeparator { Cube { width } \n", "could not read scene \"%s\": "},
        {"unknown.iv", "#Inventor V2.1 ascii\nSeparator { NoSuchNode { } }\n", "could not read scene \"%s\": "},
        {"empty.iv", "#Inventor V2.1 ascii\n", "\"%s\" holds no scene"},
        {"broken.wrl", "#VRML V2.0 utf8\nTransform { children [ Shape { \n", "could not read scene \"%s\""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string file = write(c.file, c.text);
        std::string expected = std::string("load: ") + c.message;
        expected.replace(expected.find("%s"), 2, file);
        const std::string message = evalError("load " + file);
        EXPECT_EQ(message.substr(0, expected.size()), expected) << message;
        EXPECT_TRUE(theObjectPool->objects().empty());
        EXPECT_FALSE(shows(0, SoShape::getClassTypeId()));
    }
    EXPECT_EQ(evalError("load " + write("notes.txt", "just text\n")), "load: no reader for files of type \".txt\"");
}

}  // namespace
