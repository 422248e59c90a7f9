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

#include <algorithm>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace {

std::string tempDir() {
    char pattern[] = "/tmp/vevazaru-files-XXXXXX";
    const char* dir = mkdtemp(pattern);
    return dir ? dir : "/tmp";
}

std::string slurp(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool exists(const std::string& file) {
    struct stat st;
    return stat(file.c_str(), &st) == 0;
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

// The scene of a file or of memory, referenced; null when it does not read.
SoSeparator* readSceneText(const std::string& text) {
    SoInput in;
    in.setBuffer(text.data(), text.size());
    SoSeparator* root = SoDB::readAll(&in);
    if (root) root->ref();
    return root;
}

void expectSameKeyframes(const HxKeyframeCameraPath& actual, const HxKeyframeCameraPath& expected) {
    ASSERT_EQ(actual.cameras.size(), expected.cameras.size());
    ASSERT_EQ(actual.times.size(), expected.times.size());
    for (int i = 0; i < actual.cameras.size(); ++i) {
        EXPECT_EQ(actual.times[i], expected.times[i]);
        EXPECT_NE(actual.cameras[i].ptr(), expected.cameras[i].ptr());
        EXPECT_EQ(actual.cameras[i]->getTypeId(), expected.cameras[i]->getTypeId());
        EXPECT_TRUE(actual.cameras[i]->position.getValue().equals(expected.cameras[i]->position.getValue(), 1e-5f));
        EXPECT_TRUE(actual.cameras[i]->orientation.getValue().equals(expected.cameras[i]->orientation.getValue(), 1e-5f));
        EXPECT_FLOAT_EQ(actual.cameras[i]->focalDistance.getValue(), expected.cameras[i]->focalDistance.getValue());
        EXPECT_FLOAT_EQ(actual.cameras[i]->nearDistance.getValue(), expected.cameras[i]->nearDistance.getValue());
        if (actual.cameras[i]->isOfType(SoPerspectiveCamera::getClassTypeId())) {
            EXPECT_FLOAT_EQ(static_cast<SoPerspectiveCamera*>(actual.cameras[i].ptr())->heightAngle.getValue(),
                            static_cast<SoPerspectiveCamera*>(expected.cameras[i].ptr())->heightAngle.getValue());
        }
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

// ---------------------------------------------------------------------------
// The save-format table

TEST(KeyframePathFiles, offersItsFourFormatsInOrder) {
    HxKeyframeCameraPath path;
    const HxSaveFormatInfo* f = path.saveFormats();
    ASSERT_NE(f, nullptr);
    const struct {
        const char* name;
        const char* extension;
        int flag;
    } expected[] = {{"Camerapath Inventor", "civ", 0}, {"Vorna binary", "vm", 1}, {"Pexil binary", "vm", 1},
                    {"Pexil Brio", "brio", 1}};
    for (const auto& e : expected) {
        ASSERT_NE(f->name, nullptr);
        EXPECT_STREQ(f->name, e.name);
        EXPECT_STREQ(f->extension, e.extension);
        EXPECT_EQ(f->flag, e.flag);
        EXPECT_NE(f->writer, nullptr);
        EXPECT_EQ(f->second, nullptr);
        ++f;
    }
    EXPECT_EQ(f->name, nullptr);
    EXPECT_EQ(f->extension, nullptr);
    EXPECT_EQ(f->writer, nullptr);
}

// ---------------------------------------------------------------------------
// Camera-path scenes

TEST(KeyframePathFiles, inventorFileHoldsOneGroupPerKeyframe) {
    HxKeyframeCameraPath path;
    fillPath(path);
    const std::string file = tempDir() + "/path.civ";
    ASSERT_EQ(path.saveInventor(file.c_str()), 1);
    const std::string text = slurp(file);
    EXPECT_EQ(text.rfind("#Inventor V2.1 ascii", 0), 0u) << text;
    SoSeparator* root = readSceneText(text);
    ASSERT_NE(root, nullptr);
    ASSERT_EQ(root->getNumChildren(), 2);
    const char* expectedTimes[] = {"0.000000", "10.000000"};
    for (int i = 0; i < 2; ++i) {
        auto* group = static_cast<SoGroup*>(root->getChild(i));
        ASSERT_TRUE(group->isOfType(SoGroup::getClassTypeId()));
        ASSERT_EQ(group->getNumChildren(), 2);
        ASSERT_TRUE(group->getChild(0)->isOfType(SoInfo::getClassTypeId()));
        EXPECT_STREQ(static_cast<SoInfo*>(group->getChild(0))->string.getValue().getString(), expectedTimes[i]);
        EXPECT_TRUE(group->getChild(1)->isOfType(SoPerspectiveCamera::getClassTypeId()));
    }
    root->unref();
}

TEST(KeyframePathFiles, inventorFileReadsBackTheSameKeyframes) {
    HxKeyframeCameraPath path;
    fillPath(path, true);
    const std::string file = tempDir() + "/path.civ";
    ASSERT_EQ(path.write(file.c_str(), 1), 0);
    HxKeyframeCameraPath back;
    back.closed = 1;
    back.rotationMode = 2;
    ASSERT_EQ(back.read(file.c_str()), 0);
    expectSameKeyframes(back, path);
    // Settings are the reader's own.
    EXPECT_EQ(back.closed, 1);
    EXPECT_EQ(back.rotationMode, 2);
}

TEST(KeyframePathFiles, emptyPathWritesNoGroups) {
    HxKeyframeCameraPath path;
    const std::string file = tempDir() + "/empty.civ";
    ASSERT_EQ(path.saveInventor(file.c_str()), 1);
    EXPECT_TRUE(exists(file));
    EXPECT_EQ(slurp(file).find("Group"), std::string::npos);
    // A scene without keyframe groups is no camera path.
    HxKeyframeCameraPath back;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(back.read(file.c_str()), -1);
    ::testing::internal::GetCapturedStderr();
}

TEST(KeyframePathFiles, samplesAreWrittenAtEveryWholeSecond) {
    const struct {
        float lastTime;
        int samples;
    } cases[] = {{2.5f, 3}, {3.0f, 4}, {0.0f, 1}};
    for (const auto& c : cases) {
        HxKeyframeCameraPath path;
        path.addKeyframe(0, makeCamera(SbVec3f(0, 0, 10), SbVec3f(0, 0, 0)));
        if (c.lastTime > 0) path.addKeyframe(c.lastTime, makeCamera(SbVec3f(10, 0, 0), SbVec3f(0, 0, 0)));
        const std::string file = tempDir() + "/samples.civ";
        ASSERT_EQ(path.write(file.c_str(), 0), 0);
        SoSeparator* root = readSceneText(slurp(file));
        ASSERT_NE(root, nullptr);
        ASSERT_EQ(root->getNumChildren(), c.samples) << "duration " << c.lastTime;
        for (int k = 0; k < c.samples; ++k) {
            auto* group = static_cast<SoGroup*>(root->getChild(k));
            char expected[32];
            std::snprintf(expected, sizeof expected, "%f", float(k));
            EXPECT_STREQ(static_cast<SoInfo*>(group->getChild(0))->string.getValue().getString(), expected);
            McHandle<SoCamera> atK = path.getCamera(float(k));
            auto* written = static_cast<SoCamera*>(group->getChild(1));
            EXPECT_TRUE(written->position.getValue().equals(atK->position.getValue(), 1e-4f)) << "sample " << k;
        }
        root->unref();
    }
}

TEST(KeyframePathFiles, unsortedTimesAreReadAsTheyStand) {
    const std::string file = tempDir() + "/unsorted.civ";
    {
        std::ofstream out(file);
        out << "#Inventor V2.1 ascii\n\n"
               "Group { Info { string \"7.5\" } PerspectiveCamera { position 0 0 1 } }\n"
               "Group { Info { string \"2\" } PerspectiveCamera { position 0 0 2 } }\n"
               "Separator { Info { string \"-1.25\" } OrthographicCamera { position 0 0 3 } }\n";
    }
    HxKeyframeCameraPath path;
    ASSERT_EQ(path.read(file.c_str()), 0);
    ASSERT_EQ(path.times.size(), 3);
    EXPECT_EQ(path.times[0], 7.5f);
    EXPECT_EQ(path.times[1], 2.0f);
    EXPECT_EQ(path.times[2], -1.25f);
    EXPECT_TRUE(path.cameras[2]->isOfType(SoOrthographicCamera::getClassTypeId()));
    EXPECT_EQ(path.cameras[1]->position.getValue(), SbVec3f(0, 0, 2));
}

TEST(KeyframePathFiles, sceneChecksRejectWrongStructures) {
    McHandle<SoCamera> camera = new SoPerspectiveCamera;
    EXPECT_EQ(HxKeyframeCameraPath::isCameraPath(nullptr), 0);
    EXPECT_EQ(HxKeyframeCameraPath::isCameraPath(McHandle<SoSeparator>(new SoSeparator)), 0);
    EXPECT_EQ(HxKeyframeCameraPath::isCameraPath(McHandle<SoGroup>(new SoGroup)), 0);
    EXPECT_EQ(HxKeyframeCameraPath::isCameraPath(sceneOf({{infoAt("1"), new SoPerspectiveCamera}})), 1);
    EXPECT_EQ(HxKeyframeCameraPath::isCameraPath(
                  sceneOf({{infoAt("1"), new SoPerspectiveCamera}, {new SoPerspectiveCamera, infoAt("2")}})),
              0);
    EXPECT_EQ(HxKeyframeCameraPath::isCameraPath(sceneOf({{infoAt("1"), new SoPerspectiveCamera, infoAt("3")}})), 0);
    EXPECT_EQ(HxKeyframeCameraPath::isCameraPath(sceneOf({{infoAt("1")}})), 0);
    McHandle<SoSeparator> notGroups = new SoSeparator;
    notGroups->addChild(new SoInfo);
    EXPECT_EQ(HxKeyframeCameraPath::isCameraPath(notGroups), 0);
}

TEST(KeyframePathFiles, badGroupsAreReportedAndLeftOut) {
    // Only the scene constructor hands an unchecked scene over.
    McHandle<SoSeparator> scene = sceneOf({{infoAt("1"), makeCamera(SbVec3f(0, 0, 1), SbVec3f(0, 0, 0))},
                                           {new SoPerspectiveCamera, infoAt("2")},
                                           {infoAt("3")},
                                           {infoAt("4"), makeCamera(SbVec3f(0, 0, 4), SbVec3f(0, 0, 0))}});
    theMsg->clear();
    HxKeyframeCameraPath path(scene);
    EXPECT_EQ(theMsg->text(), "Error in Camerafile\nError in Camerafile\n");
    ASSERT_EQ(path.cameras.size(), 2);
    EXPECT_EQ(path.times[0], 1.0f);
    EXPECT_EQ(path.times[1], 4.0f);
    for (const auto& camera : path.cameras) EXPECT_NE(camera.ptr(), nullptr);
    float min, max;
    path.portTime.getMinMax(min, max);
    EXPECT_EQ(min, 0.0f);
    EXPECT_EQ(max, 3.0f);
}

TEST(KeyframePathFiles, sceneConstructorCopiesTheCameras) {
    McHandle<SoCamera> camera = makeCamera(SbVec3f(1, 2, 3), SbVec3f(0, 0, 0));
    McHandle<SoSeparator> scene = sceneOf({{infoAt("0"), camera}, {infoAt("6"), new SoPerspectiveCamera}});
    HxKeyframeCameraPath path(scene);
    ASSERT_EQ(path.cameras.size(), 2);
    EXPECT_NE(path.cameras[0].ptr(), camera.ptr());
    EXPECT_EQ(path.cameras[0]->position.getValue(), SbVec3f(1, 2, 3));
    EXPECT_EQ(path.getDuration(), 6.0f);
    // Anything but a separator gives an empty path.
    HxKeyframeCameraPath fromInfo(McHandle<SoInfo>(new SoInfo));
    EXPECT_EQ(fromInfo.cameras.size(), 0);
}

TEST(KeyframePathFiles, unreadableFilesFailOnTheErrorStream) {
    HxKeyframeCameraPath path;
    fillPath(path);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(path.read("/nonexistent/folder/path.civ"), -1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Cannot open /nonexistent/folder/path.civ\n");
    EXPECT_EQ(path.cameras.size(), 2);

    const std::string file = tempDir() + "/other.iv";
    std::ofstream(file) << "#Inventor V2.1 ascii\n\nSeparator { Cube { } }\n";
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(path.read(file.c_str()), -1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Error in Camerafile");
    EXPECT_EQ(path.cameras.size(), 2);
}

TEST(KeyframePathFiles, readerRegistersUnderTheFileNameOnlyOnSuccess) {
    HxKeyframeCameraPath path;
    fillPath(path);
    const std::string dir = tempDir();
    ASSERT_EQ(path.saveInventor((dir + "/flight.civ").c_str()), 1);
    std::ofstream(dir + "/garbage.civ") << "not a scene at all {";
    const size_t before = theObjectPool->objects().size();

    ::testing::internal::CaptureStderr();
    EXPECT_EQ(HxKeyframeCameraPath::readInventor((dir + "/garbage.civ").c_str()), 0);
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(theObjectPool->objects().size(), before);

    ASSERT_EQ(HxKeyframeCameraPath::readInventor((dir + "/flight.civ").c_str()), 1);
    ASSERT_EQ(theObjectPool->objects().size(), before + 1);
    auto* loaded = dynamic_cast<HxKeyframeCameraPath*>(theObjectPool->find("flight"));
    ASSERT_NE(loaded, nullptr);
    expectSameKeyframes(*loaded, path);
    theObjectPool->remove(loaded);
}

TEST(KeyframePathFiles, failedSaveReportsAndWritesNothing) {
    const std::string dir = tempDir();
    std::ofstream(dir + "/plain") << "a file, not a folder";
    const std::string file = dir + "/plain/path.civ";
    HxKeyframeCameraPath path;
    fillPath(path);
    theMsg->clear();
    EXPECT_EQ(path.write(file.c_str(), 1), -1);
    EXPECT_EQ(path.saveInventor(file.c_str()), 0);
    EXPECT_NE(theMsg->text().find("Couldn't write camera file \"" + file + "\""), std::string::npos) << theMsg->text();
    EXPECT_EQ(slurp(dir + "/plain"), "a file, not a folder");
}

TEST(KeyframePathFiles, savingOverAFileReplacesItWhole) {
    const std::string file = tempDir() + "/path.civ";
    std::ofstream(file) << std::string(100000, 'x');  // longer than the new content
    HxKeyframeCameraPath path;
    fillPath(path);
    ASSERT_EQ(path.saveInventor(file.c_str()), 1);
    const std::string text = slurp(file);
    EXPECT_EQ(text.find('x' + std::string(20, 'x')), std::string::npos);
    HxKeyframeCameraPath back;
    ASSERT_EQ(back.read(file.c_str()), 0);
    expectSameKeyframes(back, path);
}

// ---------------------------------------------------------------------------
// Data files

class KeyframePathDataFile : public ::testing::TestWithParam<const char*> {};

TEST_P(KeyframePathDataFile, wrapsTheSceneTextOfTheKeyframes) {
    const std::string format = GetParam();
    HxKeyframeCameraPath path;
    fillPath(path, true);
    path.parameters.set("Owner", "test", 0);
    path.parameters2.set("Note", "second bundle", 0);
    const std::string dir = tempDir();
    const std::string civ = dir + "/reference.civ";
    ASSERT_EQ(path.saveInventor(civ.c_str()), 1);
    const std::string file = dir + "/path." + (format == "Pexil Brio" ? "brio" : "vm");
    ASSERT_NE(path.saveAs(format.c_str(), file.c_str()), 0);
    EXPECT_EQ(path.getLoadCmd(), file);

    std::string error;
    std::unique_ptr<VornaMesh> mesh = VornaMesh::read(file.c_str(), error);
    ASSERT_NE(mesh, nullptr) << error;
    std::string contentType;
    ASSERT_TRUE(mesh->parameters.getText("ContentType", contentType));
    EXPECT_EQ(contentType, "CameraPath");
    std::string owner, note;
    EXPECT_TRUE(mesh->parameters.getText("Owner", owner));
    EXPECT_EQ(owner, "test");
    EXPECT_TRUE(mesh->parameters2.getText("Note", note));
    EXPECT_EQ(note, "second bundle");
    ASSERT_EQ(mesh->locations().size(), 1u);
    ASSERT_EQ(mesh->data().size(), 1u);
    const VornaMesh::Data* data = mesh->findData("CameraPath", -1, 1, "CameraPath");
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->primType, 0);
    EXPECT_EQ(data->codec, format == "Pexil Brio" ? "HxEncrypt" : "");
    const std::string scene = slurp(civ);
    EXPECT_EQ(mesh->findLocation("CameraPath")->nNodes(), static_cast<long long>(scene.size()));
    EXPECT_EQ(std::string(data->values.begin(), data->values.end()), scene);
    // The data itself is not in the file in plain text when it is scrambled.
    EXPECT_EQ(slurp(file).find("PerspectiveCamera") == std::string::npos, format == "Pexil Brio");

    const size_t before = theObjectPool->objects().size();
    ASSERT_EQ(HxKeyframeCameraPath::readVornaMesh(mesh.get(), file.c_str()), 1);
    ASSERT_EQ(theObjectPool->objects().size(), before + 1);
    auto* loaded = dynamic_cast<HxKeyframeCameraPath*>(theObjectPool->objects().back().ptr());
    ASSERT_NE(loaded, nullptr);
    expectSameKeyframes(*loaded, path);
    EXPECT_TRUE(loaded->parameters.getText("Owner", owner));
    theObjectPool->remove(loaded);
}

INSTANTIATE_TEST_SUITE_P(Formats, KeyframePathDataFile,
                         ::testing::Values("Vorna binary", "Pexil binary", "Pexil Brio"),
                         [](const ::testing::TestParamInfo<const char*>& format) {
                             std::string name = format.param;
                             name.erase(std::remove(name.begin(), name.end(), ' '), name.end());
                             return name;
                         });

TEST(KeyframePathDataFileReader, missingDataIsReported) {
    VornaMesh mesh;
    mesh.parameters.set("ContentType", "CameraPath", 0);
    theMsg->clear();
    const size_t before = theObjectPool->objects().size();
    EXPECT_EQ(HxKeyframeCameraPath::readVornaMesh(&mesh, "nothing.vm"), 0);
    EXPECT_EQ(theMsg->text(), "Data has not been found in nothing.vm\n");
    EXPECT_EQ(theObjectPool->objects().size(), before);
}

TEST(KeyframePathDataFileReader, dataThatIsNoCameraPathIsRefused) {
    VornaMesh mesh;
    const std::string text = "#Inventor V2.1 ascii\n\nSeparator { Cube { } }\n";
    const int size = static_cast<int>(text.size());
    mesh.insertLocation("CameraPath", 1, &size);
    ASSERT_NE(mesh.insertData("CameraPath", "CameraPath", VornaMesh::Byte, 1, text.data(), text.size()), nullptr);
    const size_t before = theObjectPool->objects().size();
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(HxKeyframeCameraPath::readVornaMesh(&mesh, "cube.vm"), -1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Error in Camerafile");
    EXPECT_EQ(theObjectPool->objects().size(), before);
}

// ---------------------------------------------------------------------------
// Saved networks

TEST(KeyframePathFiles, emptyPathIsSavedAsAnObject) {
    HxKeyframeCameraPath* path = new HxKeyframeCameraPath;
    theObjectPool->add(path, "Empty");
    const std::string dir = tempDir();
    const std::string script = dir + "/net.tcl";
    FILE* fp = std::fopen(script.c_str(), "w");
    ASSERT_EQ(path->saveCreation(fp, dir.c_str(), 0), 0);
    std::fclose(fp);
    EXPECT_EQ(slurp(script), "create HxKeyframeCameraPath {Empty}\n");
    theObjectPool->remove(path);
}

TEST(KeyframePathFiles, pathWithKeyframesIsSavedAsDataBesideTheScript) {
    HxKeyframeCameraPath* path = new HxKeyframeCameraPath;
    fillPath(*path);
    theObjectPool->add(path, "Flight");
    const std::string dir = tempDir();
    const std::string script = dir + "/net.tcl";
    FILE* fp = std::fopen(script.c_str(), "w");
    ASSERT_EQ(path->saveCreation(fp, dir.c_str(), 0), 0);
    std::fclose(fp);
    EXPECT_EQ(slurp(script), "[load [file join [file dirname [info script]] {Flight.vm}]] setLabel {Flight}\n");
    EXPECT_TRUE(exists(dir + "/Flight.vm"));
    theObjectPool->remove(path);
}
