// Meshes of the common formats loaded as scenes. Every file is written here by
// a small writer of its own format. Renders (label "render").
#include "ScriptTestSupport.h"

#include <TestFiles.h>
#include <scene/HxInventorScene.h>
#include <viewer/HxViewer.h>

#include <Inventor/SoPrimitiveVertex.h>
#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoShape.h>
#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <functional>
#include <regex>

namespace {

// The mesh every writer writes: a tetrahedron with a corner at the origin and
// one on each axis, faces counter-clockwise seen from outside, each corner with
// a colour of its own; formats without vertex colours give it a material.
const float corner[4][3] = {{0, 0, 0}, {2, 0, 0}, {0, 3, 0}, {0, 0, 4}};
const int face[4][3] = {{0, 2, 1}, {0, 1, 3}, {0, 3, 2}, {1, 2, 3}};
const int rgb[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}};
const float paint[3] = {0.2f, 0.4f, 0.8f};

std::string num(double v) { return QByteArray::number(v).toStdString(); }
std::string list(const float (&v)[3]) { return num(v[0]) + " " + num(v[1]) + " " + num(v[2]); }
std::string list(const int (&v)[3], int base = 0) {
    return std::to_string(v[0] + base) + " " + std::to_string(v[1] + base) + " " + std::to_string(v[2] + base);
}
std::string comma(std::string text) { return std::regex_replace(text, std::regex(" "), ","); }

// Where the files put the tetrahedron: as written, or moved along x in the
// glTF files' node, or turned from z up to y up (3DS's convention, which the
// library turns into everyone else's).
enum Placement { asWritten, moved, turned };
const float gltfMove = 10;
SbVec3f placed(Placement placement, const float (&c)[3]) {
    return placement == moved    ? SbVec3f(c[0] + gltfMove, c[1], c[2])
           : placement == turned ? SbVec3f(c[0], c[2], -c[1])
                                 : SbVec3f(c);
}
SbBox3f box(Placement placement) {
    SbBox3f result;
    for (const auto& c : corner) result.extendBy(placed(placement, c));
    return result;
}
std::string bound(const SbVec3f& v) { return comma(list({v[0], v[1], v[2]})); }
template <typename T>
void append(std::string& bytes, T value) {
    bytes.append(reinterpret_cast<const char*>(&value), sizeof value);  // the machine is little-endian
}
// The corners' coordinates as floats, then the faces' indices as 32-bit integers.
std::string meshBuffer() {
    std::string bytes;
    for (const auto& c : corner)
        for (float x : c) append(bytes, x);
    for (const auto& f : face)
        for (int v : f) append<std::uint32_t>(bytes, v);
    return bytes;
}

using Writer = std::function<std::string(const TempFolder&, const std::string& base)>;

