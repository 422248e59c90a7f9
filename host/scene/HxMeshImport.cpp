#include <hxcore/HxApplication.h>
#include <mc/McHandle.h>
#include <scene/HxInventorScene.h>
#include <scene/HxMeshImport.h>

#include <Inventor/nodes/SoIndexedFaceSet.h>
#include <Inventor/nodes/SoIndexedLineSet.h>
#include <Inventor/nodes/SoMaterial.h>
#include <Inventor/nodes/SoMatrixTransform.h>
#include <Inventor/nodes/SoPointSet.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoShapeHints.h>
#include <Inventor/nodes/SoVertexProperty.h>
#include <QFileInfo>
#include <assimp/BaseImporter.h>
#include <assimp/DefaultIOSystem.h>
#include <assimp/Importer.hpp>
#include <assimp/importerdesc.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <set>
#include <stdexcept>
#include <sstream>

// Debian builds the import library with its internal assertions on, and a
// failed one (a damaged file can fail some) ends the process. The library
// calls this function through the dynamic linker, so this definition takes the
// place of its own: a failed assertion becomes an exception, and the read that
// met it fails with the assertion as its reason.
namespace Assimp {
void aiAssertViolation(const char* failedExpression, const char* file, int line);
void aiAssertViolation(const char* failedExpression, const char*, int) {
    throw std::runtime_error(std::string("the import library's check \"") + failedExpression + "\" failed");
}
}  // namespace Assimp

const unsigned int HxMeshImport::librarySteps = 0;
const float HxMeshImport::creaseAngle = 60;

