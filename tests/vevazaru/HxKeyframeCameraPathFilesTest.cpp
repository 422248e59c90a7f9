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

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

namespace {

// Keyframes at 0, 10 and 25, with a height angle and a near distance of their
// own so that every field is seen to travel.
void fillPath(HxKeyframeCameraPath& path) {
    McHandle<SoCamera> a = lookAt(SbVec3f(0, 0, 10), SbVec3f(0, 0, 0));
    static_cast<SoPerspectiveCamera*>(a.ptr())->heightAngle = 0.5f;
    path.addKeyframe(0, a);
    McHandle<SoCamera> b = lookAt(SbVec3f(10, 2, 0), SbVec3f(1, 0, 0));
    b->nearDistance = 0.25f;
    path.addKeyframe(10, b);
    path.addKeyframe(25, lookAt(SbVec3f(0, 4, -10), SbVec3f(0, 1, 0)));
}

// The scene of a file's text, held; null when it does not read.
McHandle<SoSeparator> readScene(const std::string& text) {
    SoInput in;
    in.setBuffer(text.data(), text.size());
    return SoDB::readAll(&in);
}
SoNode* childOf(SoSeparator* root, int group, int child) {
    return static_cast<SoGroup*>(root->getChild(group))->getChild(child);
}
std::string timeTextOf(SoSeparator* root, int group) {
    return static_cast<SoInfo*>(childOf(root, group, 0))->string.getValue().getString();
}

// Times and camera fields agree, within what the scene text keeps.
void expectSameKeyframes(const HxKeyframeCameraPath& actual, const HxKeyframeCameraPath& expected) {
    auto values = [](const HxKeyframeCameraPath& path) {
        std::vector<float> all(path.times.begin(), path.times.end());
        for (const auto& c : path.cameras) {
            const SbVec3f p = c->position.getValue();
            const float* q = c->orientation.getValue().getValue();
            const float height = static_cast<const SoPerspectiveCamera*>(c.ptr())->heightAngle.getValue();
            all.insert(all.end(), {p[0], p[1], p[2], q[0], q[1], q[2], q[3], c->nearDistance.getValue(), height});
        }
        return all;
    };
    const std::vector<float> a = values(actual), e = values(expected);
    ASSERT_EQ(a.size(), e.size());
    for (std::size_t i = 0; i < a.size(); ++i) EXPECT_NEAR(a[i], e[i], 1e-5f * (1 + std::fabs(e[i]))) << "value " << i;
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
std::unique_ptr<VornaMesh> meshHolding(const std::string& text) {
    auto mesh = std::make_unique<VornaMesh>();
    const int size = static_cast<int>(text.size());
    mesh->insertLocation("CameraPath", 1, &size);
    mesh->insertData("CameraPath", "CameraPath", VornaMesh::Byte, 1, text.data(), text.size());
    return mesh;
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
    McHandle<SoSeparator> root = readScene(text);
    ASSERT_NE(root.ptr(), nullptr);
    ASSERT_EQ(root->getNumChildren(), 3);
    const char* expectedTimes[] = {"0.000000", "10.000000", "25.000000"};
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(static_cast<SoGroup*>(root->getChild(i))->getNumChildren(), 2);
        EXPECT_EQ(timeTextOf(root, i), expectedTimes[i]);
        EXPECT_TRUE(childOf(root, i, 1)->isOfType(SoPerspectiveCamera::getClassTypeId()));
    }
    HxKeyframeCameraPath back, fromMemory;
    back.closed = 1;
    ASSERT_EQ(back.read(file.c_str()), 1);
    expectSameKeyframes(back, path);
    EXPECT_EQ(back.closed, 1) << "settings are the reader's own";
    ASSERT_EQ(fromMemory.readBytes(text.data(), text.size()), 1);
    expectSameKeyframes(fromMemory, path);

    // The host's reader registers a path under the file's name, and only on success.
    ASSERT_EQ(HxKeyframeCameraPath::readInventor(file.c_str()), 1);
    auto* loaded = dynamic_cast<HxKeyframeCameraPath*>(theObjectPool->find("flight"));
    ASSERT_NE(loaded, nullptr);
    expectSameKeyframes(*loaded, path);
    theObjectPool->remove(loaded);
}

// A NaN time once reached the arrays and crashed the flight: a time or camera
// that is not finite refuses the whole file, and is never written. Other times
// are taken as they stand, in any order.
TEST(KeyframePathFiles, timesAreReadAsTheyStandUnlessNotFinite) {
    HxKeyframeCameraPath path;
    ASSERT_EQ(path.readBytes(sceneText("-1.25").data(), sceneText("-1.25").size()), 1);
    EXPECT_EQ(std::vector<float>(path.times.begin(), path.times.end()), (std::vector<float>{7.5f, -1.25f}));
    EXPECT_TRUE(path.cameras[1]->isOfType(SoOrthographicCamera::getClassTypeId()));
    for (const char* time : {"nan", "-inf", "1e39"}) {
        SCOPED_TRACE(time);
        const std::string text = sceneText(time);
        theMsg->clear();
        EXPECT_EQ(path.readBytes(text.data(), text.size(), "bad.civ"), 0);
        EXPECT_EQ(theMsg->text(), std::string("bad.civ: keyframe 1 (time \"") + time +
                                      "\"): its time is not a finite number; nothing read\n");
        EXPECT_EQ(path.times[1], -1.25f);
        const size_t before = theObjectPool->objects().size();
        EXPECT_EQ(HxKeyframeCameraPath::readVornaMesh(meshHolding(text).get(), "bad.vm"), 0);
        EXPECT_EQ(theObjectPool->objects().size(), before);
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
    for (const char* format : {"Camerapath Inventor", "Vorna binary", "Pexil Brio"}) {
        theMsg->clear();
        EXPECT_EQ(path.saveAs(format, (dir / "unsaved").c_str()), 0) << format;
        EXPECT_EQ(theMsg->text(), (dir / "unsaved") + ": keyframe 1 has numbers that are not finite; not saved\n");
        EXPECT_FALSE(std::filesystem::exists(dir / "unsaved")) << format;
    }
    theMsg->clear();
}

TEST(KeyframePathFiles, sceneCheckAcceptsOnlySeparatorsOfInfoAndCameraPairs) {
    McHandle<SoSeparator> notGroups = new SoSeparator;
    notGroups->addChild(new SoInfo);
    const std::pair<McHandle<SoNode>, int> scenes[] = {
        {nullptr, 0},
        {new SoSeparator, 0},
        {new SoGroup, 0},
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
        EXPECT_EQ(path.getLoadCmd(), file);
        std::string error, text;
        std::unique_ptr<VornaMesh> mesh = VornaMesh::read(file.c_str(), error);
        ASSERT_NE(mesh, nullptr) << error;
        ASSERT_TRUE(mesh->parameters.getText("ContentType", text));
        EXPECT_EQ(text, "CameraPath");
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
    // Without the data, or with other data: refused, nothing registered.
    const size_t before = theObjectPool->objects().size();
    VornaMesh empty;
    theMsg->clear();
    EXPECT_EQ(HxKeyframeCameraPath::readVornaMesh(&empty, "nothing.vm"), 0);
    EXPECT_EQ(theMsg->text(), "Data has not been found in nothing.vm\n");
    EXPECT_EQ(theObjectPool->objects().size(), before);
    theMsg->clear();
}

}  // namespace