std::string stlAscii(const TempFolder& folder, const std::string& base) {
    std::string text = "solid tetra\n";
    for (const auto& f : face) {
        text += "facet normal 0 0 0\nouter loop\n";
        for (int v : f) text += "vertex " + list(corner[v]) + "\n";
        text += "endloop\nendfacet\n";
    }
    return folder.write(base + ".stl", text + "endsolid tetra\n");
}
std::string stlBinary(const TempFolder& folder, const std::string& base) {
    std::string bytes(80, ' ');
    append<std::uint32_t>(bytes, 4);
    for (const auto& f : face) {
        for (int k = 0; k < 3; ++k) append(bytes, 0.f);
        for (int v : f)
            for (float x : corner[v]) append(bytes, x);
        append<std::uint16_t>(bytes, 0);
    }
    return folder.write(base + ".stl", bytes);
}
std::string ply(const TempFolder& folder, const std::string& base, bool binary, bool colors) {
    std::string text = std::string("ply\nformat ") + (binary ? "binary_little_endian" : "ascii") +
                       " 1.0\nelement vertex 4\nproperty float x\nproperty float y\nproperty float z\n" +
                       (colors ? "property uchar red\nproperty uchar green\nproperty uchar blue\n" : "") +
                       "element face 4\nproperty list uchar int vertex_indices\nend_header\n";
    for (int v = 0; v < 4; ++v) {
        if (binary) {
            for (float x : corner[v]) append(text, x);
            for (int c = 0; colors && c < 3; ++c) text += char(rgb[v][c]);
        } else {
            text += list(corner[v]) + (colors ? " " + list(rgb[v]) : "") + "\n";
        }
    }
    for (const auto& f : face) {
        if (!binary) text += "3 " + list(f) + "\n";
        if (binary) text += char(3);
        for (int v : f)
            if (binary) append<std::int32_t>(text, v);
    }
    return folder.write(base + ".ply", text);
}
std::string obj(const TempFolder& folder, const std::string& base) {
    folder.write(base + ".mtl", "newmtl paint\nKd " + list(paint) + "\n");
    std::string text = "mtllib " + base + ".mtl\nusemtl paint\n";
    for (const auto& c : corner) text += "v " + list(c) + "\n";
    for (const auto& f : face) text += "f " + list(f, 1) + "\n";
    return folder.write(base + ".obj", text);
}
std::string off(const TempFolder& folder, const std::string& base) {
    std::string text = "OFF\n4 4 0\n";
    for (const auto& c : corner) text += list(c) + "\n";
    for (const auto& f : face) text += "3 " + list(f) + "\n";
    return folder.write(base + ".off", text);
}
// The tetrahedron moved by 10 along x in its node; `buffer` ends the buffer's entry.
std::string gltfJson(const std::string& buffer) {
    return R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0]}],)"
           R"("nodes":[{"translation":[)" +
           num(gltfMove) +
           R"(,0,0],"mesh":0}],)"
           R"("meshes":[{"primitives":[{"attributes":{"POSITION":0},"indices":1,"material":0}]}],)"
           R"("materials":[{"pbrMetallicRoughness":{"baseColorFactor":[)" +
           comma(list(paint)) + R"(,1]}}],"accessors":[{"bufferView":0,"componentType":5126,"count":4,"type":"VEC3",)" +
           R"("min":[)" + bound(box(asWritten).getMin()) + R"(],"max":[)" + bound(box(asWritten).getMax()) +
           R"(]},{"bufferView":1,"componentType":5125,"count":12,"type":"SCALAR"}],)"
           R"("bufferViews":[{"buffer":0,"byteLength":48},{"buffer":0,"byteOffset":48,"byteLength":48}],)"
           R"("buffers":[{"byteLength":96)" +
           buffer + "}]}";
}
std::string gltf(const TempFolder& folder, const std::string& base) {
    const QByteArray data = QByteArray::fromStdString(meshBuffer()).toBase64();
    return folder.write(base + ".gltf",
                        gltfJson(R"(,"uri":"data:application/octet-stream;base64,)" + data.toStdString() + "\""));
}
std::string glb(const TempFolder& folder, const std::string& base) {
    std::string json = gltfJson("");
    json.resize((json.size() + 3) / 4 * 4, ' ');
    const std::string bin = meshBuffer();
    std::string bytes = "glTF";
    for (std::size_t word : {std::size_t(2), 28 + json.size() + bin.size(), json.size()})
        append<std::uint32_t>(bytes, std::uint32_t(word));
    bytes += "JSON" + json;
    append<std::uint32_t>(bytes, std::uint32_t(bin.size()));
    return folder.write(base + ".glb", bytes + std::string("BIN\0", 4) + bin);
}
std::string dae(const TempFolder& folder, const std::string& base) {
    std::string points, indices;
    for (const auto& c : corner) points += list(c) + " ";
    for (const auto& f : face) indices += list(f) + " ";
    return folder.write(
        base + ".dae",
        R"(<?xml version="1.0"?><COLLADA xmlns="http://www.collada.org/2005/11/COLLADASchema" version="1.4.1">)"
        R"(<asset><up_axis>Y_UP</up_axis></asset><library_effects><effect id="fx"><profile_COMMON>)"
        R"(<technique sid="t"><phong><diffuse><color>)" +
            list(paint) +
            R"( 1</color></diffuse></phong></technique></profile_COMMON></effect></library_effects>)"
            R"(<library_materials><material id="paint"><instance_effect url="#fx"/></material></library_materials>)"
            R"(<library_geometries><geometry id="tetra"><mesh><source id="p"><float_array id="pa" count="12">)" +
            points +
            R"(</float_array><technique_common><accessor source="#pa" count="4" stride="3">)"
            R"(<param name="X" type="float"/><param name="Y" type="float"/><param name="Z" type="float"/>)"
            R"(</accessor></technique_common></source><vertices id="v"><input semantic="POSITION" source="#p"/>)"
            R"(</vertices><triangles count="4" material="m"><input semantic="VERTEX" source="#v" offset="0"/><p>)" +
            indices +
            R"(</p></triangles></mesh></geometry></library_geometries><library_visual_scenes><visual_scene id="s">)"
            R"(<node id="n"><instance_geometry url="#tetra"><bind_material><technique_common>)"
            R"(<instance_material symbol="m" target="#paint"/></technique_common></bind_material></instance_geometry>)"
            R"(</node></visual_scene></library_visual_scenes><scene><instance_visual_scene url="#s"/></scene></COLLADA>)");
}
// 3DS: chunks of a 16-bit tag, a 32-bit length (its own six bytes included) and a body.
std::string chunk(std::uint16_t tag, const std::string& body) {
    std::string bytes;
    append(bytes, tag);
    append<std::uint32_t>(bytes, std::uint32_t(6 + body.size()));
    return bytes + body;
}
std::string max3ds(const TempFolder& folder, const std::string& base) {
    const std::string name("paint\0", 6);
    std::string color, points, faces, group = name;
    for (float c : paint) color += char(std::lround(c * 255));
    append<std::uint16_t>(points, 4);
    for (const auto& c : corner)
        for (float x : c) append(points, x);
    append<std::uint16_t>(faces, 4);
    append<std::uint16_t>(group, 4);
    for (std::uint16_t f = 0; f < 4; ++f) {
        for (int v : face[f]) append<std::uint16_t>(faces, std::uint16_t(v));
        append<std::uint16_t>(faces, 0);
        append(group, f);
    }
    const std::string material = chunk(0xAFFF, chunk(0xA000, name) + chunk(0xA020, chunk(0x0011, color)));
    const std::string mesh = chunk(0x4110, points) + chunk(0x4120, faces + chunk(0x4130, group));
    const std::string object = chunk(0x4000, std::string("tetra\0", 6) + chunk(0x4100, mesh));
    return folder.write(base + ".3ds", chunk(0x4D4D, chunk(0x3D3D, material + object)));
}

enum Colors { perVertex, material, uniform };
std::string cutInHalf(const std::string& bytes) { return bytes.substr(0, bytes.size() / 2); }
// Cut short, an ASCII STL file still holds whole facets.
std::string misspeltVertex(const std::string& bytes) {
    return std::regex_replace(bytes, std::regex("vertex"), "vertx");
}
struct Format {
    const char* label;
    Writer write;
    Colors colors;
    Placement placement;
    std::string (*damage)(const std::string& bytes);
};
using namespace std::placeholders;
const Format formats[] = {
    {"stlAscii", stlAscii, uniform, asWritten, misspeltVertex},
    {"stlBinary", stlBinary, uniform, asWritten, cutInHalf},
    {"plyAscii", std::bind(ply, _1, _2, false, true), perVertex, asWritten, cutInHalf},
    {"plyBinary", std::bind(ply, _1, _2, true, true), perVertex, asWritten, cutInHalf},
    {"objMtl", obj, material, asWritten, cutInHalf},
    {"gltf", gltf, material, moved, cutInHalf},
    {"glb", glb, material, moved, cutInHalf},
    {"off", off, uniform, asWritten, cutInHalf},
    {"max3ds", max3ds, material, turned, cutInHalf},
    {"collada", dae, material, asWritten, cutInHalf},
};

// What a scene shows: its triangles, and the colour at each corner of the
// tetrahedron where the file placed it (in world coordinates).
struct Seen {
    int triangles = 0, strays = 0;
    bool at[4] = {};
    SbColor color[4];
    Placement placement = asWritten;
    static void triangle(void* data, SoCallbackAction* action, const SoPrimitiveVertex* v1, const SoPrimitiveVertex* v2,
                         const SoPrimitiveVertex* v3) {
        auto* self = static_cast<Seen*>(data);
        ++self->triangles;
        for (const SoPrimitiveVertex* v : {v1, v2, v3}) {
            SbVec3f p;
            action->getModelMatrix().multVecMatrix(v->getPoint(), p);
            int i = 0;
            while (i < 4 && !p.equals(placed(self->placement, corner[i]), 1e-5f)) ++i;
            if (i == 4) {
                ++self->strays;
                continue;
            }
            SbColor ambient, specular, emission;
            float shininess, transparency;
            action->getMaterial(ambient, self->color[i], specular, emission, shininess, transparency,
                                v->getMaterialIndex());
            self->at[i] = true;
        }
    }
};

Seen seen(SoNode* scene, Placement placement) {
    Seen result;
    result.placement = placement;
    SoCallbackAction action;
    action.addTriangleCallback(SoShape::getClassTypeId(), Seen::triangle, &result);
    action.apply(scene);
    return result;
}

HxInventorScene* scene(const std::string& name) {
    return dynamic_cast<HxInventorScene*>(theObjectPool->find(name.c_str()));
}

class HxMeshImportTest : public SessionTest {
protected:
    TempFolder folder;
};
class HxMeshFormatTest : public HxMeshImportTest, public ::testing::WithParamInterface<Format> {};

TEST_P(HxMeshFormatTest, loadsTheTrianglesCornersAndColoursWritten) {
    const Format& format = GetParam();
    ASSERT_EQ(evalOk("load " + format.write(folder, "tetra")), "tetra");
    const Seen s = seen(scene("tetra")->getRoot(), format.placement);
    EXPECT_EQ(s.triangles, 4);
    EXPECT_EQ(s.strays, 0);
    float b[6];
    theController->getBoundingBox(b, nullptr, HxInventorScene::getClassTypeId());
    const SbBox3f expected = box(format.placement);
    EXPECT_TRUE(SbVec3f(b[0], b[2], b[4]).equals(expected.getMin(), 1e-5f) &&
                SbVec3f(b[1], b[3], b[5]).equals(expected.getMax(), 1e-5f))
        << "box " << list({b[0], b[1], b[2]}) << " " << list({b[3], b[4], b[5]});
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(s.at[i]) << "corner " << i;
        const SbColor want = format.colors == perVertex
                                 ? SbColor(rgb[i][0] / 255.f, rgb[i][1] / 255.f, rgb[i][2] / 255.f)
                             : format.colors == material ? SbColor(paint)
                                                         : s.color[0];
        EXPECT_TRUE(s.color[i].equals(want, 1.f / 255))
            << "corner " << i << ": " << s.color[i][0] << " " << s.color[i][1] << " " << s.color[i][2];
    }
}