namespace {

// Deeper hierarchies are refused: showing them would exhaust the stack.
constexpr int maxDepth = 256;

std::string extensionOf(const char* file) {
    return QFileInfo(QString::fromLocal8Bit(file)).suffix().toLower().toStdString();
}

// The first line of a library message, which is the one worth showing; some
// quote the rest of the file in it.
std::string firstLine(const std::string& text) {
    const std::string line = text.substr(0, text.find('\n'));
    return line.size() > 160 ? line.substr(0, 150) + "..." : line;
}

// Binary STL has no signature: an 80-byte header, a little-endian triangle
// count and 50 bytes per triangle. The size has to match the count exactly.
bool isBinaryStl(const char* file) {
    std::ifstream in(file, std::ios::binary | std::ios::ate);
    const std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : 0;
    unsigned char count[4] = {};
    if (size < 84 || !in.seekg(80) || !in.read(reinterpret_cast<char*>(count), 4)) return false;
    const std::streamoff triangles = count[0] | count[1] << 8 | count[2] << 16 | std::streamoff(count[3]) << 24;
    return triangles > 0 && size == 84 + 50 * triangles;
}

// Opens one made-up name (the file under the extension of its real format) as
// the real file, and every other name as itself, so that files the one refers
// to (materials, buffers) are still found beside it.
class AliasIOSystem : public Assimp::DefaultIOSystem {
public:
    AliasIOSystem(std::string aliasName, std::string realFile)
        : alias(std::move(aliasName)), file(std::move(realFile)) {}
    bool Exists(const char* name) const override { return DefaultIOSystem::Exists(redirect(name)); }
    Assimp::IOStream* Open(const char* name, const char* mode) override {
        return DefaultIOSystem::Open(redirect(name), mode);
    }

private:
    const char* redirect(const char* name) const { return alias == name ? file.c_str() : name; }
    std::string alias, file;
};

// The library's PLY reader never returns from a header cut short: such a file
// is refused before it gets there. Headers are short; the first megabyte holds
// the end of any real one.
bool isPlyWithoutHeaderEnd(const char* file) {
    std::ifstream in(file, std::ios::binary);
    std::string start(1 << 20, '\0');
    in.read(&start[0], static_cast<std::streamsize>(start.size()));
    start.resize(static_cast<std::size_t>(in.gcount()));
    return (start.rfind("ply", 0) == 0 || start.rfind("PLY", 0) == 0) && start.find("end_header") == std::string::npos;
}

// Reads the file by its extension, else (where that fails or finds nothing)
// as the format its content shows.
const aiScene* readScene(Assimp::Importer& importer, const char* file, std::string& error) {
    if (isPlyWithoutHeaderEnd(file)) {
        error = std::string("could not read \"") + file + "\": its PLY header has no end_header line";
        return nullptr;
    }
    std::string reason;  // empty when the last read found no geometry
    const auto read = [&importer, &reason](const std::string& name) -> const aiScene* {
        try {
            if (const aiScene* scene = importer.ReadFile(name, HxMeshImport::librarySteps)) {
                for (unsigned int i = 0; i < scene->mNumMeshes; ++i)
                    if (scene->mMeshes[i]->mNumFaces > 0) return scene;
                reason.clear();
                return nullptr;
            }
            reason = importer.GetErrorString();
        } catch (const std::exception& failure) {
            reason = failure.what();
        }
        return nullptr;
    };
    if (const aiScene* scene = read(file)) return scene;
    const std::string format = HxMeshImport::contentFormat(file);
    if (!format.empty() && format != extensionOf(file)) {
        const std::string alias = std::string(file) + "." + format;
        importer.SetIOHandler(new AliasIOSystem(alias, file));
        if (const aiScene* scene = read(alias)) return scene;
    }
    error = reason.empty() ? std::string("\"") + file + "\" holds no mesh"
                           : std::string("could not read \"") + file + "\": " + firstLine(reason);
    return nullptr;
}

float unit(float v) { return v > 0 ? (v < 1 ? v : 1) : 0; }  // NaN gives 0

std::uint32_t packColor(const aiColor4D& c) {
    const auto byte = [](float v) { return static_cast<std::uint32_t>(std::lround(unit(v) * 255)); };
    return byte(c.r) << 24 | byte(c.g) << 16 | byte(c.b) << 8 | byte(c.a);
}

SbVec3f vec(const aiVector3D& v) { return {v.x, v.y, v.z}; }
static_assert(sizeof(SbVec3f) == sizeof(aiVector3D), "both three floats");

// One mesh as the Inventor nodes take it: shared vertices and, for lines and
// triangles, the vertices of each primitive in turn.
struct Geometry {
    std::vector<SbVec3f> points, normals;
    std::vector<std::uint32_t> colors;  // 0xRRGGBBAA; empty when the mesh has none
    std::vector<std::int32_t> corners;
};

// Normals that are the same at the three corners of every triangle are the
// faces' own (as STL stores them), not the vertices'.
bool hasVertexNormals(const aiMesh& mesh) {
    if (!mesh.HasNormals()) return false;
    const auto same = [&mesh](unsigned int a, unsigned int b) {
        return std::memcmp(&mesh.mNormals[a], &mesh.mNormals[b], sizeof(aiVector3D)) == 0;
    };
    for (unsigned int f = 0; f < mesh.mNumFaces; ++f) {
        const aiFace& face = mesh.mFaces[f];
        if (face.mNumIndices != 3) return true;
        const unsigned int* i = face.mIndices;
        if (i[0] < mesh.mNumVertices && i[1] < mesh.mNumVertices && i[2] < mesh.mNumVertices &&
            !(same(i[0], i[1]) && same(i[0], i[2])))
            return true;
    }
    return false;
}

// Gathers the primitives of `size` corners (1 points, 2 lines, 3 triangles,
// polygons cut into fans), leaving out faces with a corner out of range. Where each corner has a vertex of its own (STL, OBJ), merges
// the vertices that agree in position, normal and colour (the kept
// attributes), leaving out those no primitive uses.
// The table of merged vertices holds each one's number and hash, so that most
// probes look at the table alone; it grows to stay at most half full.
class Welder {
public:
    Welder(const aiMesh& from, bool normals, bool colors) : mesh(from), withNormals(normals), withColors(colors) {}

