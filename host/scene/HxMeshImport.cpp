#include <hxcore/HxApplication.h>
#include <mc/McHandle.h>
#include <mc/McLargeAllocator.h>
#include <scene/HxInventorScene.h>
#include <scene/HxMeshGeometry.h>
#include <scene/HxMeshImport.h>

#include <Inventor/nodes/SoIndexedFaceSet.h>
#include <Inventor/nodes/SoIndexedLineSet.h>
#include <Inventor/nodes/SoIndexedShape.h>
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
#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <fstream>
#include <set>
#include <stdexcept>
#include <thread>
#include <sstream>

const unsigned int HxMeshImport::librarySteps = 0;
const float HxMeshImport::creaseAngle = 60;

namespace {

// Deeper hierarchies are refused: showing them would exhaust the stack.
constexpr int maxDepth = 256;

// Plain string work: this runs in the reading child, which leaves Qt alone.
std::string extensionOf(const char* file) {
    const std::string path = file, name = path.substr(path.rfind('/') + 1);
    const std::size_t dot = name.rfind('.');
    std::string extension = dot == std::string::npos ? std::string() : name.substr(dot + 1);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension;
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
// is refused before it gets there, at once and with the reason, rather than
// after the reading child's time runs out. Headers are short; the first
// megabyte holds the end of any real one.
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

static_assert(sizeof(SbVec3f) == sizeof(aiVector3D), "both three floats");

// Kinds of primitives by their number of corners: points, lines, triangles.
constexpr unsigned int kinds = 3;

// A mesh's faces as primitives of each kind, in one pass over them.
struct MeshCorners {
    // The corners of each kind (index: corners - 1), polygons cut into fans of
    // triangles, leaving out faces with a corner out of range.
    McLargeVector<std::int32_t> of[kinds];
    // How many vertices the faces name.
    std::size_t named = 0;
    // Whether the mesh's normals are its vertices' own: normals that are the
    // same at the three corners of every triangle are the faces' (as STL
    // stores them).
    bool vertexNormals = false;
};

MeshCorners cornersOf(const aiMesh& mesh) {
    MeshCorners corners;
    corners.of[2].reserve(3 * std::size_t(mesh.mNumFaces));
    const bool normals = mesh.HasNormals();
    const auto same = [&mesh](unsigned int a, unsigned int b) {
        return std::memcmp(&mesh.mNormals[a], &mesh.mNormals[b], sizeof(aiVector3D)) == 0;
    };
    for (unsigned int f = 0; f < mesh.mNumFaces; ++f) {
        const aiFace& face = mesh.mFaces[f];
        const unsigned int n = face.mNumIndices;
        const unsigned int* index = face.mIndices;
        corners.named += n;
        const bool inRange = std::all_of(index, index + n, [&mesh](unsigned int i) { return i < mesh.mNumVertices; });
        if (normals && !corners.vertexNormals)
            corners.vertexNormals = n != 3 || (inRange && !(same(index[0], index[1]) && same(index[0], index[2])));
        if (n == 0 || !inRange) continue;
        McLargeVector<std::int32_t>& to = corners.of[std::min(n, kinds) - 1];
        if (n < 3) {
            to.insert(to.end(), index, index + n);
            continue;
        }
        for (unsigned int k = 1; k + 1 < n; ++k)
            for (unsigned int i : {index[0], index[k], index[k + 1]}) to.push_back(static_cast<std::int32_t>(i));
    }
    return corners;
}

// The result of a read as the reading child hands it over: records of 32-bit
// words in the machine's own order, each array after the record that counts
// it. A header; then the reason (its length and bytes) where the read failed,
// else the materials, the meshes (each with its shapes) and the node
// hierarchy in pre-order.
constexpr char resultMagic[8] = {'V', 'M', 'E', 'S', 'H', 'R', 'E', 'S'};
struct ResultHeader {
    char magic[8];
    std::uint32_t failed, materials, meshes, hasRoot;
};
// The colours set (bit k for color[k]: diffuse, ambient, specular, emissive),
// then whether shininess (bit 4) and opacity (bit 5) are; values as the file
// has them, the shininess already on Inventor's scale.
struct MaterialRecord {
    std::uint32_t set;
    float color[4][3];
    float shininess, opacity;
};
constexpr std::uint32_t hasShininess = 1u << 4, hasOpacity = 1u << 5;
struct MeshRecord {
    std::int32_t material;  // -1: none
    std::uint32_t shapes;
};
// Triangles, lines (corners of each primitive in turn) or points (no corners),
// then the points, normals where `normals`, colours (0xRRGGBBAA) where
// `colors`, and corners.
struct ShapeRecord {
    std::uint32_t size, points, normals, colors, corners;
};
// The transform as Inventor takes it (acting on row vectors); the indices of
// its meshes follow, then its children.
struct NodeRecord {
    float matrix[4][4];
    std::uint32_t transformed, meshes, children;
};
static_assert(sizeof(SbVec3f) == 12 && alignof(SbVec3f) <= 4, "points go as three floats");

// Writes to a file descriptor, gathering small records into larger writes.
class ResultWriter {
public:
    explicit ResultWriter(int to) : fd(to) {}
    template <typename T>
    void put(const T& record) {
        put(&record, sizeof record);
    }
    template <typename T, typename Allocator>
    void put(const std::vector<T, Allocator>& array) {
        put(array.data(), array.size() * sizeof(T));
    }
    void put(const void* data, std::size_t size) {
        if (buffer.size() + size > capacity) flush();
        if (size >= capacity)
            send(data, size);
        else
            buffer.append(static_cast<const char*>(data), size);
    }
    // Drops what was written, to write something else in its place.
    void restart() {
        buffer.clear();
        ok = ::ftruncate(fd, 0) == 0 && ::lseek(fd, 0, SEEK_SET) == 0;
    }
    bool finish() {
        flush();
        return ok;
    }

private:
    void flush() {
        send(buffer.data(), buffer.size());
        buffer.clear();
    }
    void send(const void* data, std::size_t size) {
        const char* from = static_cast<const char*>(data);
        while (ok && size > 0) {
            const ssize_t written = ::write(fd, from, size);
            if (written < 0 && errno == EINTR) continue;
            ok = written > 0;
            from += ok ? written : 0;
            size -= ok ? static_cast<std::size_t>(written) : size;
        }
    }
    static constexpr std::size_t capacity = 1 << 16;
    const int fd;
    std::string buffer;
    bool ok = true;
};

MaterialRecord materialRecord(const aiMaterial& from) {
    MaterialRecord to{};
    const auto color = [&from, &to](unsigned int k, const char* key, unsigned int type, unsigned int index) {
        aiColor3D c;
        if (from.Get(key, type, index, c) != AI_SUCCESS) return;
        to.set |= 1u << k;
        to.color[k][0] = c.r, to.color[k][1] = c.g, to.color[k][2] = c.b;
    };
    color(0, AI_MATKEY_COLOR_DIFFUSE);
    color(1, AI_MATKEY_COLOR_AMBIENT);
    color(2, AI_MATKEY_COLOR_SPECULAR);
    color(3, AI_MATKEY_COLOR_EMISSIVE);
    // The files' shininess is a Phong exponent (up to 128 in GL); Inventor's runs from 0 to 1.
    float value = 0;
    if (from.Get(AI_MATKEY_SHININESS, value) == AI_SUCCESS) to.set |= hasShininess, to.shininess = value / 128;
    if (from.Get(AI_MATKEY_OPACITY, value) == AI_SUCCESS) to.set |= hasOpacity, to.opacity = value;
    return to;
}

// A mesh's triangles, lines and points, each kind where it has some.
void writeMesh(const aiMesh& mesh, unsigned int materials, ResultWriter& out) {
    std::vector<std::uint32_t> colors;
    for (unsigned int i = 0; mesh.HasVertexColors(0) && i < mesh.mNumVertices; ++i)
        colors.push_back(packColor(mesh.mColors[0][i]));
    MeshCorners corners = cornersOf(mesh);
    const bool normals = corners.vertexNormals;
    HxMeshGeometry shapes[kinds];  // triangles, lines, points
    for (unsigned int size = kinds; size > 0; --size) {
        HxMeshGeometry& g = shapes[kinds - size];
        g.corners = std::move(corners.of[size - 1]);
        HxMeshGeometry::Vertices vertices;
        vertices.points = reinterpret_cast<const SbVec3f*>(mesh.mVertices);
        vertices.normals = size == 3 && normals ? reinterpret_cast<const SbVec3f*>(mesh.mNormals) : nullptr;
        vertices.colors = colors.empty() ? nullptr : colors.data();
        vertices.count = mesh.mNumVertices;
        // Fewer vertices than the faces name: the file shares its vertices itself.
        vertices.shared = mesh.mNumVertices < corners.named;
        std::optional<float> smoothing;
        if (size == 3 && !normals) smoothing = HxMeshImport::creaseAngle;
        g.build(vertices, smoothing);
    }
    std::uint32_t count = 0;
    for (const HxMeshGeometry& g : shapes) count += !g.corners.empty();
    out.put(MeshRecord{mesh.mMaterialIndex < materials ? static_cast<std::int32_t>(mesh.mMaterialIndex) : -1, count});
    for (std::uint32_t size = kinds; size > 0; --size) {
        HxMeshGeometry& g = shapes[kinds - size];
        if (g.corners.empty()) continue;
        if (size == 1) g.corners.clear();  // the point set takes its points in turn
        const auto points = static_cast<std::uint32_t>(g.points.size());
        out.put(ShapeRecord{size, points, !g.normals.empty(), !g.colors.empty(),
                            static_cast<std::uint32_t>(g.corners.size())});
        out.put(g.points);
        out.put(g.normals);
        out.put(g.colors);
        out.put(g.corners);
    }
}

// Whether the hierarchy is at most maxDepth levels deep (looking no deeper).
bool withinDepth(const aiNode& node, int depth) {
    if (depth > maxDepth) return false;
    for (unsigned int i = 0; i < node.mNumChildren; ++i)
        if (!withinDepth(*node.mChildren[i], depth + 1)) return false;
    return true;
}

void writeNode(const aiNode& node, ResultWriter& out) {
    NodeRecord record{};
    // The library's matrices act on column vectors, Inventor's on rows.
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) record.matrix[i][j] = node.mTransformation[j][i];
    record.transformed = !node.mTransformation.IsIdentity();
    record.meshes = node.mNumMeshes;
    record.children = node.mNumChildren;
    out.put(record);
    out.put(node.mMeshes, sizeof(unsigned int) * node.mNumMeshes);
    for (unsigned int i = 0; i < node.mNumChildren; ++i) writeNode(*node.mChildren[i], out);
}

void writeFailure(const std::string& reason, ResultWriter& out) {
    ResultHeader header{};
    std::memcpy(header.magic, resultMagic, sizeof resultMagic);
    header.failed = 1;
    out.put(header);
    out.put(static_cast<std::uint32_t>(reason.size()));
    out.put(reason.data(), reason.size());
}

// The reading child's work: reads the file and writes what it found, or why
// it found nothing. False only when the result could not be written.
bool writeResult(const char* file, int fd) {
    ResultWriter out(fd);
    std::string error;
    try {
        // The free memory this process took over from its parent would be
        // copied page by page as the library's allocations land on it: given
        // back, those pages come fresh and unshared.
        ::malloc_trim(0);
        // Never deleted: the child ends right after, and freeing a large
        // scene (a million faces, each allocated apart) takes a while.
        Assimp::Importer& importer = *new Assimp::Importer;
        if (const aiScene* scene = readScene(importer, file, error)) {
            if (!scene->mRootNode || withinDepth(*scene->mRootNode, 0)) {
                ResultHeader header{};
                std::memcpy(header.magic, resultMagic, sizeof resultMagic);
                header.materials = scene->mNumMaterials;
                header.meshes = scene->mNumMeshes;
                header.hasRoot = scene->mRootNode != nullptr;
                out.put(header);
                for (unsigned int m = 0; m < scene->mNumMaterials; ++m) out.put(materialRecord(*scene->mMaterials[m]));
                for (unsigned int i = 0; i < scene->mNumMeshes; ++i)
                    writeMesh(*scene->mMeshes[i], scene->mNumMaterials, out);
                if (scene->mRootNode) writeNode(*scene->mRootNode, out);
                return out.finish();
            }
            error = std::string("could not read \"") + file + "\": its node hierarchy is deeper than " +
                    std::to_string(maxDepth) + " levels";
        }
    } catch (const std::exception& failure) {
        out.restart();
        error = std::string("could not read \"") + file + "\": " + failure.what();
    }
    writeFailure(error, out);
    return out.finish();
}

// What is left to do after a read that the reader need not wait for: reaping
// the reading process, and giving back the memory its result came in. Done on
// one thread that starts once and never ends, and forks wait until it has
// nothing but a child's end to wait for: a process forked while a thread
// starts or ends, or while memory is given back, can find its runtime's
// bookkeeping locked for good, and the reading process starts threads.
class Aftercare {
public:
    // Running on return.
    static Aftercare& get() {
        static Aftercare& running = *new Aftercare;  // never ends, so never destroyed
        return running;
    }
    void reap(pid_t child) { add({child, nullptr, 0}); }
    void unmap(void* data, std::size_t size) { add({0, data, size}); }
    // Returns once no memory is being or waiting to be given back.
    void quiet() {
        std::unique_lock<std::mutex> hold(lock);
        idle.wait(hold, [this] { return unmaps == 0; });
    }

private:
    struct Job {
        pid_t child;
        void* data;
        std::size_t size;
    };
    Aftercare() {
        std::unique_lock<std::mutex> hold(lock);
        std::thread([this] { run(); }).detach();
        idle.wait(hold, [this] { return started; });
    }
    void add(const Job& job) {
        {
            std::lock_guard<std::mutex> hold(lock);
            jobs.push_back(job);
            unmaps += job.data != nullptr;
        }
        work.notify_one();
    }
    void run() {
        std::unique_lock<std::mutex> hold(lock);
        started = true;
        idle.notify_all();
        for (;;) {
            work.wait(hold, [this] { return !jobs.empty(); });
            // Memory first: a fork may be waiting for it, and a child's end can take a while.
            auto next = std::find_if(jobs.begin(), jobs.end(), [](const Job& job) { return job.data != nullptr; });
            if (next == jobs.end()) next = jobs.begin();
            const Job job = *next;
            jobs.erase(next);
            hold.unlock();
            if (job.data) {
                ::munmap(job.data, job.size);
            } else {
                int status = 0;
                while (::waitpid(job.child, &status, 0) < 0 && errno == EINTR) {}
            }
            hold.lock();
            if (job.data && --unmaps == 0) idle.notify_all();
        }
    }

