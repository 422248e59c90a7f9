// The offscreen back end of the viewers: one GL context of the host's own,
// made through EGL on Mesa's surfaceless platform (no X server, no window),
// shared by every viewer and created on the first render. Each viewer draws
// into a framebuffer object of its own size (HxOffscreenTarget).
//
// All GL and EGL specifics of the viewers live here; HxViewer only asks for a
// target, renders with Inventor and reads the pixels back.
#pragma once
#include <Inventor/SbColor.h>
#include <Inventor/SbLinear.h>
#include <cstdint>
#include <string>
#include <vector>

class HxOffscreenContext {
public:
    // Makes the shared context current, creating it on first use. False when no
    // GL context can be had; the first failure is reported on the console once,
    // and later calls fail at once with the same reason (error()).
    static bool makeCurrent();
    // Makes current again whatever EGL context was current before makeCurrent().
    static void doneCurrent();
    // Why the context could not be made; empty while it works.
    static const std::string& error();
    // The GL renderer's name (e.g. "llvmpipe ..."); empty before the first render.
    static const std::string& renderer();
    // The largest width and height of an image the GL can render, and the most
    // samples per pixel it can antialias with; 0 when there is no GL.
    static int maxImageSize();
    static int maxSamples();
    // The samples per pixel a render asked for `asked` gets: 1 for 1 or less,
    // else at most maxSamples() (`asked` when there is no GL).
    static int supportedSamples(int asked);
    // Destroys the context (at the end of the session, after the viewers).
    static void shutdown();
};

// A viewer's framebuffer object in the shared context, with its own Inventor
// cache context (display lists and textures are cached per cache context).
class HxOffscreenTarget {
public:
    HxOffscreenTarget();
    ~HxOffscreenTarget();  // frees the framebuffer and Inventor's GL caches
    HxOffscreenTarget(const HxOffscreenTarget&) = delete;
    HxOffscreenTarget& operator=(const HxOffscreenTarget&) = delete;

    // The id to hand to SoGLRenderAction::setCacheContext.
    uint32_t cacheContext() const { return cacheId; }

    // Makes the shared context current and binds a framebuffer of `size` with
    // `samples` per pixel (re-made when either changed), cleared to
    // `background`. False, with the reason in `error`, when no GL or no
    // framebuffer can be had; then nothing is bound and the previous context
    // stays current.
    bool begin(const SbVec2s& size, const SbColor& background, int samples, std::string& error);
    // Reads the bound framebuffer as tightly packed RGB rows, bottom row first;
    // a multisampled one is first resolved to one colour per pixel.
    std::vector<unsigned char> readRGB() const;
    // Unbinds the framebuffer and restores the previous context.
    void end();

private:
    void release();
    uint32_t cacheId;
    unsigned int framebuffer = 0;
    unsigned int colorBuffer = 0;
    unsigned int depthBuffer = 0;
    unsigned int resolveFramebuffer = 0;  // with samples > 1: the averaged image
    unsigned int resolveBuffer = 0;
    SbVec2s allocated{0, 0};
    int allocatedSamples = 0;
    bool used = false;
};