TEST_P(HxMeshFormatTest, refusesEmptyAndDamagedFilesNamingThemAndAddsNothing) {
    const std::string good = GetParam().write(folder, "good"), bytes = slurp(good);
    for (const std::string& damaged : {std::string(), GetParam().damage(bytes)}) {
        const std::string file = folder.write("bad" + good.substr(good.rfind('.')), damaged);
        const std::string message = evalError("load " + file);
        const std::string unreadable = "load: could not read \"" + file + "\": ";
        EXPECT_TRUE((message.rfind(unreadable, 0) == 0 && message.size() > unreadable.size()) ||
                    message == "load: \"" + file + "\" holds no mesh")
            << message;
    }
    EXPECT_TRUE(theObjectPool->objects().empty());
}

TEST_F(HxMeshImportTest, findsTheFormatByContentWhereTheExtensionIsWrongOrMissing) {
    const struct {
        Writer write;
        const char* name;
    } cases[] = {
        {std::bind(ply, _1, _2, false, true), "ply.stl"}, {stlBinary, "stl"}, {stlBinary, "stl.dat"}, {off, "off.obj"}};
    for (const auto& c : cases) {
        const std::string file = folder.write(c.name, slurp(c.write(folder, "source")));
        const std::string name = evalOk("load " + file);
        ASSERT_TRUE(scene(name)) << c.name;
        EXPECT_EQ(seen(scene(name)->getRoot(), asWritten).triangles, 4) << c.name;
        evalOk("remove " + name);
    }
}

