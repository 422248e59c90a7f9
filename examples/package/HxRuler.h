// A ruler: measures the distance between two points given to its script command
//   ruler distance x1 y1 z1 x2 y2 z2
// and keeps the last distance measured in its info text.
#pragma once
#include <hxcore/HxObject.h>

class HxRuler : public HxObject {
    MC_HEADER(HxRuler)

public:
    void info() override;
    int parse(Tcl_Interp* interp, int argc, char** argv) override;

private:
    float lastDistance = 0;
};
