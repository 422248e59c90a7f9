// The named objects of a session. The pool holds one reference to each object and
// gives each a unique name, which is also its script command.
#pragma once
#include <mc/McHandle.h>

#include <functional>
#include <string>
#include <vector>

class HxObject;
class HxBase;
class McTypeInfo;

class HxObjectPool {
public:
    // Adds the object under `wantedName`, or under that name with a number appended
    // when it is taken. Returns the name given.
    std::string add(HxObject* object, const char* wantedName);
    // Removes the object (its script command goes too); an editor is detached
    // first, and so is every editor attached to the object. False when not in
    // the pool.
    bool remove(HxObject* object);

    // Called after every addition, removal and renaming, while a removed object
    // is still alive (the session's port panels, the window's object list).
    void addObserver(std::function<void()> observer) { observers.push_back(std::move(observer)); }
    // Tells the observers that what they show of an object changed (an editor
    // started or ended editing).
    void announceChange() const { notifyObservers(); }
    // Removes every object.
    void clear();

    HxObject* find(const char* name) const;
    // The first object of exactly the given type, or null.
    HxObject* findOfType(const McTypeInfo* type) const;
    bool contains(const HxBase* object) const;
    const std::vector<McHandle<HxObject>>& objects() const { return list; }

    // Gives the object a new unique name derived from `wantedName`.
    std::string rename(HxBase* object, const char* wantedName);
    std::string uniqueName(const char* wantedName) const;

private:
    void detachEditorsOf(HxObject* object);

    std::vector<McHandle<HxObject>> list;
    std::vector<std::function<void()>> observers;
    void notifyObservers() const;
};

extern HxObjectPool* theObjectPool;