    Geometry weld(unsigned int size) {
        out.corners.reserve(std::size_t(mesh.mNumFaces) * size);
        // Fewer vertices than corners: the file shares its vertices itself,
        // and they are taken as they are.
        if (mesh.mNumVertices < std::size_t(mesh.mNumFaces) * size) return shared(size);
        remap.assign(mesh.mNumVertices, -1);
        std::size_t size0 = 16;
        while (size0 < mesh.mNumVertices / 2) size0 *= 2;
        table.assign(size0, Slot{-1, 0});
        // Every vertex hashed first, so that the loop below can ask for the
        // table slot of a vertex a few faces ahead while it works on this one:
        // the table is too large for the caches, and most lookups would wait.
        hashes.resize(mesh.mNumVertices);
        for (unsigned int i = 0; i < mesh.mNumVertices; ++i) hashes[i] = hash(i);
        constexpr unsigned int ahead = 8;
        for (unsigned int f = 0; f < mesh.mNumFaces; ++f) {
            if (f + ahead < mesh.mNumFaces && mesh.mFaces[f + ahead].mNumIndices > 0 &&
                mesh.mFaces[f + ahead].mIndices[0] < mesh.mNumVertices)
                __builtin_prefetch(&table[hashes[mesh.mFaces[f + ahead].mIndices[0]] & (table.size() - 1)]);
            corners(mesh.mFaces[f], size, [this](unsigned int i) {
                out.corners.push_back(remap[i] >= 0 ? remap[i] : (remap[i] = vertex(i)));
            });
        }
        return std::move(out);
    }

private:
    Geometry shared(unsigned int size) {
        for (unsigned int f = 0; f < mesh.mNumFaces; ++f)
            corners(mesh.mFaces[f], size,
                    [this](unsigned int i) { out.corners.push_back(static_cast<std::int32_t>(i)); });
        out.points.resize(mesh.mNumVertices);
        std::memcpy(static_cast<void*>(out.points.data()), mesh.mVertices, sizeof(SbVec3f) * mesh.mNumVertices);
        if (withNormals) {
            out.normals.resize(mesh.mNumVertices);
            std::memcpy(static_cast<void*>(out.normals.data()), mesh.mNormals, sizeof(SbVec3f) * mesh.mNumVertices);
        }
        for (unsigned int i = 0; withColors && i < mesh.mNumVertices; ++i) out.colors.push_back(colorOf(i));
        return std::move(out);
    }
    struct Slot {
        std::int32_t vertex;
        std::uint32_t hash;
    };
    // Hands on the corners of the face's primitives of `size` corners: the
    // face itself for points and lines, a fan of triangles for a polygon.
    // Nothing for a face of another kind or with a corner out of range.
    template <typename Take>
    void corners(const aiFace& face, unsigned int size, Take take) const {
        const unsigned int n = face.mNumIndices;
        if (size < 3 ? n != size : n < 3) return;
        for (unsigned int k = 0; k < n; ++k)
            if (face.mIndices[k] >= mesh.mNumVertices) return;
        if (size < 3) {
            for (unsigned int k = 0; k < n; ++k) take(face.mIndices[k]);
            return;
        }
        for (unsigned int k = 1; k + 1 < n; ++k) {
            take(face.mIndices[0]);
            take(face.mIndices[k]);
            take(face.mIndices[k + 1]);
        }
    }
    std::uint32_t colorOf(unsigned int i) const { return packColor(mesh.mColors[0][i]); }
    std::uint32_t hash(unsigned int i) const {
        std::uint32_t words[7] = {};
        std::memcpy(words, &mesh.mVertices[i], 12);
        if (withNormals) std::memcpy(words + 3, &mesh.mNormals[i], 12);
        if (withColors) words[6] = colorOf(i);
        std::uint64_t h = 0;
        for (std::uint32_t w : words) h = (h + w) * 0x9E3779B97F4A7C15ull;
        return static_cast<std::uint32_t>(h >> 32);
    }
    bool same(unsigned int i, std::int32_t j) const {
        return std::memcmp(&mesh.mVertices[i], &out.points[j], 12) == 0 &&
               (!withNormals || std::memcmp(&mesh.mNormals[i], &out.normals[j], 12) == 0) &&
               (!withColors || colorOf(i) == out.colors[j]);
    }
    std::size_t find(std::uint32_t h, unsigned int i) const {
        const std::size_t mask = table.size() - 1;
        std::size_t slot = h & mask;
        while (table[slot].vertex >= 0 && !(table[slot].hash == h && (i == ~0u || same(i, table[slot].vertex))))
            slot = (slot + 1) & mask;
        return slot;
    }
    void grow() {
        std::vector<Slot> old(table.size() * 2, Slot{-1, 0});
        old.swap(table);
        for (const Slot& s : old)
            if (s.vertex >= 0) table[find(s.hash, ~0u)] = s;
    }
    std::int32_t vertex(unsigned int i) {
        const std::uint32_t h = hashes[i];
        const std::size_t slot = find(h, i);
        if (table[slot].vertex >= 0) return table[slot].vertex;
        const auto j = static_cast<std::int32_t>(out.points.size());
        out.points.push_back(vec(mesh.mVertices[i]));
        if (withNormals) out.normals.push_back(vec(mesh.mNormals[i]));
        if (withColors) out.colors.push_back(colorOf(i));
        table[slot] = {j, h};
        if (2 * (out.points.size() + 1) > table.size()) grow();
        return j;
    }

