// Type record of a registered class: its name, its parent's record and a factory.
// Records register themselves by name on construction; a record is owned by the
// class that declares it (normally a function-local static).
#pragma once
#include <string>
#include <vector>

class McTypedObject;

class McTypeInfo {
public:
    using Factory = McTypedObject* (*)();

    McTypeInfo(const char* name, Factory factory, const McTypeInfo* parent);
    virtual ~McTypeInfo();
    McTypeInfo(const McTypeInfo&) = delete;
    McTypeInfo& operator=(const McTypeInfo&) = delete;

    const char* getName() const { return name.c_str(); }
    const McTypeInfo* parent() const { return parentType; }
    Factory factory() const { return create; }

    // True when this type is `other` or one of its descendants.
    bool isDerivedFrom(const McTypeInfo* other) const;
    // A new instance, or null when the class has no factory.
    McTypedObject* createInstance() const;

    // The registered record of that name, or null.
    static const McTypeInfo* fromName(const char* name);
    // Unregisters the name; returns 1 when it was registered, 0 otherwise.
    // The record itself lives on with its owner.
    static int removeType(const char* name);
    // The names registered now, in registration order.
    static std::vector<std::string> registeredNames();

private:
    std::string name;
    Factory create;
    const McTypeInfo* parentType;
};
