// The depth-flow measurement of the keyframe camera path editor: how far, on
// average, the drawn pixels of a rendered frame move on screen between two
// nearby cameras, from the frame's depth buffer. Its pixel loop is built with
// the compile options of vevazaru/CMakeLists.txt (VEVAZARU_FLOW_OPTIONS), which
// apply to this unit alone.
#pragma once
#include <Inventor/SbLinear.h>

namespace depthflow {

struct FlowSum {
    double total = 0;
    int count = 0;
};

// The flow of every drawn pixel of the width x height area (depth < 0.99999)
// from the camera of view-volume matrix `m0` to that of `m1`, into `flow`;
// `w`, `h` are the window's size, `scale` the viewport's normalised size.
// Every flow is 0 when m0 cannot be inverted.
FlowSum measureFlow(const float* depth, float* flow, int width, int height, int w, int h, const SbVec2f& scale,
                    const SbMatrix& m0, const SbMatrix& m1);

// Reads the current GL context's depth buffer; false when GL reports an error.
bool readDepth(int width, int height, float* depth);

}  // namespace depthflow