    const aiMesh& mesh;
    const bool withNormals, withColors;
    std::vector<std::int32_t> remap;
    std::vector<std::uint32_t> hashes;
    std::vector<Slot> table;
    Geometry out;
};

// Per-vertex normals of triangles: the area-weighted mean of the faces round a
// vertex. Where faces meet at more than the crease angle, the vertex is split,
// one copy for each group of faces within that angle of the group's first.
// Plain float arithmetic: the Inventor vector operations are library calls.
void computeNormals(Geometry& g) {
    const std::size_t triangles = g.corners.size() / 3, vertices = g.points.size();
    // Each face's normal, its length twice the face's area, and its direction.
    std::vector<float> area(3 * triangles), unit(3 * triangles);
    for (std::size_t f = 0; f < triangles; ++f) {
        const float *a = g.points[g.corners[3 * f]].getValue(), *b = g.points[g.corners[3 * f + 1]].getValue(),
                    *c = g.points[g.corners[3 * f + 2]].getValue();
        const float ux = b[0] - a[0], uy = b[1] - a[1], uz = b[2] - a[2];
        const float vx = c[0] - a[0], vy = c[1] - a[1], vz = c[2] - a[2];
        float* n = &area[3 * f];
        n[0] = uy * vz - uz * vy, n[1] = uz * vx - ux * vz, n[2] = ux * vy - uy * vx;
        const float length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        // A face without area (or with numbers that are not finite) has no direction.
        const float scale = length > 0 && std::isfinite(length) ? 1 / length : 0;
        for (int k = 0; k < 3; ++k) unit[3 * f + k] = n[k] * scale;
    }
    // The corners at each vertex, vertex by vertex.
    std::vector<std::uint32_t> first(vertices + 1, 0), cornersOf(g.corners.size());
    for (std::int32_t v : g.corners) ++first[v + 1];
    for (std::size_t v = 0; v < vertices; ++v) first[v + 1] += first[v];
    std::vector<std::uint32_t> at(first.begin(), first.end() - 1);
    for (std::size_t c = 0; c < g.corners.size(); ++c) cornersOf[at[g.corners[c]]++] = static_cast<std::uint32_t>(c);

    const float cosCrease = std::cos(HxMeshImport::creaseAngle * float(M_PI) / 180);
    struct Group {
        float seed[3], sum[3];
        std::int32_t vertex;
    };
    std::vector<Group> groups;
    g.normals.resize(vertices);
    for (std::size_t v = 0; v < vertices; ++v) {
        groups.clear();
        for (std::uint32_t k = first[v]; k < first[v + 1]; ++k) {
            const std::uint32_t c = cornersOf[k];
            const float *n = &area[3 * (c / 3)], *d = &unit[3 * (c / 3)];
            // A face without area joins the first group and adds nothing to it;
            // a group begun by one takes its direction from the next face.
            const bool flat = d[0] == 0 && d[1] == 0 && d[2] == 0;
            Group* group = nullptr;
            for (Group& candidate : groups) {
                float* seed = candidate.seed;
                if (seed[0] == 0 && seed[1] == 0 && seed[2] == 0) seed[0] = d[0], seed[1] = d[1], seed[2] = d[2];
                if (flat || seed[0] * d[0] + seed[1] * d[1] + seed[2] * d[2] >= cosCrease) {
                    group = &candidate;
                    break;
                }
            }
            if (!group) {
                auto copy = static_cast<std::int32_t>(v);
                if (!groups.empty()) {
                    copy = static_cast<std::int32_t>(g.points.size());
                    g.points.push_back(g.points[v]);
                    g.normals.emplace_back();
                    if (!g.colors.empty()) g.colors.push_back(g.colors[v]);
                }
                groups.push_back({{d[0], d[1], d[2]}, {0, 0, 0}, copy});
                group = &groups.back();
            }
            if (!flat)
                for (int k3 = 0; k3 < 3; ++k3) group->sum[k3] += n[k3];
            g.corners[c] = group->vertex;
        }
        for (const Group& group : groups) {
            const float* s = group.sum;
            const float length = std::sqrt(s[0] * s[0] + s[1] * s[1] + s[2] * s[2]);
            g.normals[group.vertex] = length > 0 && std::isfinite(length)
                                          ? SbVec3f(s[0] / length, s[1] / length, s[2] / length)
                                          : SbVec3f(0, 0, 1);
        }
    }
}

SoVertexProperty* vertexProperty(const Geometry& g) {
    auto* property = new SoVertexProperty;
    property->vertex.setValues(0, static_cast<int>(g.points.size()), g.points.data());
    if (!g.normals.empty()) {
        property->normal.setValues(0, static_cast<int>(g.normals.size()), g.normals.data());
        property->normalBinding = SoVertexProperty::PER_VERTEX_INDEXED;
    }
    if (!g.colors.empty()) {
        property->orderedRGBA.setValues(0, static_cast<int>(g.colors.size()), g.colors.data());
        property->materialBinding = SoVertexProperty::PER_VERTEX_INDEXED;
    }
    return property;
}

// The corners of primitives of `size` corners, each list ended by -1.
void setIndex(SoMFInt32& index, const std::vector<std::int32_t>& corners, std::size_t size) {
    index.setNum(static_cast<int>(corners.size() / size * (size + 1)));
    std::int32_t* out = index.startEditing();
    for (std::size_t c = 0; c < corners.size(); c += size) {
        for (std::size_t k = 0; k < size; ++k) *out++ = corners[c + k];
        *out++ = -1;
    }
    index.finishEditing();
}

// The shapes of one mesh, its triangles, lines and points, each kind where it
// has some; false when it has none.
bool addShapes(const aiMesh& mesh, SoGroup* to) {
    const bool colors = mesh.HasVertexColors(0), normals = hasVertexNormals(mesh);
    const int before = to->getNumChildren();
    Geometry g = Welder(mesh, normals, colors).weld(3);
    if (!g.corners.empty()) {
        if (!normals) computeNormals(g);
        auto* faces = new SoIndexedFaceSet;
        faces->vertexProperty = vertexProperty(g);
        setIndex(faces->coordIndex, g.corners, 3);
        to->addChild(faces);
    }
    g = Welder(mesh, false, colors).weld(2);
    if (!g.corners.empty()) {
        auto* lines = new SoIndexedLineSet;
        lines->vertexProperty = vertexProperty(g);
        setIndex(lines->coordIndex, g.corners, 2);
        to->addChild(lines);
    }
    g = Welder(mesh, false, colors).weld(1);
    if (!g.corners.empty()) {
        auto* points = new SoPointSet;
        points->vertexProperty = vertexProperty(g);
        points->numPoints = static_cast<int>(g.points.size());
        to->addChild(points);
    }
    return to->getNumChildren() > before;
}

SoMaterial* material(const aiMaterial& from) {
    auto* to = new SoMaterial;
    aiColor3D c;
    if (from.Get(AI_MATKEY_COLOR_DIFFUSE, c) == AI_SUCCESS) to->diffuseColor.setValue(unit(c.r), unit(c.g), unit(c.b));
    if (from.Get(AI_MATKEY_COLOR_AMBIENT, c) == AI_SUCCESS) to->ambientColor.setValue(unit(c.r), unit(c.g), unit(c.b));
    if (from.Get(AI_MATKEY_COLOR_SPECULAR, c) == AI_SUCCESS)
        to->specularColor.setValue(unit(c.r), unit(c.g), unit(c.b));
    if (from.Get(AI_MATKEY_COLOR_EMISSIVE, c) == AI_SUCCESS)
        to->emissiveColor.setValue(unit(c.r), unit(c.g), unit(c.b));
    // The files' shininess is a Phong exponent (up to 128 in GL); Inventor's runs from 0 to 1.
    float value = 0;
    if (from.Get(AI_MATKEY_SHININESS, value) == AI_SUCCESS) to->shininess = unit(value / 128);
    if (from.Get(AI_MATKEY_OPACITY, value) == AI_SUCCESS) to->transparency = 1 - unit(value);
    return to;
}

// The scene's nodes as separators: each with the node's transform, its meshes
// and its children, leaving out branches without geometry.
class SceneBuilder {
public:
    explicit SceneBuilder(const aiScene& scene) : meshes(scene.mNumMeshes) {
        // Front faces run counter-clockwise in every format the library reads;
        // the back of an open surface is lit as brightly as the front.
        hints->vertexOrdering = SoShapeHints::COUNTERCLOCKWISE;
        hints->shapeType = SoShapeHints::UNKNOWN_SHAPE_TYPE;
        std::vector<McHandle<SoMaterial>> materials(scene.mNumMaterials);
        for (unsigned int m = 0; m < scene.mNumMaterials; ++m) materials[m] = material(*scene.mMaterials[m]);
        for (unsigned int i = 0; i < scene.mNumMeshes; ++i) {
            const aiMesh& mesh = *scene.mMeshes[i];
            McHandle<SoSeparator> separator = new SoSeparator;
            if (mesh.mMaterialIndex < materials.size()) separator->addChild(materials[mesh.mMaterialIndex]);
            separator->addChild(hints);
            if (addShapes(mesh, separator)) meshes[i] = separator;
        }
    }

