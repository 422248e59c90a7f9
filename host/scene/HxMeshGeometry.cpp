#include <mc/McLargeAllocator.h>
#include <scene/HxMeshGeometry.h>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <thread>

namespace {

// The vertices merged so far, found by a hash of what each keeps: an open
// table of vertex numbers. Meshes come in order of their surface, so the
// vertices in use at one time are few and their slots stay in the caches,
// however large the mesh.
class VertexTable {
public:
    explicit VertexTable(std::size_t expected) { resize(expected * 2); }

    // The number of the vertex already kept with this hash of which
    // `same(number)` holds, else `next` (kept from now on).
    template <typename Same>
    std::int32_t findOrAdd(std::uint32_t hash, std::int32_t next, Same same) {
        std::size_t slot = hash & mask;
        for (; slots[slot].number != 0; slot = (slot + 1) & mask) {
            const auto number = static_cast<std::int32_t>(slots[slot].number - 1);
            if (slots[slot].hash == hash && same(number)) return number;
        }
        slots[slot] = {hash, static_cast<std::uint32_t>(next) + 1};
        if (++used * 2 > slots.size()) resize(slots.size() * 2);
        return next;
    }
    // Asks for the slot where a search for the hash begins.
    void prefetch(std::uint32_t hash) const { __builtin_prefetch(&slots[hash & mask]); }

private:
    void resize(std::size_t wanted) {
        std::size_t size = 1024;
        while (size < wanted) size *= 2;
        McLargeVector<Slot> old(size);
        old.swap(slots);
        mask = size - 1;
        for (const Slot& taken : old) {
            if (taken.number == 0) continue;
            std::size_t slot = taken.hash & mask;
            while (slots[slot].number != 0) slot = (slot + 1) & mask;
            slots[slot] = taken;
        }
    }