    std::mutex lock;
    std::condition_variable work, idle;
    std::deque<Job> jobs;
    std::size_t unmaps = 0;
    bool started = false;
};

// A file descriptor, closed with its owner.
struct Descriptor {
    int fd = -1;
    Descriptor() = default;
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() { reset(); }
    void reset() {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
};

// A file mapped into memory, read only; unmapped with its owner.
struct Mapping {
    void* data = nullptr;
    std::size_t size = 0;
    Mapping() = default;
    Mapping(const Mapping&) = delete;
    Mapping& operator=(const Mapping&) = delete;
    ~Mapping() {
        if (data) ::munmap(data, size);
    }
    // Unmaps after the reader goes on: giving back the pages of a large
    // result takes a while that it need not wait for.
    void releaseMeanwhile() {
        Aftercare::get().unmap(data, size);
        data = nullptr;
    }
};

// Maps the result a reading child left in `fd`.
bool mapResult(const char* file, int fd, Mapping& result, std::string& error) {
    struct stat written {};
    const char* reason = "its reading process gave no result";
    if (::fstat(fd, &written) == 0 && written.st_size > 0) {
        void* data =
            ::mmap(nullptr, static_cast<std::size_t>(written.st_size), PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
        if (data != MAP_FAILED) {
            result.data = data;
            result.size = static_cast<std::size_t>(written.st_size);
            return true;
        }
        reason = "no room for its result";
    }
    error = std::string("could not read \"") + file + "\": " + reason;
    return false;
}

// Sets memory aside for a read's result while its child reads, on this
// process's core: the child's writes then copy into pages that are ready
// instead of waiting for each to be made. As much as the file takes, which
// is about what its result takes; a result that needs more gets the rest as
// it writes.
void prepareResultMemory(int fd, const char* file) {
    constexpr off_t least = off_t(1) << 20, most = off_t(1) << 30;
    struct stat read {};
    if (::stat(file, &read) == 0 && read.st_size >= least)
        ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, std::min(read.st_size, most));  // only ever faster
}

// Longest a read may take before it is taken for a hang: far beyond what the
// largest mesh a user has needs.
std::chrono::seconds readLimit(120);

// Reads the file in a child process of its own, which writes its result to
// memory shared with this one: whatever the library does on a damaged file
// (crashes, fails one of its assertions, never returns), this process carries
// on. False, with the reason in `error`, when the child failed.
bool readInChild(const char* file, Mapping& result, std::string& error) {
    const auto fail = [&](const std::string& reason) {
        error = std::string("could not read \"") + file + "\": " + reason;
        return false;
    };
    Descriptor memory, done[2];
    int ends[2];
    memory.fd = ::memfd_create("vorna-mesh-read", MFD_CLOEXEC);
    if (memory.fd < 0 || ::pipe2(ends, O_CLOEXEC) != 0)
        return fail(std::string("no room to read it: ") + std::strerror(errno));
    done[0].fd = ends[0], done[1].fd = ends[1];
    Aftercare::get().quiet();
    const pid_t child = ::fork();
    if (child < 0) return fail(std::string("no process to read it: ") + std::strerror(errno));
    if (child == 0) {
        // The other threads of this process are gone in the child, and with
        // them whoever held a lock: only the library's read and the copy of its
        // result from here on, then out without any clean-up.
        const bool written = writeResult(file, memory.fd);
        // The result is whole: said before the exit, whose release of a large
        // read's memory takes a while that the parent need not wait.
        const char whole = 1;
        while (written && ::write(done[1].fd, &whole, 1) < 0 && errno == EINTR) {}
        ::_exit(written ? 0 : 125);
    }
    // The pipe's far end closes when the child ends, however it ends.
    done[1].reset();
    prepareResultMemory(memory.fd, file);
    const auto deadline = std::chrono::steady_clock::now() + readLimit;
    bool ended = false;
    while (!ended) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd end{done[0].fd, POLLIN, 0};
        const int ready = ::poll(&end, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR) break;
        ended = ready > 0;
    }
    char whole = 0;
    ssize_t got = 0;
    while (ended && (got = ::read(done[0].fd, &whole, 1)) < 0 && errno == EINTR) {}
    if (ended && got == 1) {
        Aftercare::get().reap(child);
        return mapResult(file, memory.fd, result, error);
    }
    if (!ended) ::kill(child, SIGKILL);
    int status = 0;
    pid_t waited;
    while ((waited = ::waitpid(child, &status, 0)) < 0 && errno == EINTR) {}
    if (!ended) return fail("the import library took more than " + std::to_string(readLimit.count()) + " s on it");
    if (waited != child) return fail("its reading process was lost");
    if (WIFSIGNALED(status))
        return fail("the import library failed on it (signal " + std::to_string(WTERMSIG(status)) + ")");
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return fail("the import library failed on it (exit code " + std::to_string(WEXITSTATUS(status)) + ")");
    return fail("its reading process ended without a result");
}

// Reads records from a read's result, checking that each lies within it.
class ResultReader {
public:
    ResultReader(const void* data, std::size_t size) : at(static_cast<const char*>(data)), end(at + size) {}
    template <typename T>
    bool take(T& record) {
        const T* from = array<T>(1);
        if (from) std::memcpy(&record, from, sizeof record);
        return from != nullptr;
    }
    // Null when the result holds fewer than `count` items.
    template <typename T>
    const T* array(std::size_t count) {
        if (count > static_cast<std::size_t>(end - at) / sizeof(T)) return nullptr;
        const T* items = reinterpret_cast<const T*>(at);
        at += count * sizeof(T);
        return items;
    }
    bool atEnd() const { return at == end; }

private:
    const char *at, *end;
};

// The Inventor nodes of a read's result. Every read checks what it takes;
// false when the result is damaged.
class SceneBuilder {
public:
    explicit SceneBuilder(ResultReader& from) : in(from) {
        // Front faces run counter-clockwise in every format the library reads;
        // the back of an open surface is lit as brightly as the front.
        hints->vertexOrdering = SoShapeHints::COUNTERCLOCKWISE;
        hints->shapeType = SoShapeHints::UNKNOWN_SHAPE_TYPE;
    }

