// Base of every host object: type, reference count, name, ports, viewer mask,
// change flags and the generic script commands. Ports are owned by the object
// (they are its members); the object only lists them.
#pragma once
#include <mc/McHandable.h>
#include <mc/McTypeMacros.h>

#include <string>
#include <vector>

struct Tcl_Interp;
class HxPort;
class QString;
class SoNode;

class HxBase : public McTypedObject, public McHandable {
    MC_ABSTRACT_HEADER(HxBase)

public:
    HxBase();
    ~HxBase() override;

    // The name under which scripts address the object (its Tcl command).
    const char* getName() const { return name.c_str(); }
    QString getLabel() const;
    // Renames the object; in the pool the name is made unique first.
    virtual void setLabel(const QString& label);

    // Bit i shows the object in viewer i.
    unsigned short getViewerMask() const { return viewerMask; }
    // Sets the bits of `master` to those of `mask` and keeps the others; the
    // object's geometry moves to the viewers of the new mask.
    void setViewerMask(unsigned int mask, unsigned int master = 0xffffffff);

    // Shows the node in the viewers of the viewer mask / takes it out again.
    // The object's geometry goes with the object.
    void showGeom(SoNode* node);
    void hideGeom(SoNode* node);

    // Marks the object changed; the flags stay until the next fire().
    virtual void touch(unsigned int mask = 0xffffffff) { touchFlags |= mask; }
    unsigned int getTouchFlags() const { return touchFlags; }

    // Called by fire() after ports changed: first update(), then compute().
    virtual void update() {}
    virtual void compute() {}
    // Runs update() and compute(), then clears the new-flags of the ports and the
    // object's touch flags, as the host does after a user change.
    void fire();

    // Script commands addressed to the object; argv[0] is its name.
    virtual int parse(Tcl_Interp* interp, int argc, char** argv);

    const std::vector<HxPort*>& ports() const { return portList; }
    HxPort* getPort(const char* scriptName) const;

private:
    friend class HxPort;
    friend class HxObjectPool;
    void addPort(HxPort* port) { portList.push_back(port); }
    void removePort(HxPort* port);

    std::string name;
    unsigned short viewerMask = 0xffff;
    unsigned int touchFlags = 0;
    std::vector<HxPort*> portList;
};
