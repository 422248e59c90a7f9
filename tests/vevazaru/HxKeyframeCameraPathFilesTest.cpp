// Keyframe paths in files: camera-path scenes, data files, readers and saved networks.
#include "HxKeyframeCameraPath.h"

#include <hxcore/HxMessage.h>
#include <hxcore/HxObjectPool.h>
#include <vornamesh/VornaMesh.h>

#include <Inventor/SoDB.h>
#include <Inventor/SoInput.h>
#include <Inventor/nodes/SoGroup.h>
#include <Inventor/nodes/SoInfo.h>
#include <Inventor/nodes/SoOrthographicCamera.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/nodes/SoSeparator.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <sstream>
#include <utility>
#include <vector>

namespace {

// A fresh folder, removed with everything in it when the program ends.
std::string tempDir() {
    static std::vector<std::filesystem::path> made;
    static struct Cleanup {
        ~Cleanup() {
            for (const auto& dir : made) std::filesystem::remove_all(dir);
        }
    } cleanup;
    char pattern[] = "/tmp/vevazaru-files-XXXXXX";
    const char* dir = mkdtemp(pattern);
    if (!dir) return "/tmp";
    made.emplace_back(dir);
    return dir;
}

std::string slurp(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

McHandle<SoCamera> makeCamera(const SbVec3f& position, const SbVec3f& aim) {
    McHandle<SoCamera> camera = new SoPerspectiveCamera;
    VeVazaruPath::setCamera(camera, position, aim, SbVec3f(0, 1, 0));
    return camera;
}

// A path with keyframes at 0 and 10 (and 25 when asked), each camera with a
// height angle of its own so that every field is seen to travel.
void fillPath(HxKeyframeCameraPath& path, bool third = false) {
    McHandle<SoCamera> a = makeCamera(SbVec3f(0, 0, 10), SbVec3f(0, 0, 0));
    static_cast<SoPerspectiveCamera*>(a.ptr())->heightAngle = 0.5f;
    path.addKeyframe(0, a);
    McHandle<SoCamera> b = makeCamera(SbVec3f(10, 2, 0), SbVec3f(1, 0, 0));
    b->nearDistance = 0.25f;
    path.addKeyframe(10, b);
    if (third) path.addKeyframe(25, makeCamera(SbVec3f(0, 4, -10), SbVec3f(0, 1, 0)));
}

// The scene of a file's text, referenced; null when it does not read.
SoSeparator* readSceneText(const std::string& text) {
    SoInput in;
    in.setBuffer(text.data(), text.size());
    SoSeparator* root = SoDB::readAll(&in);
    if (root) root->ref();
    return root;
}

// The time text of the keyframe group i of a camera-path scene.
const char* timeTextOf(SoSeparator* root, int i) {
    return static_cast<SoInfo*>(static_cast<SoGroup*>(root->getChild(i))->getChild(0))->string.getValue().getString();
}

void expectSameKeyframes(const HxKeyframeCameraPath& actual, const HxKeyframeCameraPath& expected) {
    ASSERT_EQ(actual.cameras.size(), expected.cameras.size());
    ASSERT_EQ(actual.times.size(), expected.times.size());
    for (int i = 0; i < actual.cameras.size(); ++i) {
        SCOPED_TRACE(::testing::Message() << "keyframe " << i);
        const SoCamera *a = actual.cameras[i], *e = expected.cameras[i];
        EXPECT_EQ(actual.times[i], expected.times[i]);
        EXPECT_NE(a, e);
        EXPECT_EQ(a->getTypeId(), e->getTypeId());
        EXPECT_TRUE(a->position.getValue().equals(e->position.getValue(), 1e-5f));
        EXPECT_TRUE(a->orientation.getValue().equals(e->orientation.getValue(), 1e-5f));
        EXPECT_FLOAT_EQ(a->focalDistance.getValue(), e->focalDistance.getValue());
        EXPECT_FLOAT_EQ(a->nearDistance.getValue(), e->nearDistance.getValue());
        EXPECT_FLOAT_EQ(static_cast<const SoPerspectiveCamera*>(a)->heightAngle.getValue(),
                        static_cast<const SoPerspectiveCamera*>(e)->heightAngle.getValue());
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

}  // namespace

TEST(KeyframePathFiles, offersItsFourFormatsInOrder) {
    HxKeyframeCameraPath path;
    const HxSaveFormatInfo* f = path.saveFormats();
    const struct {
        const char *name, *extension;
        int flag;
    } expected[] = {{"Camerapath Inventor", "civ", 0},
                    {"Vorna binary", "vm", 1},
                    {"Pexil binary", "vm", 1},
                    {"Pexil Brio", "brio", 1}};
    for (const auto& e : expected) {
        ASSERT_NE(f->name, nullptr);
        EXPECT_STREQ(f->name, e.name);
        EXPECT_STREQ(f->extension, e.extension);
        EXPECT_EQ(f->flag, e.flag);
        EXPECT_NE(f->writer, nullptr);
        ++f;
    }
    EXPECT_EQ(f->name, nullptr);
}

TEST(KeyframePathFiles, inventorFileHoldsOneGroupPerKeyframeAndReadsBack) {
    HxKeyframeCameraPath path;
    fillPath(path, true);
    const std::string dir = tempDir(), file = dir + "/flight.civ";
    std::ofstream(file) << std::string(100000, 'x');  // longer than the new content
    ASSERT_EQ(path.saveInventor(file.c_str()), 1);
    const std::string text = slurp(file);
    EXPECT_EQ(text.rfind("#Inventor V2.1 ascii", 0), 0u) << text;
    EXPECT_EQ(text.find("xxxxxxxxxx"), std::string::npos) << "the old file is replaced whole";
    SoSeparator* root = readSceneText(text);
    ASSERT_NE(root, nullptr);
    ASSERT_EQ(root->getNumChildren(), 3);
    const char* expectedTimes[] = {"0.000000", "10.000000", "25.000000"};
    for (int i = 0; i < 3; ++i) {
        auto* group = static_cast<SoGroup*>(root->getChild(i));
        ASSERT_TRUE(group->isOfType(SoGroup::getClassTypeId()));
        ASSERT_EQ(group->getNumChildren(), 2);
        ASSERT_TRUE(group->getChild(0)->isOfType(SoInfo::getClassTypeId()));
        EXPECT_STREQ(timeTextOf(root, i), expectedTimes[i]);
        EXPECT_TRUE(group->getChild(1)->isOfType(SoPerspectiveCamera::getClassTypeId()));
    }
    root->unref();

    HxKeyframeCameraPath back;
    back.closed = 1;
    back.rotationMode = 2;
    ASSERT_EQ(back.read(file.c_str()), 1);
    expectSameKeyframes(back, path);
    EXPECT_EQ(back.closed, 1) << "settings are the reader's own";
    EXPECT_EQ(back.rotationMode, 2);
    HxKeyframeCameraPath fromMemory;
    ASSERT_EQ(fromMemory.readBytes(text.data(), text.size()), 1);
    expectSameKeyframes(fromMemory, path);

    // The host's reader registers a path under the file's name, and only on success.
    std::ofstream(dir + "/garbage.civ") << "not a scene at all {";
    const size_t before = theObjectPool->objects().size();
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(HxKeyframeCameraPath::readInventor((dir + "/garbage.civ").c_str()), 0);
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(theObjectPool->objects().size(), before);
    ASSERT_EQ(HxKeyframeCameraPath::readInventor(file.c_str()), 1);
    ASSERT_EQ(theObjectPool->objects().size(), before + 1);
    auto* loaded = dynamic_cast<HxKeyframeCameraPath*>(theObjectPool->find("flight"));
    ASSERT_NE(loaded, nullptr);
    expectSameKeyframes(*loaded, path);
    theObjectPool->remove(loaded);
}

TEST(KeyframePathFiles, samplesAreWrittenAtEveryWholeSecond) {
    for (const auto& [duration, samples] : {std::pair<float, int>{2.5f, 3}, {3.0f, 4}, {0.0f, 1}}) {
        SCOPED_TRACE(::testing::Message() << "duration " << duration);
        HxKeyframeCameraPath path;
        path.addKeyframe(0, makeCamera(SbVec3f(0, 0, 10), SbVec3f(0, 0, 0)));
        if (duration > 0) path.addKeyframe(duration, makeCamera(SbVec3f(10, 0, 0), SbVec3f(0, 0, 0)));
        const std::string file = tempDir() + "/samples.civ";
        ASSERT_EQ(path.write(file.c_str(), 0), 1);
        SoSeparator* root = readSceneText(slurp(file));
        ASSERT_NE(root, nullptr);
        ASSERT_EQ(root->getNumChildren(), samples);
        for (int k = 0; k < samples; ++k) {
            char expected[32];
            std::snprintf(expected, sizeof expected, "%f", float(k));
            EXPECT_STREQ(timeTextOf(root, k), expected);
            McHandle<SoCamera> atK = path.getCamera(float(k));
            auto* written = static_cast<SoCamera*>(static_cast<SoGroup*>(root->getChild(k))->getChild(1));
            EXPECT_TRUE(written->position.getValue().equals(atK->position.getValue(), 1e-4f)) << "sample " << k;
        }
        root->unref();
    }
}

TEST(KeyframePathFiles, unsortedTimesAreReadAsTheyStand) {
    const std::string file = tempDir() + "/unsorted.civ";
    std::ofstream(file) << "#Inventor V2.1 ascii\n\n"
                           "Group { Info { string \"7.5\" } PerspectiveCamera { position 0 0 1 } }\n"
                           "Group { Info { string \"2\" } PerspectiveCamera { position 0 0 2 } }\n"
                           "Separator { Info { string \"-1.25\" } OrthographicCamera { position 0 0 3 } }\n";
    HxKeyframeCameraPath path;
    ASSERT_EQ(path.read(file.c_str()), 1);
    EXPECT_EQ(std::vector<float>(path.times.begin(), path.times.end()), (std::vector<float>{7.5f, 2, -1.25f}));
    EXPECT_TRUE(path.cameras[2]->isOfType(SoOrthographicCamera::getClassTypeId()));
    EXPECT_EQ(path.cameras[1]->position.getValue(), SbVec3f(0, 0, 2));
}

// A NaN time once reached the arrays and crashed the flight: a time or camera
// that is not finite refuses the whole file, and is never written.
TEST(KeyframePathFiles, numbersThatAreNotFiniteAreNeitherReadNorWritten) {
    const std::string dir = tempDir();
    for (const char* time : {"nan", "-inf", "1e39"}) {
        SCOPED_TRACE(time);
        const std::string file = dir + "/bad.civ";
        const std::string text = std::string("#Inventor V2.1 ascii\n\n") +
                                 "Group { Info { string \"0\" } PerspectiveCamera { position 0 0 1 } }\n"
                                 "Group { Info { string \"" +
                                 time + "\" } PerspectiveCamera { position 0 0 2 } }\n";
        std::ofstream(file) << text;
        HxKeyframeCameraPath path;
        fillPath(path);
        theMsg->clear();
        EXPECT_EQ(path.read(file.c_str()), 0);
        EXPECT_EQ(theMsg->text(),
                  file + ": keyframe 1 (time \"" + time + "\"): its time is not a finite number; nothing read\n");
        EXPECT_EQ(std::vector<float>(path.times.begin(), path.times.end()), (std::vector<float>{0, 10}));

        VornaMesh mesh;
        const int size = static_cast<int>(text.size());
        mesh.insertLocation("CameraPath", 1, &size);
        mesh.insertData("CameraPath", "CameraPath", VornaMesh::Byte, 1, text.data(), text.size());
        const size_t before = theObjectPool->objects().size();
        EXPECT_EQ(HxKeyframeCameraPath::readVornaMesh(&mesh, "bad.vm"), 0);
        EXPECT_EQ(theObjectPool->objects().size(), before);
    }
    McHandle<SoCamera> broken = makeCamera(SbVec3f(0, 0, 4), SbVec3f(0, 0, 0));
    broken->nearDistance = std::numeric_limits<float>::quiet_NaN();
    HxKeyframeCameraPath path;
    fillPath(path);
    theMsg->clear();
    EXPECT_EQ(path.setCameraPath(sceneOf({{infoAt("1"), broken}}), "x.iv"), -2);
    EXPECT_EQ(theMsg->text(),
              "x.iv: keyframe 0 (time \"1\"): its camera has numbers that are not finite; nothing read\n");
    EXPECT_EQ(path.cameras.size(), 2);

    path.cameras[1]->focalDistance = std::numeric_limits<float>::infinity();
    for (const std::string format : {"Camerapath Inventor", "Vorna binary", "Pexil Brio"}) {
        const std::string file = dir + "/unsaved";
        theMsg->clear();
        EXPECT_EQ(path.saveAs(format.c_str(), file.c_str()), 0) << format;
        EXPECT_EQ(theMsg->text(), file + ": keyframe 1 has numbers that are not finite; not saved\n");
        EXPECT_FALSE(std::filesystem::exists(file)) << format;
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

TEST(KeyframePathFiles, sceneConstructorCopiesGoodGroupsAndReportsBadOnes) {
    McHandle<SoCamera> first = makeCamera(SbVec3f(0, 0, 1), SbVec3f(0, 0, 0));
    McHandle<SoSeparator> scene = sceneOf({{infoAt("1"), first},
                                           {new SoPerspectiveCamera, infoAt("2")},
                                           {infoAt("3")},
                                           {infoAt("4"), makeCamera(SbVec3f(0, 0, 4), SbVec3f(0, 0, 0))}});
    theMsg->clear();
    HxKeyframeCameraPath path(scene);
    EXPECT_EQ(theMsg->text(), "Error in Camerafile\nError in Camerafile\n");
    ASSERT_EQ(path.cameras.size(), 2);
    EXPECT_EQ(path.times[0], 1.0f);
    EXPECT_EQ(path.times[1], 4.0f);
    EXPECT_NE(path.cameras[0].ptr(), first.ptr());
    EXPECT_EQ(path.cameras[1]->position.getValue(), SbVec3f(0, 0, 4));
    EXPECT_EQ(path.portTime.getMaxValue(), 3.0f);
    HxKeyframeCameraPath fromInfo(McHandle<SoInfo>(new SoInfo));
    EXPECT_EQ(fromInfo.cameras.size(), 0) << "anything but a separator gives an empty path";
    theMsg->clear();
}

TEST(KeyframePathFiles, unreadableFilesFailAndLeaveThePath) {
    HxKeyframeCameraPath path;
    fillPath(path);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(path.read("/nonexistent/folder/path.civ"), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Cannot open /nonexistent/folder/path.civ\n");
    const std::string file = tempDir() + "/other.iv";
    std::ofstream(file) << "#Inventor V2.1 ascii\n\nSeparator { Cube { } }\n";
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(path.read(file.c_str()), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Error in Camerafile");
    EXPECT_EQ(path.cameras.size(), 2);
}

TEST(KeyframePathFiles, failedSaveReportsAndWritesNothing) {
    const std::string dir = tempDir();
    std::ofstream(dir + "/plain") << "a file, not a folder";
    const std::string file = dir + "/plain/path.civ";
    HxKeyframeCameraPath path;
    fillPath(path);
    theMsg->clear();
    EXPECT_EQ(path.write(file.c_str(), 1), 0);
    EXPECT_EQ(path.saveInventor(file.c_str()), 0);
    EXPECT_NE(theMsg->text().find("Couldn't write camera file \"" + file + "\""), std::string::npos) << theMsg->text();
    EXPECT_EQ(slurp(dir + "/plain"), "a file, not a folder");
    theMsg->clear();
}

TEST(KeyframePathDataFile, eachFormatWrapsTheSceneTextOfTheKeyframesAndReadsBack) {
    for (const std::string format : {"Vorna binary", "Pexil binary", "Pexil Brio"}) {
        SCOPED_TRACE(format);
        const bool brio = format == "Pexil Brio";
        HxKeyframeCameraPath path;
        fillPath(path, true);
        path.parameters.set("Owner", "test", 0);
        const std::string dir = tempDir(), civ = dir + "/reference.civ";
        const std::string file = dir + (brio ? "/path.brio" : "/path.vm");
        ASSERT_EQ(path.saveInventor(civ.c_str()), 1);
        ASSERT_NE(path.saveAs(format.c_str(), file.c_str()), 0);
        EXPECT_EQ(path.getLoadCmd(), file);

        std::string error, text;
        std::unique_ptr<VornaMesh> mesh = VornaMesh::read(file.c_str(), error);
        ASSERT_NE(mesh, nullptr) << error;
        ASSERT_TRUE(mesh->parameters.getText("ContentType", text));
        EXPECT_EQ(text, "CameraPath");
        EXPECT_TRUE(mesh->parameters.getText("Owner", text));
        EXPECT_EQ(text, "test");
        ASSERT_EQ(mesh->locations().size(), 1u);
        ASSERT_EQ(mesh->data().size(), 1u);
        const VornaMesh::Data* data = mesh->findData("CameraPath", -1, 1, "CameraPath");
        ASSERT_NE(data, nullptr);
        EXPECT_EQ(data->codec, brio ? "HxEncrypt" : "");
        const std::string scene = slurp(civ);
        EXPECT_EQ(mesh->findLocation("CameraPath")->nNodes(), static_cast<long long>(scene.size()));
        EXPECT_EQ(std::string(data->values.begin(), data->values.end()), scene);
        EXPECT_EQ(slurp(file).find("PerspectiveCamera") == std::string::npos, brio) << "scrambled only in brio";

        const size_t before = theObjectPool->objects().size();
        ASSERT_EQ(HxKeyframeCameraPath::readVornaMesh(mesh.get(), file.c_str()), 1);
        ASSERT_EQ(theObjectPool->objects().size(), before + 1);
        auto* loaded = dynamic_cast<HxKeyframeCameraPath*>(theObjectPool->objects().back().ptr());
        ASSERT_NE(loaded, nullptr);
        expectSameKeyframes(*loaded, path);
        EXPECT_TRUE(loaded->parameters.getText("Owner", text));
        theObjectPool->remove(loaded);
    }
}

TEST(KeyframePathDataFile, missingOrWrongDataIsRefusedAndRegistersNothing) {
    const size_t before = theObjectPool->objects().size();
    VornaMesh empty;
    empty.parameters.set("ContentType", "CameraPath", 0);
    theMsg->clear();
    EXPECT_EQ(HxKeyframeCameraPath::readVornaMesh(&empty, "nothing.vm"), 0);
    EXPECT_EQ(theMsg->text(), "Data has not been found in nothing.vm\n");

    VornaMesh cube;
    const std::string text = "#Inventor V2.1 ascii\n\nSeparator { Cube { } }\n";
    const int size = static_cast<int>(text.size());
    cube.insertLocation("CameraPath", 1, &size);
    ASSERT_NE(cube.insertData("CameraPath", "CameraPath", VornaMesh::Byte, 1, text.data(), text.size()), nullptr);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(HxKeyframeCameraPath::readVornaMesh(&cube, "cube.vm"), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Error in Camerafile");
    EXPECT_EQ(theObjectPool->objects().size(), before);
    theMsg->clear();
}

TEST(KeyframePathFiles, savedNetworkCreatesEmptyPathsAndLoadsOthersFromData) {
    const std::string dir = tempDir();
    for (bool withKeyframes : {false, true}) {
        HxKeyframeCameraPath* path = new HxKeyframeCameraPath;
        if (withKeyframes) fillPath(*path);
        theObjectPool->add(path, withKeyframes ? "Flight" : "Empty");
        const std::string script = dir + "/net.tcl";
        FILE* fp = std::fopen(script.c_str(), "w");
        ASSERT_EQ(path->saveCreation(fp, dir.c_str(), 0), 0);
        std::fclose(fp);
        EXPECT_EQ(slurp(script), withKeyframes
                                     ? "[load [file join [file dirname [info script]] {Flight.vm}]] setLabel {Flight}\n"
                                     : "create HxKeyframeCameraPath {Empty}\n");
        theObjectPool->remove(path);
    }
    EXPECT_TRUE(std::ifstream(dir + "/Flight.vm").good());
}
