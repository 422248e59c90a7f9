#include <mc/McTypeInfo.h>
#include <mc/McTypedObject.h>

#include <algorithm>
#include <cstring>

namespace {
// Registered records in registration order. Built on first use, i.e. inside the
// first record's constructor, so it outlives every static record.
std::vector<McTypeInfo*>& registry() {
    static std::vector<McTypeInfo*> records;
    return records;
}
}  // namespace

McTypeInfo::McTypeInfo(const char* typeName, Factory factoryFunction, const McTypeInfo* parent)
    : name(typeName), create(factoryFunction), parentType(parent) {
    auto& records = registry();
    // A later record of the same name takes the name over.
    records.erase(std::remove_if(records.begin(), records.end(), [&](McTypeInfo* r) { return r->name == name; }),
                  records.end());
    records.push_back(this);
}

McTypeInfo::~McTypeInfo() {
    auto& records = registry();
    records.erase(std::remove(records.begin(), records.end(), this), records.end());
}

bool McTypeInfo::isDerivedFrom(const McTypeInfo* other) const {
    for (const McTypeInfo* t = this; t; t = t->parentType)
        if (t == other) return true;
    return false;
}

McTypedObject* McTypeInfo::createInstance() const { return create ? create() : nullptr; }

const McTypeInfo* McTypeInfo::fromName(const char* typeName) {
    if (!typeName) return nullptr;
    for (McTypeInfo* r : registry())
        if (r->name == typeName) return r;
    return nullptr;
}

int McTypeInfo::removeType(const char* typeName) {
    auto& records = registry();
    auto it =
        std::find_if(records.begin(), records.end(), [&](McTypeInfo* r) { return typeName && r->name == typeName; });
    if (it == records.end()) return 0;
    records.erase(it);
    return 1;
}

std::vector<std::string> McTypeInfo::registeredNames() {
    std::vector<std::string> names;
    for (McTypeInfo* r : registry()) names.push_back(r->name);
    return names;
}

McTypedObject::~McTypedObject() = default;

bool McTypedObject::isOfType(const McTypeInfo* type) const {
    const McTypeInfo* own = getTypeId();
    return own && own->isDerivedFrom(type);
}
