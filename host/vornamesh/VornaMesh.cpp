// The data-file library. The file layout is described in docs/vornamesh-format.md;
// this file holds the in-memory model; VornaMeshWriter.cpp and VornaMeshReader.cpp
// write and read it.
#include "VornaMeshCodec.h"

#include <cstring>
#include <utility>

using namespace vornamesh;

int VornaMesh::primTypeSize(int primType) {
    const auto size = [](auto tag) { return static_cast<int>(sizeof(typename decltype(tag)::type)); };
    return visitPrimType(primType, size, 0);
}

// -1 when the product does not fit a long long (only possible for dimensions
// changed after insertLocation, which refuses such locations).
long long VornaMesh::Location::nNodes() const {
    long long n = 1;
    for (int d : dims)
        if (__builtin_mul_overflow(n, static_cast<long long>(d), &n)) return -1;
    return n;
}

VornaMesh::Location* VornaMesh::insertLocation(const char* name, int nDims, const int* dims) {
    if (!name || !*name || nDims < 0 || (nDims > 0 && !dims) || findLocation(name)) return nullptr;
    Location location;
    location.name = name;
    location.dims.assign(dims, dims + nDims);
    for (int d : location.dims)
        if (d <= 0) return nullptr;
    if (location.nNodes() < 0) return nullptr;  // more nodes than a long long counts
    locationList.push_back(std::move(location));
    return &locationList.back();
}

const VornaMesh::Location* VornaMesh::findLocation(const char* name) const {
    if (!name) return nullptr;
    for (const Location& l : locationList)
        if (l.name == name) return &l;
    return nullptr;
}

VornaMesh::Data* VornaMesh::insertData(const char* location, const char* name, int primType, int nComponents,
                                       const void* values, std::size_t nBytes) {
    const Location* where = findLocation(location);
    std::size_t expected = 0;
    if (!where || !name || !*name || (nBytes > 0 && !values) ||
        !rawByteCount(where->nNodes(), nComponents, primType, expected) || nBytes != expected)
        return nullptr;
    for (const Data& d : dataList)
        if (d.location == location && d.name == name) return nullptr;
    Data data;
    data.name = name;
    data.location = location;
    data.primType = primType;
    data.nComponents = nComponents;
    const auto* bytes = static_cast<const unsigned char*>(values);
    data.values.assign(bytes, bytes + nBytes);
    dataList.push_back(std::move(data));
    return &dataList.back();
}

const VornaMesh::Data* VornaMesh::findData(const char* location, int primType, int nComponents,
                                           const char* name) const {
    if (!location || !name) return nullptr;
    for (const Data& d : dataList) {
        if (d.location == location && d.name == name && d.nComponents == nComponents &&
            (primType == -1 || d.primType == primType))
            return &d;
    }
    return nullptr;
}

VornaMesh::Data* VornaMesh::findData(const char* location, int primType, int nComponents, const char* name) {
    return const_cast<Data*>(static_cast<const VornaMesh*>(this)->findData(location, primType, nComponents, name));
}

bool VornaMesh::setCodec(Data& data, const char* codec) {
    if (!codec || (*codec && std::strcmp(codec, kCodecName) != 0)) return false;
    data.codec = codec;
    return true;
}