    bool material() {
        MaterialRecord r;
        if (!in.take(r)) return false;
        McHandle<SoMaterial> to = new SoMaterial;
        SoMFColor* colors[4] = {&to->diffuseColor, &to->ambientColor, &to->specularColor, &to->emissiveColor};
        for (unsigned int k = 0; k < 4; ++k)
            if (r.set & 1u << k) colors[k]->setValue(unit(r.color[k][0]), unit(r.color[k][1]), unit(r.color[k][2]));
        if (r.set & hasShininess) to->shininess = unit(r.shininess);
        if (r.set & hasOpacity) to->transparency = 1 - unit(r.opacity);
        materials.push_back(to);
        return true;
    }

    bool mesh() {
        MeshRecord r;
        if (!in.take(r) || r.material < -1 || (r.material >= 0 && std::size_t(r.material) >= materials.size()) ||
            r.shapes > 3)
            return false;
        McHandle<SoSeparator> separator;
        if (r.shapes > 0) {
            separator = new SoSeparator;
            if (r.material >= 0) separator->addChild(materials[r.material]);
            separator->addChild(hints);
        }
        for (std::uint32_t s = 0; s < r.shapes; ++s)
            if (!shape(separator)) return false;
        meshes.push_back(separator);
        return true;
    }

    // Null when the branch holds no geometry; false when the result is
    // damaged or (with the reason in `tooDeep`) the hierarchy too deep.
    bool branch(int depth, McHandle<SoSeparator>& to, bool& tooDeep) {
        NodeRecord r;
        if (depth > maxDepth) tooDeep = true;
        if (tooDeep || !in.take(r)) return false;
        const std::uint32_t* ids = in.array<std::uint32_t>(r.meshes);
        if (!ids) return false;
        McHandle<SoSeparator> separator = new SoSeparator;
        if (r.transformed) {
            auto* transform = new SoMatrixTransform;
            transform->matrix = SbMatrix(r.matrix);
            separator->addChild(transform);
        }
        const int before = separator->getNumChildren();
        for (std::uint32_t i = 0; i < r.meshes; ++i) {
            if (ids[i] >= meshes.size()) return false;
            if (meshes[ids[i]]) separator->addChild(meshes[ids[i]]);
        }
        for (std::uint32_t i = 0; i < r.children; ++i) {
            McHandle<SoSeparator> child;
            if (!branch(depth + 1, child, tooDeep)) return false;
            if (child) separator->addChild(child);
        }
        to = separator->getNumChildren() > before ? separator : nullptr;
        return true;
    }

private:
    bool shape(SoGroup* to) {
        ShapeRecord r;
        if (!in.take(r) || r.size < 1 || r.size > 3 || r.normals > 1 || r.colors > 1 || r.points == 0 ||
            r.points > std::uint32_t(INT32_MAX) || r.corners > std::uint32_t(INT32_MAX) / (r.size + 1) ||
            (r.size == 1 ? r.corners != 0 : r.corners == 0 || r.corners % r.size != 0))
            return false;
        const SbVec3f* points = in.array<SbVec3f>(r.points);
        const SbVec3f* normals = in.array<SbVec3f>(r.normals ? r.points : 0);
        const std::uint32_t* colors = in.array<std::uint32_t>(r.colors ? r.points : 0);
        const std::int32_t* corners = in.array<std::int32_t>(r.corners);
        if (!points || !normals || !colors || !corners) return false;
        McHandle<SoVertexProperty> property = new SoVertexProperty;
        const auto count = static_cast<int>(r.points);
        setLarge(property->vertex, points, count);
        if (r.normals) {
            setLarge(property->normal, normals, count);
            property->normalBinding = SoVertexProperty::PER_VERTEX_INDEXED;
        }
        if (r.colors) {
            setLarge(property->orderedRGBA, colors, count);
            property->materialBinding = SoVertexProperty::PER_VERTEX_INDEXED;
        }
        if (r.size == 1) {
            auto* shape = new SoPointSet;
            shape->vertexProperty = property.ptr();
            shape->numPoints = count;
            to->addChild(shape);
            return true;
        }
        McHandle<SoIndexedShape> shape =
            r.size == 3 ? static_cast<SoIndexedShape*>(new SoIndexedFaceSet) : new SoIndexedLineSet;
        shape->vertexProperty = property.ptr();
        // Each list of corners ended by -1.
        SoMFInt32& index = shape->coordIndex;
        const std::size_t listed = r.corners / r.size * (r.size + 1);
        index.setNum(static_cast<int>(listed));
        std::int32_t* list = index.startEditing();
        mcAdviseHugePages(list, sizeof(std::int32_t) * listed);
        const bool inRange = copyIndex(list, corners, r.corners, r.size, r.points);
        index.finishEditing();
        if (!inRange) return false;
        to->addChild(shape);
        return true;
    }

