// Inventor and VRML scenes as data objects.
#include "ScriptTestSupport.h"

#include <TestFiles.h>
#include <scene/HxInventorScene.h>
#include <viewer/HxViewer.h>

#include <Inventor/actions/SoSearchAction.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoShape.h>

namespace {

const std::string here = __FILE__, sceneDir = here.substr(0, here.rfind("/tests/host/")) + "/examples/scenes/";

// Whether viewer `id` shows a shape.
bool shows(int id) {
    SoSearchAction search;
    search.setType(SoShape::getClassTypeId(), TRUE);
    search.apply(theController->viewer(id)->getSceneRoot());
    return search.getPath() != nullptr;
}
// The bounding box of the scenes: xmin xmax ymin ymax zmin zmax.
std::vector<float> extent() {
    float box[6];
    theController->getBoundingBox(box, nullptr, HxInventorScene::getClassTypeId());
    std::vector<float> rounded;
    for (float v : box) rounded.push_back(std::round(v * 1000) / 1000);
    return rounded;
}

class HxInventorSceneTest : public SessionTest {
protected:
    TempFolder folder;
};

TEST_F(HxInventorSceneTest, aLoadedSceneShowsInTheViewersUntilRemoved) {
    EXPECT_EQ(evalOk("load " + sceneDir + "plate.iv"), "plate");
    EXPECT_TRUE(shows(0));
    // The plate's comment states it: x and z from -4 to 4, y from -0.2 to 3.
    EXPECT_EQ(extent(), (std::vector<float>{-4, 4, -0.2f, 3, -4, 4}));
    evalOk("remove plate");
    EXPECT_FALSE(shows(0));
    EXPECT_EQ(evalOk("load " + sceneDir + "columns.wrl"), "columns");
    EXPECT_EQ(extent(), (std::vector<float>{-3.5f, 3.5f, 0, 4, -0.5f, 0.5f}));
}

TEST_F(HxInventorSceneTest, theDefaultSceneSavesAndLoadsBack) {
    EXPECT_EQ(evalOk("loadDefaultScene Scene"), "Scene");
    // The plate from -3 to 3 with its top at y = -1 (0.2 thick); the sphere reaches up to y = 0.6.
    EXPECT_EQ(extent(), (std::vector<float>{-3, 3, -1.2f, 0.6f, -3, 3}));
    const std::string file = folder.path("copy.scene");
    evalOk("Scene save \"Inventor scene\" " + file + "; remove Scene");
    EXPECT_EQ(slurp(file).rfind("#Inventor V2.1 ascii", 0), 0u);
    EXPECT_EQ(evalOk("load " + file), "copy") << "whatever the extension";
    EXPECT_EQ(extent(), (std::vector<float>{-3, 3, -1.2f, 0.6f, -3, 3}));
}

TEST_F(HxInventorSceneTest, badFilesGiveAClearErrorAndAddNothing) {
    const struct {
        const char *file, *text, *message;  // the message after "load: "; %s stands for the file's path
    } cases[] = {{"junk.iv", "hello world\n", "\"%s\" is not an Inventor or VRML file"},
                 {"broken.iv", "#Inventor V2.1 ascii\nSeparator { Cube { width } \n", "could not read scene \"%s\": "},
                 {"empty.iv", "#Inventor V2.1 ascii\n", "\"%s\" holds no scene"},
                 {"broken.wrl", "#VRML V2.0 utf8\nTransform { children [ Shape { \n", "could not read scene \"%s\""}};
    for (const auto& c : cases) {
        const std::string file = folder.write(c.file, c.text);
        std::string expected = std::string("load: ") + c.message;
        expected.replace(expected.find("%s"), 2, file);
        EXPECT_EQ(evalError("load " + file).substr(0, expected.size()), expected);
    }
    EXPECT_TRUE(theObjectPool->objects().empty());
    EXPECT_FALSE(shows(0));
}

}  // namespace
