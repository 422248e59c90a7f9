#include "HxRuler.h"

#include <hxcore/HxCmd.h>

#include <Inventor/SbLinear.h>
#include <QString>
#include <string>

MC_INIT_CLASS(HxRuler, HxObject::getClassTypeId())

void HxRuler::info() { infoTag("Ruler", QString::fromStdString("last distance " + cmdFloatText(lastDistance))); }

int HxRuler::parse(Tcl_Interp* interp, int argc, char** argv) {
    const char* cmd = argc > 1 ? argv[1] : nullptr;
    if (cmdCheck(cmd, "distance", "distance x1 y1 z1 x2 y2 z2: the distance between the two points")) {
        if (int r = cmdHelp(interp, argv[1], argc == 8, argc, argv); r != 4) return r;
        float v[6];
        for (int i = 0; i < 6; ++i)
            if (!parseFloat(argv[i + 2], v[i]))
                return cmdFail(interp, std::string(argv[0]) + " distance: expected six numbers");
        lastDistance = (SbVec3f(v[3], v[4], v[5]) - SbVec3f(v[0], v[1], v[2])).length();
        updateInfo(false);
        return cmdTextResult(interp, cmdFloatText(lastDistance));
    }
    return HxObject::parse(interp, argc, argv);
}
