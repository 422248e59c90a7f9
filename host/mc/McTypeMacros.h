// The type-system family every registered class provides: getClassTypeId,
// getTypeId, initClass, exitClass and, for creatable classes, createInstance,
// createInstanceMcTypedObject and deleteInstance. Also the exported
// mcInitClass_<Class>/mcExitClass_<Class> pair and the static-init hook that
// builds the record when the library is loaded.
#pragma once
#include <mc/McTypeInfo.h>
#include <mc/McTypedObject.h>

#define MC_ABSTRACT_HEADER(Class)                 \
public:                                           \
    static const McTypeInfo* getClassTypeId();    \
    const McTypeInfo* getTypeId() const override; \
    static const McTypeInfo* initClass();         \
    static int exitClass();                       \
                                                  \
private:

// deleteInstance() is the member form; deleteInstance(p) accepts a null p,
// which a member call through a null pointer cannot do safely.
#define MC_HEADER(Class)                                 \
    MC_ABSTRACT_HEADER(Class)                            \
public:                                                  \
    static Class* createInstance();                      \
    static McTypedObject* createInstanceMcTypedObject(); \
    void deleteInstance();                               \
    static void deleteInstance(Class* obj);              \
                                                         \
private:

#define MC_TYPE_FAMILY_COMMON_(Class, TypeExpr)                                   \
    const McTypeInfo* Class::getClassTypeId() {                                   \
        /* a function-local static: built once, even on concurrent calls */       \
        static TypeExpr;                                                          \
        return &classTypeId;                                                      \
    }                                                                             \
    const McTypeInfo* Class::getTypeId() const { return getClassTypeId(); }       \
    const McTypeInfo* Class::initClass() { return getClassTypeId(); }             \
    int Class::exitClass() { return McTypeInfo::removeType(#Class); }             \
    const McTypeInfo* mc_type_object_init_dummy##Class = Class::getClassTypeId(); \
    extern "C" void mcInitClass_##Class() { Class::initClass(); }                 \
    extern "C" void mcExitClass_##Class() { Class::exitClass(); }

#define MC_ABSTRACT_INIT_CLASS(Class, ParentTypeExpr) \
    MC_TYPE_FAMILY_COMMON_(Class, McTypeInfo classTypeId(#Class, nullptr, ParentTypeExpr))

#define MC_INIT_CLASS(Class, ParentTypeExpr)                                                                           \
    MC_TYPE_FAMILY_COMMON_(Class, McTypeInfo classTypeId(#Class, &Class::createInstanceMcTypedObject, ParentTypeExpr)) \
    Class* Class::createInstance() { return new Class(); }                                                             \
    McTypedObject* Class::createInstanceMcTypedObject() { return createInstance(); }                                   \
    void Class::deleteInstance() { delete this; }                                                                      \
    void Class::deleteInstance(Class* obj) { delete obj; }
