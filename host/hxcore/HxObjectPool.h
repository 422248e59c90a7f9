// The named objects of a session. The pool holds one reference to each object and
// gives each a unique name, which is also its script command.
#pragma once
#include <mc/McHandle.h>
#include <mc/QxGuardedPtr.h>

#include <QWidget>
#include <functional>
#include <string>
#include <vector>

class HxObject;
class HxBase;
class McTypeInfo;

class HxObjectPool {
public:
    // Adds the object under `wantedName`, or under that name with a number appended
    // when it is taken. Returns the name given. When a widget application exists,
    // the object's port widgets are built at once in its port panel.
    std::string add(HxObject* object, const char* wantedName);
    // Removes the object (its script command and port panel go too); an editor
    // is detached first, and so is every editor attached to the object. False
    // when not in the pool.
    bool remove(HxObject* object);
    // The widget holding the port rows of `object`, or null.
    QWidget* portPanel(const HxBase* object) const;

    // Called after every addition, removal and renaming (the window's object list).
    void addObserver(std::function<void()> observer) { observers.push_back(std::move(observer)); }
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
    struct Panel {
        const HxBase* object;
        QxGuardedPtr<QWidget> widget;
    };
    void createPortPanel(HxObject* object);
    void deletePortPanel(const HxObject* object);
    void detachEditorsOf(HxObject* object);

    std::vector<McHandle<HxObject>> list;
    std::vector<Panel> panels;
    std::vector<std::function<void()>> observers;
    void notifyObservers() const;
};

extern HxObjectPool* theObjectPool;