    // Null when the branch holds no geometry, or (with the reason in `error`)
    // when it is too deep.
    McHandle<SoSeparator> branch(const aiNode& node, int depth, std::string& error) {
        if (depth > maxDepth) {
            error = "its node hierarchy is deeper than " + std::to_string(maxDepth) + " levels";
            return nullptr;
        }
        McHandle<SoSeparator> separator = new SoSeparator;
        if (!node.mTransformation.IsIdentity()) {
            auto* transform = new SoMatrixTransform;
            SbMatrix matrix;
            // The library's matrices act on column vectors, Inventor's on rows.
            for (int i = 0; i < 4; ++i)
                for (int j = 0; j < 4; ++j) matrix[i][j] = node.mTransformation[j][i];
            transform->matrix = matrix;
            separator->addChild(transform);
        }
        const int before = separator->getNumChildren();
        for (unsigned int i = 0; i < node.mNumMeshes; ++i)
            if (node.mMeshes[i] < meshes.size() && meshes[node.mMeshes[i]])
                separator->addChild(meshes[node.mMeshes[i]]);
        for (unsigned int i = 0; i < node.mNumChildren; ++i) {
            McHandle<SoSeparator> child = branch(*node.mChildren[i], depth + 1, error);
            if (!error.empty()) return nullptr;
            if (child) separator->addChild(child);
        }
        return separator->getNumChildren() > before ? separator : nullptr;
    }

private:
    std::vector<McHandle<SoSeparator>> meshes;  // null where a mesh has no geometry
    McHandle<SoShapeHints> hints = new SoShapeHints;
};

}  // namespace