TEST_F(HxMeshImportTest, savedNetworksLoadTheMeshFileItselfAgain) {
    const std::string mesh = off(folder, "tetra"), beside = folder.path("beside.tcl");
    ASSERT_TRUE(QDir(QString::fromStdString(folder.path())).mkdir("below"));
    for (const std::string& network : {beside, folder.path("below/network.tcl")}) {
        evalOk("load " + mesh + "; saveNetwork " + network);
        // Beside the mesh, a network finds it from its own folder; elsewhere, by its absolute path.
        EXPECT_NE(slurp(network).find(network == beside ? "{tetra.off}" : "{" + mesh + "}"), std::string::npos);
        theObjectPool->clear();
        evalOk("source " + network);
        ASSERT_TRUE(scene("tetra"));
        EXPECT_EQ(seen(scene("tetra")->getRoot(), asWritten).triangles, 4);
        theObjectPool->clear();
    }
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(folder.path("tetra.iv"))));
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(folder.path("below/tetra.iv"))));
}

TEST_F(HxMeshImportTest, aBinaryStlAndAnAsciiPlyOfOneMeshDrawTheSamePicture) {
    evalOk("viewer 0 setSize 64 64; viewer 0 setCamera 6 5 7  0 0 0  0 1 0");
    QImage pictures[2];
    int drawn = 0;
    for (QImage& picture : pictures) {
        const std::string file = &picture == pictures ? stlBinary(folder, "tetra") : ply(folder, "tetra", false, false);
        const std::string name = evalOk("load " + file + "; viewer 0 viewAll");
        std::string error;
        ASSERT_TRUE(theController->viewer(0)->renderImage(picture, error)) << error;
        evalOk("remove tetra");
    }
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) drawn += pictures[0].pixel(x, y) != qRgb(0, 0, 0);
    EXPECT_GT(drawn, 64 * 64 / 8) << "the tetrahedron fills a good part of the picture";
    EXPECT_EQ(pictures[0], pictures[1]);
}

INSTANTIATE_TEST_SUITE_P(Formats, HxMeshFormatTest, ::testing::ValuesIn(formats),
                         [](const auto& test) { return std::string(test.param.label); });

}  // namespace
