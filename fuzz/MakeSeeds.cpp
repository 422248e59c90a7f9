// Writes the fuzz targets' seed corpora with the project's own writers (and
// meshes with the import library's exporters):
//   fuzz_make_seeds <folder>   (normally fuzz/corpus; run again when a format changes)
// Each target's seeds go to <folder>/<target>/; files already there stay.
#include <HxCircularCameraPath.h>
#include <HxKeyframeCameraPath.h>
#include <paths/VeVazaruPath.h>
#include <scene/HxMeshImport.h>
#include <session/HxSession.h>
#include <vornamesh/VornaMesh.h>

#include <Inventor/SoDB.h>
#include <Inventor/SoInput.h>
#include <Inventor/SoOutput.h>
#include <Inventor/actions/SoWriteAction.h>
#include <Inventor/nodes/SoOrthographicCamera.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/nodes/SoSeparator.h>
#include <assimp/Exporter.hpp>
#include <assimp/material.h>
#include <assimp/scene.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "CameraPathFlight.h"
#include "FuzzHost.h"

namespace {

std::string root;

std::string seed(const std::string& target, const std::string& name) {
    std::filesystem::create_directories(root + "/" + target);
    return root + "/" + target + "/" + name;
}

void check(bool ok, const std::string& what) {
    if (ok) return;
    std::fprintf(stderr, "fuzz_make_seeds: cannot write %s\n", what.c_str());
    std::exit(1);
}

// Small data files in every form: each primitive type, text with escapes,
// nested bundles, a location without dimensions.
void dataFileSeeds() {
    VornaMesh mesh;
    const long long integers[] = {-1, 0, 9223372036854775807LL};
    const double reals[] = {0.5, -0.0, 1e300};
    mesh.parameters.set("ContentType", "Seed", HxParamBundle::Replace);
    mesh.parameters.set("Note", "quote \" backslash \\ byte \x01", HxParamBundle::Replace);
    mesh.parameters.set("Counts", 3, integers, HxParamBundle::Replace);
    mesh.parameters.bundle("Units").bundle("Length").set("Sizes", 3, reals, HxParamBundle::Replace);
    mesh.parameters2.set("Second", "", HxParamBundle::Replace);
    const int grid[] = {3, 2};
    mesh.insertLocation("Grid", 2, grid);
    mesh.insertLocation("Point", 0, nullptr);
    const float floats[] = {0.5f, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11.25f};
    const unsigned char bytes[] = {0, 1, 127, 128, 254, 255};
    const short shorts[] = {-32768, -1, 0, 1, 2, 32767};
    const int ints[] = {-2147483647 - 1, 7};
    const double doubles[] = {0.25};
    const long long longs[] = {-9223372036854775807LL - 1};
    mesh.insertData("Grid", "Vectors", VornaMesh::Float, 2, floats, sizeof floats);
    mesh.insertData("Grid", "Bytes", VornaMesh::Byte, 1, bytes, sizeof bytes);
    mesh.insertData("Grid", "Shorts", VornaMesh::Int16, 1, shorts, sizeof shorts);
    VornaMesh::setCodec(*mesh.insertData("Point", "Secret", VornaMesh::Int32, 2, ints, sizeof ints), "HxEncrypt");
    mesh.insertData("Point", "Double", VornaMesh::Double, 1, doubles, sizeof doubles);
    mesh.insertData("Point", "Long", VornaMesh::Int64, 1, longs, sizeof longs);
    const struct {
        const char* name;
        bool ascii, native, compress;
    } forms[] = {{"binary-native.vm", false, true, false},
                 {"binary-big-zlib.vm", false, false, true},
                 {"ascii.vm", true, true, false},
                 {"ascii-big-zlib.vm", true, false, true}};
    for (const auto& form : forms) {
        const std::string file = seed("vornamesh", form.name);
        check(mesh.write(file.c_str(), form.ascii, "seed", form.native, form.compress), file);
    }
    VornaMesh empty;
    check(empty.write(seed("vornamesh", "empty.vm").c_str(), false, nullptr, true, false), "empty.vm");
}

McHandle<SoCamera> cameraAt(bool orthographic, const SbVec3f& position, const SbVec3f& aim) {
    McHandle<SoCamera> camera;
    if (orthographic)
        camera = new SoOrthographicCamera;
    else
        camera = new SoPerspectiveCamera;
    VeVazaruPath::setCamera(camera, position, aim, SbVec3f(0, 1, 0));
    return camera;
}

// Keyframe paths in each of their formats, the Inventor one also in binary.
void keyframePathSeeds() {
    McHandle<HxKeyframeCameraPath> path = new HxKeyframeCameraPath;
    path->addKeyframe(0, cameraAt(false, SbVec3f(0, 0, 10), SbVec3f(0, 0, 0)));
    path->addKeyframe(10, cameraAt(false, SbVec3f(10, 2, 0), SbVec3f(1, 0, 0)));
    path->addKeyframe(25, cameraAt(true, SbVec3f(0, 4, -10), SbVec3f(0, 1, 0)));
    const std::string text = seed("camera_path_inventor", "three-keyframes.civ");
    check(path->saveInventor(text.c_str()), text);
    check(path->saveVornaBinary(seed("camera_path_mesh", "keyframes-vorna-binary.vm").c_str()), "vorna binary");
    check(path->savePexilBinary(seed("camera_path_mesh", "keyframes-pexil-binary.vm").c_str()), "pexil binary");
    check(path->savePexilBrio(seed("camera_path_mesh", "keyframes.brio").c_str()), "brio");

    SoInput in;
    check(in.openFile(text.c_str()), text);
    SoSeparator* scene = SoDB::readAll(&in);
    check(scene != nullptr, "the binary scene");
    scene->ref();
    SoOutput out;
    const std::string binary = seed("camera_path_inventor", "three-keyframes-binary.civ");
    check(out.openFile(binary.c_str()), binary);
    out.setBinary(TRUE);
    SoWriteAction(&out).apply(scene);
    out.closeFile();
    scene->unref();

    McHandle<HxKeyframeCameraPath> single = new HxKeyframeCameraPath;
    single->addKeyframe(5, cameraAt(false, SbVec3f(1, 2, 3), SbVec3f(0, 0, 0)));
    const std::string one = seed("camera_path_inventor", "one-keyframe.civ");
    check(single->saveInventor(one.c_str()), one);
}

void circularPathSeeds() {
    McHandle<HxCircularCameraPath> circle = new HxCircularCameraPath;
    circle->cameraPosition.setValue(0, 1, 10);
    circle->aimPoint.setValue(0, 0, 0);
    circle->upDirection.setValue(0, 1, 0);
    circle->rotationAxis.setValue(0, 1, 0);
    check(circle->writePexilBrio(seed("camera_path_mesh", "circular.brio").c_str()), "circular.brio");
}

void descriptionSeeds(const std::string& packageDescription) {
    std::ifstream in(packageDescription, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    check(!text.empty(), packageDescription);
    std::ofstream(seed("package_description", "vevazaru.rc"), std::ios::binary) << text;
    std::ofstream(seed("package_description", "every-command.rc"), std::ios::binary)
        << "# every command and option\n"
           "dataClass HxA -label \"A path\" -category \"Camera\" -create 0\n"
           "editor HxAEditor -edits HxA\n"
           "foreach ext {one two} { reader -extension $ext -format \"Format $ext\" -symbol read_$ext }\n"
           "contentReader -contentType A -symbol read_a\n"
           "proc twice {x} { return [string repeat $x 2] }\n"
           "if {[catch {dataClass}]} { dataClass [twice B] }\n";
}

// A coloured tetrahedron with a material, written by the import library's own
// exporters in the common formats, plus OFF by hand; each beside the result
// its reading process hands back for it.
void meshSeed(const std::string& name, const void* bytes, std::size_t size) {
    const std::string file = seed("mesh_import", name);
    {
        std::ofstream out(file, std::ios::binary);
        out.write(static_cast<const char*>(bytes), static_cast<std::streamsize>(size));
        check(out.good(), name);
    }
    std::string error;
    const std::string result = HxMeshImport::readResult(file.c_str(), error);
    check(!result.empty(), name + ": " + error);
    std::ofstream out(file + ".result", std::ios::binary);
    out.write(result.data(), static_cast<std::streamsize>(result.size()));
    check(out.good(), name);
}

void meshSeeds() {
    aiScene scene;
    scene.mRootNode = new aiNode;
    scene.mRootNode->mNumMeshes = 1;
    scene.mRootNode->mMeshes = new unsigned int[1]{0};
    auto* mesh = new aiMesh;
    mesh->mPrimitiveTypes = aiPrimitiveType_TRIANGLE;
    mesh->mNumVertices = 4;
    mesh->mVertices = new aiVector3D[4]{{0, 0, 0}, {2, 0, 0}, {0, 3, 0}, {0, 0, 4}};
    mesh->mColors[0] = new aiColor4D[4]{{1, 0, 0, 1}, {0, 1, 0, 1}, {0, 0, 1, 1}, {1, 1, 0, 1}};
    mesh->mNumFaces = 4;
    mesh->mFaces = new aiFace[4];
    const unsigned int faces[4][3] = {{0, 2, 1}, {0, 1, 3}, {0, 3, 2}, {1, 2, 3}};
    for (int f = 0; f < 4; ++f) {
        mesh->mFaces[f].mNumIndices = 3;
        mesh->mFaces[f].mIndices = new unsigned int[3]{faces[f][0], faces[f][1], faces[f][2]};
    }
    scene.mNumMeshes = 1;
    scene.mMeshes = new aiMesh* [1] { mesh };
    auto* material = new aiMaterial;
    const aiColor3D paint(0.2f, 0.4f, 0.8f);
    material->AddProperty(&paint, 1, AI_MATKEY_COLOR_DIFFUSE);
    scene.mNumMaterials = 1;
    scene.mMaterials = new aiMaterial* [1] { material };

    const struct {
        const char *format, *name;
    } exports[] = {{"stl", "ascii.stl"},    {"stlb", "binary.stl"}, {"stlb", "binary-stl-by-content"},
                   {"ply", "ascii.ply"},    {"plyb", "binary.ply"}, {"obj", "tetra.obj"},
                   {"gltf2", "tetra.gltf"}, {"glb2", "tetra.glb"},  {"collada", "tetra.dae"},
                   {"3ds", "tetra.3ds"}};
    Assimp::Exporter exporter;
    for (const auto& e : exports) {
        const aiExportDataBlob* blob = exporter.ExportToBlob(&scene, e.format);
        check(blob != nullptr, e.name);
        meshSeed(e.name, blob->data, blob->size);
    }
    const std::string off = "OFF\n4 4 0\n0 0 0\n2 0 0\n0 3 0\n0 0 4\n3 0 2 1\n3 0 1 3\n3 0 3 2\n3 1 2 3\n";
    meshSeed("tetra.off", off.data(), off.size());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_make_seeds <corpus folder>\n");
        return 2;
    }
    root = argv[1];
    startQuietHost();
    vornapackage_vevazaru_init();
    dataFileSeeds();
    keyframePathSeeds();
    circularPathSeeds();
    descriptionSeeds(VEVAZARU_DESCRIPTION);
    meshSeeds();
    HxSession::shutdown();
    return 0;
}