    // The hash is kept beside the number so that a search compares hashes
    // without looking up the vertices it passes.
    struct Slot {
        std::uint32_t hash = 0, number = 0;  // number: 0 when free, else the vertex's number + 1
    };
    McLargeVector<Slot> slots;
    std::size_t mask = 0, used = 0;
};

std::uint32_t word(const float& value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

std::uint64_t mixIn(std::uint64_t hash, const SbVec3f& v) {
    const float* x = v.getValue();
    return ((hash ^ word(x[0])) * 0x9E3779B97F4A7C15ull ^ word(x[1])) * 0xC2B2AE3D27D4EB4Full ^ word(x[2]);
}

std::uint32_t finish(std::uint64_t hash) {
    hash = (hash ^ hash >> 31) * 0xBF58476D1CE4E5B9ull;
    hash = (hash ^ hash >> 29) * 0x94D049BB133111EBull;
    return static_cast<std::uint32_t>(hash >> 32);
}

bool sameBits(const SbVec3f& a, const SbVec3f& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

float dot(const float* a, const float* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

void add(float* sum, const float* n) { sum[0] += n[0], sum[1] += n[1], sum[2] += n[2]; }

SbVec3f unitOf(const float* s) {
    const float length = std::sqrt(dot(s, s));
    return length > 0 && std::isfinite(length) ? SbVec3f(s[0] / length, s[1] / length, s[2] / length)
                                               : SbVec3f(0, 0, 1);
}

}  // namespace

// Groups the faces round each vertex, face by face in order: a face joins the
// vertex's first group when it lies within the crease angle of the group's
// first face with an area, and is set aside otherwise; the faces set aside
// are grouped at the end, on copies of their vertices.
class HxMeshGeometry::Smoother {
public:
    Smoother(std::size_t capacity, float creaseAngle)
        : seeds(capacity), cosCrease(std::cos(creaseAngle * float(M_PI) / 180)) {}

    // Takes the triangles [from, to) of `faces` on `vertices`, adding each
    // face's normal to the sum of its vertex's first group in `sums` (zero
    // before a vertex's first face).
    void addFaces(const SbVec3f* vertices, const std::int32_t* faces, SbVec3f* sums, std::size_t from, std::size_t to) {
        for (std::size_t c = 3 * from; c < 3 * to; c += 3) {
            const float *a = vertices[faces[c]].getValue(), *b = vertices[faces[c + 1]].getValue(),
                        *p = vertices[faces[c + 2]].getValue();
            const float ux = b[0] - a[0], uy = b[1] - a[1], uz = b[2] - a[2];
            const float vx = p[0] - a[0], vy = p[1] - a[1], vz = p[2] - a[2];
            // The face's normal, its length twice the face's area, and its direction.
            const float n[3] = {uy * vz - uz * vy, uz * vx - ux * vz, ux * vy - uy * vx};
            const float length = std::sqrt(dot(n, n));
            // A face without area (or with numbers that are not finite) has no
            // direction: it joins the first group and adds nothing to it.
            const float scale = length > 0 && std::isfinite(length) ? 1 / length : 0;
            const float d[3] = {n[0] * scale, n[1] * scale, n[2] * scale};
            const bool flat = scale == 0;
            for (std::size_t k = c; k < c + 3; ++k) {
                const auto v = static_cast<std::size_t>(faces[k]);
                float* seed = seeds[v].direction;
                if (seed[0] == 0 && seed[1] == 0 && seed[2] == 0)
                    seed[0] = d[0], seed[1] = d[1], seed[2] = d[2];
                else if (!flat && dot(seed, d) < cosCrease) {
                    steep.push_back({static_cast<std::uint32_t>(faces[k]), k, {n[0], n[1], n[2]}, {d[0], d[1], d[2]}});
                    continue;
                }
                if (!flat) add(&sums[v][0], n);
            }
        }
    }

    // Groups the faces set aside and sets every vertex's normal.
    void finish(HxMeshGeometry& g) {
        for (SbVec3f& sum : g.normals) sum = unitOf(sum.getValue());
        std::stable_sort(steep.begin(), steep.end(),
                         [](const Steep& x, const Steep& y) { return x.vertex < y.vertex; });
        std::vector<Copy> copies;  // of the vertex in hand
        for (std::size_t s = 0; s < steep.size(); ++s) {
            const Steep& corner = steep[s];
            if (s == 0 || steep[s - 1].vertex != corner.vertex) {
                for (const Copy& copy : copies) g.normals[copy.vertex] = unitOf(copy.group.sum);
                copies.clear();
            }
            auto copy = std::find_if(copies.begin(), copies.end(), [&](const Copy& candidate) {
                return dot(candidate.group.seed, corner.direction) >= cosCrease;
            });
            if (copy == copies.end()) {
                const float* d = corner.direction;
                copies.push_back({{{d[0], d[1], d[2]}, {0, 0, 0}}, static_cast<std::int32_t>(g.points.size())});
                copy = copies.end() - 1;
                g.points.push_back(g.points[corner.vertex]);
                g.normals.emplace_back();
                if (!g.colors.empty()) g.colors.push_back(g.colors[corner.vertex]);
            }
            add(copy->group.sum, corner.normal);
            g.corners[corner.corner] = copy->vertex;
        }
        for (const Copy& copy : copies) g.normals[copy.vertex] = unitOf(copy.group.sum);
    }

private:
    // The direction of a group's first face with an area; zero until there is one.
    struct Seed {
        float direction[3];
    };
    // A group of faces round a copy of a vertex, and the sum of their normals.
    struct Group {
        float seed[3], sum[3];
    };
    // A corner set aside, with its face's normal and direction.
    struct Steep {
        std::uint32_t vertex;
        std::size_t corner;
        float normal[3], direction[3];
    };
    struct Copy {
        Group group;
        std::int32_t vertex;
    };
    McZeroedArray<Seed> seeds;  // of each vertex's first group
    std::vector<Steep> steep;
    const float cosCrease;
};

std::size_t HxMeshGeometry::mostVertices(const Vertices& from) const {
    // Every vertex made is used by a corner, except those a file shares
    // without using them.
    return corners.size() + (from.shared ? from.count : 0);
}

void HxMeshGeometry::build(const Vertices& from, std::optional<float> creaseAngle) {
    if (corners.empty()) return;
    // Room for every vertex that can be made: the arrays never move, so that
    // a second thread can read them as they fill.
    const std::size_t most = mostVertices(from);
    points.reserve(most);
    if (from.normals || creaseAngle) normals.reserve(most);
    if (from.colors) colors.reserve(most);
    std::optional<Smoother> smoother;
    if (creaseAngle) smoother.emplace(most, *creaseAngle);
    if (from.shared) {
        takeShared(from);
        if (smoother) {
            normals.assign(points.size(), SbVec3f(0, 0, 0));
            smoother->addFaces(points.data(), corners.data(), normals.data(), 0, corners.size() / 3);
        }
    } else {
        merge(from, smoother ? &*smoother : nullptr);
    }
    if (smoother) smoother->finish(*this);
}

void HxMeshGeometry::takeShared(const Vertices& from) {
    points.assign(from.points, from.points + from.count);
    if (from.normals) normals.assign(from.normals, from.normals + from.count);
    if (from.colors) colors.assign(from.colors, from.colors + from.count);
}

namespace {

// Hands the triangles merged so far to a thread of its own as they come, in
// parts of `part` triangles, which gives them to the smoother; the merge goes
// on meanwhile.
class Follower {
public:
    template <typename Take>
    Follower(std::size_t all, std::size_t part, Take take) : faces(all) {
        thread = std::thread([this, part, take] {
            try {
                for (std::size_t done = 0; done < faces;) {
                    std::size_t ready = 0;
                    {
                        std::unique_lock<std::mutex> hold(lock);
                        progress.wait(hold, [&] { return stopped || (ready = merged / 3) > done; });
                        if (stopped) return;
                    }
                    for (std::size_t next; done < ready; done = next) take(done, next = std::min(ready, done + part));
                }
            } catch (...) {
                failure = std::current_exception();
            }
        });
    }
    Follower(const Follower&) = delete;
    Follower& operator=(const Follower&) = delete;
    // Stops the thread where it is, as when the merge failed.
    ~Follower() {
        if (thread.joinable()) stop(true);
    }

    // The corners before `count` are merged; what they refer to is written.
    void publish(std::size_t count) {
        {
            std::lock_guard<std::mutex> hold(lock);
            merged = count;
        }
        progress.notify_one();
    }
    // Waits for the thread to take every triangle; rethrows what it threw.
    void finish() {
        stop(false);
        if (failure) std::rethrow_exception(failure);
    }

private:
    void stop(bool now) {
        if (now) {
            std::lock_guard<std::mutex> hold(lock);
            stopped = true;
        }
        progress.notify_one();
        thread.join();
    }

    const std::size_t faces;
    std::mutex lock;
    std::condition_variable progress;
    std::size_t merged = 0;
    bool stopped = false;
    std::exception_ptr failure;
    std::thread thread;
};

}  // namespace

void HxMeshGeometry::merge(const Vertices& from, Smoother* smoother) {
    const std::size_t count = corners.size();
    // The merged vertices come as the points, and the smoother follows them.
    // The triangles go to the smoother in parts of a thirty-second of the
    // mesh, at least a few thousand: waking the thread costs more than
    // smoothing a few.
    const std::size_t part = std::max<std::size_t>(1 << 12, count / 3 / 32);
    std::optional<Follower> follower;
    if (smoother)
        follower.emplace(count / 3, part,
                         [smoother, at = points.data(), of = corners.data(), sums = normals.data()](
                             std::size_t a, std::size_t b) { smoother->addFaces(at, of, sums, a, b); });
    // A vertex is as often shared as the faces round it: six on a closed
    // surface of triangles.
    VertexTable kept(count / 6);
    const auto hashOf = [&from](std::size_t i) {
        std::uint64_t hash = mixIn(0, from.points[i]);
        if (from.normals) hash = mixIn(hash, from.normals[i]);
        if (from.colors) hash = (hash ^ from.colors[i]) * 0x9E3779B97F4A7C15ull;
        return finish(hash);
    };
    // A vertex seen for the first time has its slot anywhere in the table:
    // the slots are asked for some corners ahead, so that their loads overlap.
    constexpr std::size_t ahead = 64;
    std::uint32_t hashes[ahead];
    for (std::size_t k = 0; k < std::min(ahead, count); ++k) kept.prefetch(hashes[k] = hashOf(corners[k]));
    // The follower is told of each part as it is merged.
    const std::size_t step = follower ? 3 * part : count;
    for (std::size_t begin = 0; begin < count; begin += step) {
        const std::size_t end = std::min(count, begin + step);
        for (std::size_t k = begin; k < end; ++k) {
            std::int32_t& corner = corners[k];
            const auto i = static_cast<std::size_t>(corner);
            const std::uint32_t hash = hashes[k % ahead];
            if (k + ahead < count) kept.prefetch(hashes[k % ahead] = hashOf(corners[k + ahead]));
            const auto next = static_cast<std::int32_t>(points.size());
            corner = kept.findOrAdd(hash, next, [&](std::int32_t n) {
                return sameBits(points[n], from.points[i]) &&
                       (!from.normals || sameBits(normals[n], from.normals[i])) &&
                       (!from.colors || colors[n] == from.colors[i]);
            });
            if (corner == next) {
                points.push_back(from.points[i]);
                if (from.normals)
                    normals.push_back(from.normals[i]);
                else if (smoother)
                    normals.emplace_back(0, 0, 0);  // the sum of its faces' normals, so far
                if (from.colors) colors.push_back(from.colors[i]);
            }
        }
        if (follower) follower->publish(end);
    }
    if (follower) follower->finish();
}
