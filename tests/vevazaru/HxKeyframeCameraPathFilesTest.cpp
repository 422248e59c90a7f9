// Keyframe paths in files: camera-path scenes, data files, readers and saved networks.
#include "HxKeyframeCameraPath.h"
#include "PathTestSupport.h"

#include <hxcore/HxMessage.h>
#include <hxcore/HxObjectPool.h>
#include <vornamesh/VornaMesh.h>

#include <Inventor/SoDB.h>
#include <Inventor/SoInput.h>
#include <Inventor/nodes/SoGroup.h>
#include <Inventor/nodes/SoInfo.h>
#include <Inventor/nodes/SoOrthographicCamera.h>
#include <Inventor/nodes/SoSeparator.h>

#include <limits>
#include <memory>
#include <vector>

namespace {

// Keyframes with a height angle and a near distance of their own, so that every field is seen to travel.
void fillPath(HxKeyframeCameraPath& path) {
    for (float k : {0.0f, 1.0f, 2.5f}) {
        McHandle<SoCamera> camera = lookAt(SbVec3f(4 * k, 2 * k, 10 - 8 * k), SbVec3f(k, 0, 0));
        static_cast<SoPerspectiveCamera*>(camera.ptr())->heightAngle = 0.5f + 0.1f * k;
        camera->nearDistance = 0.25f * k + 1;
        path.addKeyframe(10 * k, camera);
    }
}

// The scene of a file's text, held; null when it does not read.
McHandle<SoSeparator> readScene(const std::string& text) {
    SoInput in;
    in.setBuffer(text.data(), text.size());
    return SoDB::readAll(&in);
}

// Times and cameras agree, within what the scene text keeps.
void expectSameKeyframes(const HxKeyframeCameraPath& actual, const HxKeyframeCameraPath& expected) {
    ASSERT_EQ(actual.cameras.size(), expected.cameras.size());
    EXPECT_EQ(std::vector<float>(actual.times.begin(), actual.times.end()),
              std::vector<float>(expected.times.begin(), expected.times.end()));
    for (int i = 0; i < actual.cameras.size(); ++i) {
        const auto *a = static_cast<const SoPerspectiveCamera*>(actual.cameras[i].ptr()),
                   *e = static_cast<const SoPerspectiveCamera*>(expected.cameras[i].ptr());
        EXPECT_TRUE(sameView(a, e, 1e-5f)) << "keyframe " << i;
        EXPECT_EQ(std::make_pair(a->nearDistance.getValue(), a->heightAngle.getValue()),
                  std::make_pair(e->nearDistance.getValue(), e->heightAngle.getValue()));
    }
}

// A separator holding groups made of the given nodes.
McHandle<SoSeparator> sceneOf(std::initializer_list<std::initializer_list<SoNode*>> groups) {
    McHandle<SoSeparator> root = new SoSeparator;
    for (const auto& children : groups) {
        auto* group = new SoGroup;
        for (SoNode* child : children) group->addChild(child);
        root->addChild(group);
    }
    return root;
}
SoInfo* infoAt(const char* time) {
    auto* info = new SoInfo;
    info->string = time;
    return info;
}

// Camera-path text of two keyframes, the second at the given time.
std::string sceneText(const std::string& secondTime) {
    return "#Inventor V2.1 ascii\n\nGroup { Info { string \"7.5\" } PerspectiveCamera { position 0 0 1 } }\n"
           "Separator { Info { string \"" +
           secondTime + "\" } OrthographicCamera { position 0 0 2 } }\n";
}
TEST(KeyframePathFiles, inventorFileHoldsOneGroupPerKeyframeAndReadsBack) {
    HxKeyframeCameraPath path;
    fillPath(path);
    ScratchDir dir;
    const std::string file = dir / "flight.civ";
    std::ofstream(file) << std::string(100000, 'x');  // longer than the new content
    ASSERT_EQ(path.saveInventor(file.c_str()), 1);
    const std::string text = slurp(file);
    EXPECT_EQ(text.find("xxxxxxxxxx"), std::string::npos) << "the old file is replaced whole";
    EXPECT_EQ(HxKeyframeCameraPath::isCameraPath(readScene(text)), 1) << "one info and camera pair per keyframe";
    HxKeyframeCameraPath back;
    back.closed = 1;
    ASSERT_EQ(back.read(file.c_str()), 1);
    expectSameKeyframes(back, path);
    EXPECT_EQ(back.closed, 1) << "settings are the reader's own";
}

// A time or camera that is not finite refuses the whole file, and is never
// written; other times are taken as they stand, in any order.
TEST(KeyframePathFiles, timesAreReadAsTheyStandUnlessNotFinite) {
    HxKeyframeCameraPath path;
    ASSERT_EQ(path.readBytes(sceneText("-1.25").data(), sceneText("-1.25").size()), 1);
    EXPECT_EQ(std::vector<float>(path.times.begin(), path.times.end()), (std::vector<float>{7.5f, -1.25f}));
    EXPECT_TRUE(path.cameras[1]->isOfType(SoOrthographicCamera::getClassTypeId()));
    for (const char* time : {"nan", "1e39"}) {
        const std::string text = sceneText(time);
        theMsg->clear();
        EXPECT_EQ(path.readBytes(text.data(), text.size(), "bad.civ"), 0);
        EXPECT_EQ(theMsg->text(), std::string("bad.civ: keyframe 1 (time \"") + time +
                                      "\"): its time is not a finite number; nothing read\n");
        EXPECT_EQ(path.times[1], -1.25f);
    }
    McHandle<SoCamera> broken = lookAt(SbVec3f(0, 0, 4), SbVec3f(0, 0, 0));
    broken->nearDistance = std::numeric_limits<float>::quiet_NaN();
    theMsg->clear();
    EXPECT_EQ(path.setCameraPath(sceneOf({{infoAt("1"), broken}}), "x.iv"), -2);
    EXPECT_EQ(theMsg->text(),
              "x.iv: keyframe 0 (time \"1\"): its camera has numbers that are not finite; nothing read\n");
    EXPECT_EQ(path.cameras.size(), 2);

    path.cameras[1]->focalDistance = std::numeric_limits<float>::infinity();
    ScratchDir dir;
    theMsg->clear();
    EXPECT_EQ(path.saveAs("Vorna binary", (dir / "unsaved").c_str()), 0);
    EXPECT_EQ(theMsg->text(), (dir / "unsaved") + ": keyframe 1 has numbers that are not finite; not saved\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "unsaved"));
    theMsg->clear();
}

TEST(KeyframePathFiles, sceneCheckAcceptsOnlySeparatorsOfInfoAndCameraPairs) {
    McHandle<SoSeparator> notGroups = new SoSeparator;
    notGroups->addChild(new SoInfo);
    const std::pair<McHandle<SoNode>, int> scenes[] = {
        {nullptr, 0},
        {new SoSeparator, 0},
        {notGroups, 0},
        {sceneOf({{infoAt("1"), new SoPerspectiveCamera}}), 1},
        {sceneOf({{infoAt("1"), new SoPerspectiveCamera}, {new SoPerspectiveCamera, infoAt("2")}}), 0},
        {sceneOf({{infoAt("1"), new SoPerspectiveCamera, infoAt("3")}}), 0},
        {sceneOf({{infoAt("1")}}), 0}};
    for (size_t i = 0; i < std::size(scenes); ++i)
        EXPECT_EQ(HxKeyframeCameraPath::isCameraPath(scenes[i].first), scenes[i].second) << "scene " << i;
}

TEST(KeyframePathDataFile, eachFormatWrapsTheSceneTextOfTheKeyframesAndReadsBack) {
    ScratchDir dir;
    HxKeyframeCameraPath path;
    fillPath(path);
    path.parameters.set("Owner", "test", 0);
    ASSERT_EQ(path.saveInventor((dir / "reference.civ").c_str()), 1);
    const std::string scene = slurp(dir / "reference.civ");
    for (const std::string format : {"Vorna binary", "Pexil binary", "Pexil Brio"}) {
        SCOPED_TRACE(format);
        const bool brio = format == "Pexil Brio";
        const std::string file = dir / (brio ? "path.brio" : "path.vm");
        ASSERT_NE(path.saveAs(format.c_str(), file.c_str()), 0);
        std::string error, text;
        std::unique_ptr<VornaMesh> mesh = VornaMesh::read(file.c_str(), error);
        ASSERT_NE(mesh, nullptr) << error;
        const VornaMesh::Data* data = mesh->findData("CameraPath", -1, 1, "CameraPath");
        ASSERT_NE(data, nullptr);
        EXPECT_EQ(data->codec, brio ? "HxEncrypt" : "");
        EXPECT_EQ(std::string(data->values.begin(), data->values.end()), scene);
        EXPECT_EQ(slurp(file).find("PerspectiveCamera") == std::string::npos, brio) << "scrambled only in brio";

        ASSERT_EQ(HxKeyframeCameraPath::readVornaMesh(mesh.get(), file.c_str()), 1);
        auto* loaded = dynamic_cast<HxKeyframeCameraPath*>(theObjectPool->objects().back().ptr());
        ASSERT_NE(loaded, nullptr);
        expectSameKeyframes(*loaded, path);
        EXPECT_TRUE(loaded->parameters.getText("Owner", text));
        theObjectPool->remove(loaded);
    }
    const size_t before = theObjectPool->objects().size();
    VornaMesh empty;
    theMsg->clear();
    EXPECT_EQ(HxKeyframeCameraPath::readVornaMesh(&empty, "nothing.vm"), 0);
    EXPECT_EQ(theMsg->text(), "Data has not been found in nothing.vm\n");
    EXPECT_EQ(theObjectPool->objects().size(), before);
    theMsg->clear();
}

}  // namespace
