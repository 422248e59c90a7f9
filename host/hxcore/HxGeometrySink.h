// Where objects show their geometry. The object model only declares it; the
// viewer layer's controller implements it and installs itself when it is
// made. Without one (no viewer layer in the program) geometry is not shown.
#pragma once

class HxBase;
class SoNode;

class HxGeometrySink {
public:
    virtual ~HxGeometrySink() = default;

    // Shows (on) or hides `node` of `object` in the viewers of the object's
    // viewer mask.
    virtual void showGeometry(SoNode* node, HxBase* object, bool on) = 0;
    // Hides every node `object` shows (when the object goes away).
    virtual void removeAllGeom(HxBase* object) = 0;
    // Moves the geometry of `object` to the viewers of its new viewer mask.
    virtual void viewerMaskChanged(HxBase* object) = 0;

    // The sink objects show their geometry in; null when none is installed.
    static HxGeometrySink* installed();
    // Installs `sink` (null: none). The sink uninstalls itself before it goes.
    static void install(HxGeometrySink* sink);
};