    // Sets the field to `count` items copied from `from`.
    template <typename Field, typename T>
    static void setLarge(Field& field, const T* from, int count) {
        field.setNum(count);
        auto* to = field.startEditing();
        static_assert(sizeof(*to) == sizeof(T), "the field's items are the result's");
        mcAdviseHugePages(to, sizeof(T) * std::size_t(count));
        std::memcpy(static_cast<void*>(to), from, sizeof(T) * std::size_t(count));
        field.finishEditing();
    }

    // Copies the corners of primitives of `size` corners, each list ended by
    // -1; false when a corner is not one of the `points`.
    static bool copyIndex(std::int32_t* to, const std::int32_t* corners, std::size_t count, std::size_t size,
                          std::uint32_t points) {
        bool inRange = true;
        for (std::size_t c = 0; c < count; c += size) {
            for (std::size_t k = 0; k < size; ++k) {
                const std::int32_t corner = corners[c + k];
                inRange &= static_cast<std::uint32_t>(corner) < points;
                *to++ = corner;
            }
            *to++ = -1;
        }
        return inRange;
    }

    ResultReader& in;
    std::vector<McHandle<SoMaterial>> materials;
    std::vector<McHandle<SoSeparator>> meshes;  // null where a mesh has no geometry
    McHandle<SoShapeHints> hints = new SoShapeHints;
};

}  // namespace