SoSeparator* HxMeshImport::readFile(const char* file, std::string& error) {
    Assimp::Importer importer;
    const aiScene* scene = readScene(importer, file, error);
    if (!scene) return nullptr;
    McHandle<SoSeparator> root;
    if (scene->mRootNode) {
        std::string why;
        root = SceneBuilder(*scene).branch(*scene->mRootNode, 0, why);
        if (!why.empty()) {
            error = std::string("could not read \"") + file + "\": " + why;
            return nullptr;
        }
    }
    if (!root) {
        error = std::string("\"") + file + "\" holds no mesh";
        return nullptr;
    }
    // The caller takes the scene as the Inventor library hands a read scene:
    // not referenced.
    SoSeparator* result = root;
    result->ref();
    root = nullptr;
    result->unrefNoDelete();
    return result;
}

std::string HxMeshImport::contentFormat(const char* file) {
    if (isBinaryStl(file)) return "stl";
    Assimp::Importer importer;
    for (std::size_t i = 0; i < importer.GetImporterCount(); ++i) {
        try {
            if (!importer.GetImporter(i)->CanRead(file, importer.GetIOHandler(), true)) continue;
        } catch (const std::exception&) {
            continue;
        }
        std::istringstream extensions(importer.GetImporterInfo(i)->mFileExtensions);
        std::string first;
        extensions >> first;
        return first;
    }
    return {};
}

