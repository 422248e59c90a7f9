// The named objects of a session. The pool holds one reference to each object and
// gives each a unique name, which is also its script command.
#pragma once
#include <mc/McHandle.h>

#include <string>
#include <vector>

class HxObject;
class HxBase;

class HxObjectPool {
public:
    // Adds the object under `wantedName`, or under that name with a number appended
    // when it is taken. Returns the name given.
    std::string add(HxObject* object, const char* wantedName);
    // Removes the object (its script command goes too); false when not in the pool.
    bool remove(HxObject* object);
    // Removes every object.
    void clear();

    HxObject* find(const char* name) const;
    bool contains(const HxBase* object) const;
    const std::vector<McHandle<HxObject>>& objects() const { return list; }

    // Gives the object a new unique name derived from `wantedName`.
    std::string rename(HxBase* object, const char* wantedName);
    std::string uniqueName(const char* wantedName) const;

private:
    std::vector<McHandle<HxObject>> list;
};

extern HxObjectPool* theObjectPool;
