// Type record of a port class. Port classes may give two factories (one for a
// port on an object, one for a port in a dialog); either may be null.
#pragma once
#include <mc/McTypeInfo.h>

class HxPort;
class HxBase;

class HxPortTypeInfo : public McTypeInfo {
public:
    using PortFactory = HxPort* (*)(HxBase* owner, const char* name);

    HxPortTypeInfo(const char* typeName, PortFactory onObject, PortFactory inDialog, const McTypeInfo* parent)
        : McTypeInfo(typeName, nullptr, parent), forObject(onObject), forDialog(inDialog) {}

    PortFactory objectFactory() const { return forObject; }
    PortFactory dialogFactory() const { return forDialog; }

private:
    PortFactory forObject;
    PortFactory forDialog;
};

// The type family of a port class: as MC_INIT_CLASS, with an HxPortTypeInfo record.
#define HX_INIT_PORT_CLASS(Class, ParentTypeExpr, ObjectFactory, DialogFactory) \
    MC_TYPE_FAMILY_COMMON_(Class, HxPortTypeInfo classTypeId(#Class, ObjectFactory, DialogFactory, ParentTypeExpr))
