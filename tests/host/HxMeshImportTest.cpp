// Meshes of the common formats loaded as scenes. Every file is written here by
// a small writer of its own format. Renders (label "render").
#include "ScriptTestSupport.h"

#include <TestFiles.h>
#include <gmock/gmock.h>
#include <scene/HxInventorScene.h>
#include <scene/HxMeshImport.h>
#include <viewer/HxViewer.h>

#include <Inventor/SoPrimitiveVertex.h>
#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/actions/SoSearchAction.h>
#include <Inventor/nodes/SoIndexedFaceSet.h>
#include <Inventor/nodes/SoVertexProperty.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoShape.h>
#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <array>
#include <functional>
#include <map>
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
template <typename T>
std::string list(const T (&v)[3], int base = 0) {
    return num(v[0] + base) + " " + num(v[1] + base) + " " + num(v[2] + base);
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
// Replaces each "$k" in `text` by what follows k in `values`.
std::string fill(std::string text, const std::map<char, std::string>& values) {
    for (std::size_t at = text.find('$'); at != std::string::npos; at = text.find('$', at + 1))
        text.replace(at, 2, values.at(text[at + 1]));
    return text;
}
// The tetrahedron moved along x in its node; $b ends the buffer's entry.
std::string gltfJson(const std::string& buffer) {
    return fill(R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0]}],"nodes":[{"translation":[$m,0,0],
"mesh":0}],"meshes":[{"primitives":[{"attributes":{"POSITION":0},"indices":1,"material":0}]}],"materials":[
{"pbrMetallicRoughness":{"baseColorFactor":[$c,1]}}],"accessors":[{"bufferView":0,"componentType":5126,"count":4,
"type":"VEC3","min":[$l],"max":[$h]},{"bufferView":1,"componentType":5125,"count":12,"type":"SCALAR"}],"bufferViews":[
{"buffer":0,"byteLength":48},{"buffer":0,"byteOffset":48,"byteLength":48}],"buffers":[{"byteLength":96$b}]})",
                {{'m', num(gltfMove)},
                 {'c', comma(list(paint))},
                 {'l', bound(box(asWritten).getMin())},
                 {'h', bound(box(asWritten).getMax())},
                 {'b', buffer}});
}
std::string gltf(const TempFolder& folder, const std::string& base) {
    const QByteArray data = QByteArray::fromStdString(meshBuffer()).toBase64();
    return folder.write(base + ".gltf", gltfJson(R"(,"uri":"data:;base64,)" + data.toStdString() + "\""));
}
std::string glb(const TempFolder& folder, const std::string& base) {
    std::string json = gltfJson(""), bytes = "glTF";
    json.resize((json.size() + 3) / 4 * 4, ' ');
    const std::string bin = meshBuffer();
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
    return folder.write(base + ".dae", fill(R"(<?xml version="1.0"?>
<COLLADA xmlns="http://www.collada.org/2005/11/COLLADASchema" version="1.4.1"><asset><up_axis>Y_UP</up_axis></asset>
<library_effects><effect id="fx"><profile_COMMON><technique sid="t"><phong><diffuse><color>$c 1</color></diffuse>
</phong></technique></profile_COMMON></effect></library_effects><library_materials><material id="paint">
<instance_effect url="#fx"/></material></library_materials><library_geometries><geometry id="tetra"><mesh>
<source id="p"><float_array id="pa" count="12">$p</float_array><technique_common><accessor source="#pa" count="4"
stride="3"><param name="X" type="float"/><param name="Y" type="float"/><param name="Z" type="float"/></accessor>
</technique_common></source><vertices id="v"><input semantic="POSITION" source="#p"/></vertices><triangles count="4"
material="m"><input semantic="VERTEX" source="#v" offset="0"/><p>$i</p></triangles></mesh></geometry>
</library_geometries><library_visual_scenes><visual_scene id="s"><node id="n"><instance_geometry url="#tetra">
<bind_material><technique_common><instance_material symbol="m" target="#paint"/></technique_common></bind_material>
</instance_geometry></node></visual_scene></library_visual_scenes><scene><instance_visual_scene url="#s"/></scene>
</COLLADA>)",
                                            {{'c', list(paint)}, {'p', points}, {'i', indices}}));
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
    std::string color, points("\4\0", 2), faces = points, group = name + points;
    for (float c : paint) color += char(std::lround(c * 255));
    for (std::uint16_t f = 0; f < 4; ++f) {
        for (float x : corner[f]) append(points, x);
        for (int v : face[f]) append<std::uint16_t>(faces, std::uint16_t(v));
        append<std::uint16_t>(faces, 0);  // the face's flags
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
// tetrahedron where the file placed it, in world coordinates (corner 4: any
// vertex elsewhere).
struct Seen {
    Placement placement;
    int triangles = 0;
    std::map<int, SbColor> color;
    Seen(SoNode* scene, Placement where) : placement(where) {
        SoCallbackAction action;
        action.addTriangleCallback(
            SoShape::getClassTypeId(),
            [](void* self, SoCallbackAction* a, const SoPrimitiveVertex* v1, const SoPrimitiveVertex* v2,
               const SoPrimitiveVertex* v3) {
                static_cast<Seen*>(self)->add(a, {v1, v2, v3});
            },
            this);
        action.apply(scene);
    }
    void add(SoCallbackAction* action, std::initializer_list<const SoPrimitiveVertex*> corners) {
        ++triangles;
        for (const SoPrimitiveVertex* v : corners) {
            SbVec3f p;
            action->getModelMatrix().multVecMatrix(v->getPoint(), p);
            int i = 0;
            while (i < 4 && !p.equals(placed(placement, corner[i]), 1e-5f)) ++i;
            SbColor other[3];
            float value[2];
            action->getMaterial(other[0], color[i], other[1], other[2], value[0], value[1], v->getMaterialIndex());
        }
    }
};

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
    Seen s(scene("tetra")->getRoot(), format.placement);
    EXPECT_EQ(s.triangles, 4);
    // Every vertex at a corner written and every corner there: the box is the one written.
    EXPECT_EQ(s.color.count(4), 0u) << "a vertex where the file has none";
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(s.color.count(i), 1u) << "corner " << i;
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

TEST_F(HxMeshImportTest, refusesAFileTheLibraryCrashesOnAndAddsNothing) {
    // Found by fuzzing: the library's OFF reader crashes on it.
    const std::string here = __FILE__, root = here.substr(0, here.rfind("/tests/host/"));
    const std::string found = slurp(root + "/fuzz/findings/off-reader-crash.off");
    ASSERT_FALSE(found.empty());
    const std::string file = folder.write("found.off", found);
    EXPECT_THAT(evalError("load " + file),
                ::testing::StartsWith("load: could not read \"" + file + "\": the import library failed on it ("));
    EXPECT_TRUE(theObjectPool->objects().empty());
}

TEST_F(HxMeshImportTest, refusesAFileWhoseReadingTakesLongerThanAllowedAndAddsNothing) {
    struct Limit {
        Limit() { HxMeshImport::setReadLimit(std::chrono::seconds(0)); }
        ~Limit() { HxMeshImport::setReadLimit(std::chrono::seconds(120)); }
    } noTime;
    const std::string file = off(folder, "tetra");
    EXPECT_EQ(evalError("load " + file),
              "load: could not read \"" + file + "\": the import library took more than 0 s on it");
    EXPECT_TRUE(theObjectPool->objects().empty());
}

TEST_F(HxMeshImportTest, findsTheFormatByContentWhereTheExtensionIsWrongOrMissing) {
    const std::pair<Writer, const char*> cases[] = {
        {formats[2].write, "ply.stl"}, {stlBinary, "stl"}, {stlBinary, "stl.dat"}, {off, "off.obj"}};
    for (const auto& [write, as] : cases) {
        const std::string name = evalOk("load " + folder.write(as, slurp(write(folder, "source"))));
        ASSERT_TRUE(scene(name)) << as;
        EXPECT_EQ(Seen(scene(name)->getRoot(), asWritten).triangles, 4) << as;
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
        EXPECT_EQ(Seen(scene("tetra")->getRoot(), asWritten).triangles, 4);
        theObjectPool->clear();
    }
    for (const char* copy : {"tetra.iv", "below/tetra.iv"}) EXPECT_FALSE(QFileInfo::exists(folder.path(copy).c_str()));
}

TEST_F(HxMeshImportTest, cornersAtOnePlaceShareOneVertexWhereTheFileRepeatsThem) {
    // Flat, so that no edge is sharp enough to split a vertex: a square as two
    // triangles in a binary STL, and two squares side by side in an OBJ (whose
    // reader gives each corner of a face a vertex of its own).
    std::string stl(80, ' ');
    append<std::uint32_t>(stl, 2);
    for (const auto& triangle : {std::array<int, 3>{0, 1, 2}, std::array<int, 3>{0, 2, 3}}) {
        for (float n : {0.f, 0.f, 1.f}) append(stl, n);
        for (int v : triangle)
            for (float x : {float(v == 1 || v == 2), float(v >= 2), 0.f}) append(stl, x);
        append<std::uint16_t>(stl, 0);
    }
    const std::string obj = "v 0 0 0\nv 1 0 0\nv 2 0 0\nv 0 1 0\nv 1 1 0\nv 2 1 0\nf 1 2 5 4\nf 2 3 6 5\n";
    const struct {
        std::string file;
        int vertices, triangles;
    } cases[] = {{folder.write("square.stl", stl), 4, 2}, {folder.write("squares.obj", obj), 6, 4}};
    for (const auto& c : cases) {
        const std::string name = evalOk("load " + c.file);
        ASSERT_TRUE(scene(name)) << c.file;
        SoSearchAction search;
        search.setType(SoIndexedFaceSet::getClassTypeId());
        search.apply(scene(name)->getRoot());
        ASSERT_TRUE(search.getPath()) << c.file;
        const auto* faces = static_cast<SoIndexedFaceSet*>(search.getPath()->getTail());
        const auto* vertices = static_cast<SoVertexProperty*>(faces->vertexProperty.getValue());
        EXPECT_EQ(vertices->vertex.getNum(), c.vertices) << c.file;
        EXPECT_EQ(faces->coordIndex.getNum(), 4 * c.triangles) << c.file;
        evalOk("remove " + name);
    }
}

TEST_F(HxMeshImportTest, aBinaryStlAndAnAsciiPlyOfOneMeshDrawTheSamePicture) {
    evalOk("viewer 0 setSize 64 64; viewer 0 setCamera 6 5 7  0 0 0  0 1 0");
    QImage pictures[2];
    for (QImage& picture : pictures) {
        const std::string file = &picture == pictures ? stlBinary(folder, "tetra") : ply(folder, "tetra", false, false);
        evalOk("load " + file + "; viewer 0 viewAll");
        std::string error;
        ASSERT_TRUE(theController->viewer(0)->renderImage(picture, error)) << error;
        evalOk("remove tetra");
    }
    QImage blank = pictures[0];
    blank.fill(Qt::black);
    EXPECT_NE(pictures[0], blank) << "the tetrahedron is drawn";
    EXPECT_EQ(pictures[0], pictures[1]);
}

INSTANTIATE_TEST_SUITE_P(Formats, HxMeshFormatTest, ::testing::ValuesIn(formats),
                         [](const auto& test) { return std::string(test.param.label); });

}  // namespace
