#include "DepthFlow.h"

#include <GL/glew.h>

#include <Inventor/SbDPMatrix.h>
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

namespace depthflow {

bool readDepth(int width, int height, float* depth) {
    while (glGetError() != GL_NO_ERROR) {}
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, width, height, GL_DEPTH_COMPONENT, GL_FLOAT, depth);
    return glGetError() == GL_NO_ERROR;
}

namespace {
// The pixel loop of measureFlow: each pixel's flow under the map I + e into
// `flow`; returns the sum and count of the drawn ones. Built
// twice: for processors with AVX2 (eight pixels per step) and for any other; the
// loader picks the one that runs here. A function of its own because the
// attribute must be on a function's first declaration (clang insists).
__attribute__((target_clones("avx2", "default"))) FlowSum flowOfRows(const float* depth, float* flow, const float* xs,
                                                                     int width, int height, int h, float scaleY,
                                                                     const float (&e)[4][4]) {
    FlowSum sum;
    const float xx = e[0][0], xz = e[2][0], yx = e[0][1], yz = e[2][1], wx = e[0][3], wz = e[2][3];
    for (int row = 0; row < height; ++row) {
        const float y = static_cast<float>(2 * row) * scaleY / static_cast<float>(h) - 1.0f;
        const float bx = y * e[1][0] + e[3][0], by = y * e[1][1] + e[3][1], bw = y * e[1][3] + e[3][3];
        const float* __restrict rowDepth = depth + static_cast<std::ptrdiff_t>(row) * width;
        const float* __restrict rowX = xs;
        float* __restrict rowFlow = flow + static_cast<std::ptrdiff_t>(row) * width;
        int rowCount = 0;
        // Branch-free, so that the compiler can work on several pixels at once.
        for (int c = 0; c < width; ++c) {
            const float d = rowDepth[c];
            const float x = rowX[c];
            const float z = 2.0f * d - 1.0f;
            const float gx = bx + x * xx + z * xz;
            const float gy = by + x * yx + z * yz;
            const float gw = bw + x * wx + z * wz;
            const float inverseW = 1.0f / (1.0f + gw);
            const float dx = (gx - x * gw) * inverseW;
            const float dy = (gy - y * gw) * inverseW;
            const float f = std::sqrt(dx * dx + dy * dy);
            const bool drawn = d < 0.99999f;  // the far plane: nothing there
            rowFlow[c] = drawn ? f : 0.0f;
            rowCount += drawn ? 1 : 0;
        }
        // Eight running sums, so the additions need not wait for each other.
        float partial[8] = {};
        int c = 0;
        for (; c + 8 <= width; c += 8)
            for (int lane = 0; lane < 8; ++lane) partial[lane] += rowFlow[c + lane];
        float rowSum = 0;
        for (; c < width; ++c) rowSum += rowFlow[c];
        for (float p : partial) rowSum += p;
        sum.total += rowSum;
        sum.count += rowCount;
    }
    return sum;
}
}  // namespace

FlowSum measureFlow(const float* depth, float* flow, int width, int height, int w, int h, const SbVec2f& scale,
                    const SbMatrix& m0, const SbMatrix& m1) {
    FlowSum sum;
    // Unprojecting with m0⁻¹ and projecting with m1 is one projective map
    // r = m0⁻¹·m1 (row vectors), close to the identity for nearby cameras. Its
    // difference e from the identity, formed in double, gives each pixel's
    // displacement directly: with g = p·e for p = (x, y, z, 1), the pixel moves
    // to (x + g0, y + g1) / (1 + g3), that is by ((g0 - x g3), (g1 - y g3)) / (1 + g3).
    const SbDPMatrix unproject(m0);
    if (unproject.det4() == 0.0) {
        std::fill(flow, flow + std::max(0, width * height), 0.0f);
        return sum;
    }
    SbDPMatrix r = unproject.inverse();
    r.multRight(SbDPMatrix(m1));
    float e[4][4];
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) e[i][j] = static_cast<float>(r[i][j] - (i == j ? 1.0 : 0.0));

    // Normalised device coordinates of the pixels' lower left corners.
    std::vector<float> xs(static_cast<std::size_t>(std::max(0, width)));
    for (int c = 0; c < width; ++c)
        xs[static_cast<std::size_t>(c)] = static_cast<float>(2 * c) * scale[0] / static_cast<float>(w) - 1.0f;
    return flowOfRows(depth, flow, xs.data(), width, height, h, scale[1], e);
}

}  // namespace depthflow
