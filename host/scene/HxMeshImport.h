// Meshes of the common formats (STL, PLY, OBJ with its materials, glTF, OFF,
// 3DS, COLLADA and every other format the Open Asset Import Library reads) as
// Inventor scenes.
#pragma once
#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

class HxInventorScene;
class SoSeparator;

class HxMeshImport {
public:
    // The library's own processing of a file as it reads it (its
    // aiPostProcessSteps flags): none. Its steps trust what its readers made
    // of a file, and a damaged one crashes them; polygons are cut into
    // triangles here instead.
    static const unsigned int librarySteps;
    // Greatest angle, in degrees, between two faces that share a smooth vertex
    // where the normals are computed here; sharper edges stay sharp.
    static const float creaseAngle;

    // Reads `file` into Inventor nodes, the library's part in a process of its
    // own (a crash or hang there refuses the file): a separator per node of the file's
    // hierarchy with its transform, in it a separator per mesh with its
    // material and its triangles (lines, points) on shared vertices, with
    // per-vertex normals (computed where the file has none, or only facet
    // normals) and per-vertex colours where the file has them. The format
    // comes from the extension, else from the content. Null, with the reason
    // in `error`, when the file cannot be read or holds no geometry.
    static SoSeparator* readFile(const char* file, std::string& error);
    // What the reading process hands back for `file`: the bytes readFile
    // builds the nodes from. Empty, with the reason in `error`, when that
    // process failed.
    static std::string readResult(const char* file, std::string& error);
    // The nodes in a reading process's result (aligned to 4 bytes), as
    // readFile gives them; null, with the reason in `error`, when the result
    // says why the file could not be read, is damaged or holds no geometry.
    static SoSeparator* buildScene(const void* result, std::size_t size, const char* file, std::string& error);
    // The extension (lower case) of the format recognised in the file's
    // content, binary STL included; empty when none is.
    static std::string contentFormat(const char* file);
    // The extensions of the formats the library reads: lower case, no dot.
    static std::vector<std::string> extensions();
    // A new scene object from `file` in the object pool, under the file's base
    // name; saved networks load the file itself again. Null (nothing added)
    // with the reason in `error`.
    static HxInventorScene* load(const char* file, std::string& error);

    // Longest the reading process may take before its file is refused as one
    // the library hangs on: 120 s unless set otherwise.
    static void setReadLimit(std::chrono::seconds limit);

    // Adds a host reader for each extension the library reads that no host
    // reader has yet, and one that takes files of other extensions whose
    // content it recognises. Once, at session start, after the scene reader.
    static void registerReaders();
};