SoSeparator* HxMeshImport::readFile(const char* file, std::string& error) {
    Mapping result;
    if (!readInChild(file, result, error)) return nullptr;
    SoSeparator* scene = buildScene(result.data, result.size, file, error);
    result.releaseMeanwhile();
    return scene;
}

std::string HxMeshImport::readResult(const char* file, std::string& error) {
    Mapping result;
    if (!readInChild(file, result, error)) return {};
    return std::string(static_cast<const char*>(result.data), result.size);
}

SoSeparator* HxMeshImport::buildScene(const void* result, std::size_t size, const char* file, std::string& error) {
    const auto refuse = [&](const std::string& reason) -> SoSeparator* {
        error = std::string("could not read \"") + file + "\": " + reason;
        return nullptr;
    };
    const char* const damaged = "its reading process gave a damaged result";
    if (reinterpret_cast<std::uintptr_t>(result) % alignof(std::uint32_t) != 0) return refuse(damaged);
    ResultReader in(result, size);
    ResultHeader header;
    if (!in.take(header) || std::memcmp(header.magic, resultMagic, sizeof resultMagic) != 0 || header.failed > 1 ||
        header.hasRoot > 1)
        return refuse(damaged);
    if (header.failed) {
        std::uint32_t length = 0;
        const char* reason = in.take(length) ? in.array<char>(length) : nullptr;
        if (!reason || length == 0 || !in.atEnd()) return refuse(damaged);
        error.assign(reason, length);
        return nullptr;
    }
    SceneBuilder builder(in);
    for (std::uint32_t m = 0; m < header.materials; ++m)
        if (!builder.material()) return refuse(damaged);
    for (std::uint32_t i = 0; i < header.meshes; ++i)
        if (!builder.mesh()) return refuse(damaged);
    McHandle<SoSeparator> root;
    bool tooDeep = false;
    if (header.hasRoot && !builder.branch(0, root, tooDeep))
        return refuse(tooDeep ? "its node hierarchy is deeper than " + std::to_string(maxDepth) + " levels" : damaged);
    if (!in.atEnd()) return refuse(damaged);
    if (!root) {
        error = std::string("\"") + file + "\" holds no mesh";
        return nullptr;
    }
    // The caller takes the scene as the Inventor library hands a read scene:
    // not referenced.
    SoSeparator* scene = root;
    scene->ref();
    root = nullptr;
    scene->unrefNoDelete();
    return scene;
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

void HxMeshImport::setReadLimit(std::chrono::seconds limit) { readLimit = limit; }

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