std::vector<std::string> HxMeshImport::extensions() {
    std::string list;
    Assimp::Importer().GetExtensionList(list);
    std::vector<std::string> result;
    std::istringstream in(list);
    // "*.3ds;*.obj;...": extensions with a dot of their own ("mesh.xml") end in
    // one that is listed as well.
    for (std::string item; std::getline(in, item, ';');) {
        const std::string extension = item.substr(item.find('.') + 1);
        if (!extension.empty() && extension.find('.') == std::string::npos) result.push_back(extension);
    }
    return result;
}

HxInventorScene* HxMeshImport::load(const char* file, std::string& error) {
    SoSeparator* scene = readFile(file, error);
    if (!scene) return nullptr;
    HxInventorScene* object = HxInventorScene::createInstance();
    object->setScene(scene);
    object->setSourceFile(QFileInfo(QString::fromLocal8Bit(file)).absoluteFilePath().toLocal8Bit().constData());
    HxData::registerData(object, file);
    return object;
}

void HxMeshImport::registerReaders() {
    HxPackageLoader& readers = HxApplication::packages();
    std::set<std::string> taken;
    for (const auto& reader : readers.hostReaders()) taken.insert(reader.entry.extension);
    const HxPackageLoader::ReadFunction read = [](const char* file, std::string& error) {
        return load(file, error) != nullptr;
    };
    // Files of extensions no reader has are taken by their content; one
    // entry says so for all.
    std::function<bool(const char*)> claims = [](const char* file) { return !contentFormat(file).empty(); };
    for (const std::string& extension : extensions()) {
        if (!taken.insert(extension).second) continue;
        readers.addHostReader({{extension, "Mesh (" + extension + ")", ""}, read, std::move(claims)});
        claims = nullptr;
    }
}
