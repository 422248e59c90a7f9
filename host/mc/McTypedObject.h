// Base of every object whose class is registered by name: its first virtual
// operation tells its type record.
#pragma once

class McTypeInfo;

class McTypedObject {
public:
    virtual const McTypeInfo* getTypeId() const = 0;
    virtual ~McTypedObject();

    // True when this object's class is `type` or derives from it.
    bool isOfType(const McTypeInfo* type) const;
};

template <class T>
T* mcinterface_cast(McTypedObject* obj) {
    return obj && obj->isOfType(T::getClassTypeId()) ? static_cast<T*>(obj) : nullptr;
}
