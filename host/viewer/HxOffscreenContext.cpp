// GLEW must come before any other GL header.
#include <GL/glew.h>

#include <hxcore/HxMessage.h>
#include <viewer/HxOffscreenContext.h>
#include <viewer/HxViewerWindow.h>

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <Inventor/elements/SoGLCacheContextElement.h>
#include <Inventor/errors/SoDebugError.h>
#include <Inventor/misc/SoContextHandler.h>
#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {
struct EglState {
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLContext context = EGL_NO_CONTEXT;
    EGLSurface surface = EGL_NO_SURFACE;  // 1 x 1 pbuffer; viewers draw into framebuffer objects
    bool tried = false;
    std::string error;
    std::string renderer;
    int maxImageSize = 0;
    int maxSamples = 0;
    // What was current before makeCurrent(), put back by doneCurrent().
    EGLDisplay previousDisplay = EGL_NO_DISPLAY;
    EGLContext previousContext = EGL_NO_CONTEXT;
    EGLSurface previousDraw = EGL_NO_SURFACE;
    EGLSurface previousRead = EGL_NO_SURFACE;
};

// A window's context (GLX, through Qt) current before makeCurrent() is released
// meanwhile: the GL dispatch serves one window system at a time.
void releaseWindowContext(EglState&) { HxViewerWindow::releaseCurrentContext(); }

EglState& egl() {
    static EglState state;
    return state;
}

// Coin looks for a GLX context to learn about the platform and warns when it
// finds none; under EGL that is expected and harmless.
SoErrorCB* previousHandler = nullptr;
void* previousHandlerData = nullptr;

void filterCoinWarnings(const SoError* error, void* data) {
    const char* text = error->getDebugString().getString();
    if (std::strstr(text, "Couldn't get current GLX context")) return;
    if (previousHandler)
        previousHandler(error, data);
    else
        theMsg->warning("%s", text);
}

void installWarningFilter() {
    static bool done = false;
    if (done) return;
    done = true;
    previousHandler = SoDebugError::getHandlerCallback();
    previousHandlerData = SoDebugError::getHandlerData();
    SoDebugError::setHandlerCallback(filterCoinWarnings, previousHandlerData);
}

std::string eglFailure(const char* what) {
    char text[160];
    std::snprintf(text, sizeof text, "%s failed (EGL error 0x%x)", what, static_cast<unsigned>(eglGetError()));
    return text;
}

void destroyContext(EglState& s) {
    if (s.display == EGL_NO_DISPLAY) return;
    eglMakeCurrent(s.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (s.surface != EGL_NO_SURFACE) eglDestroySurface(s.display, s.surface);
    if (s.context != EGL_NO_CONTEXT) eglDestroyContext(s.display, s.context);
    // The display stays initialised: eglTerminate unloads Mesa's driver, whose
    // process-lifetime allocations would then show up as leaks of an unknown
    // library. A later makeCurrent() reuses it.
    eglReleaseThread();
    s.display = EGL_NO_DISPLAY;
    s.context = EGL_NO_CONTEXT;
    s.surface = EGL_NO_SURFACE;
}

// Creates the display, context and pbuffer; on failure returns the reason and
// leaves nothing behind.
std::string createContext(EglState& s) {
    auto getPlatformDisplay =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!getPlatformDisplay) return "EGL offers no eglGetPlatformDisplayEXT";
    s.display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (s.display == EGL_NO_DISPLAY) return eglFailure("opening the surfaceless EGL display");
    if (!eglInitialize(s.display, nullptr, nullptr)) {
        std::string reason = eglFailure("eglInitialize");
        s.display = EGL_NO_DISPLAY;
        return reason;
    }
    const EGLint attributes[] = {EGL_SURFACE_TYPE,
                                 EGL_PBUFFER_BIT,
                                 EGL_RENDERABLE_TYPE,
                                 EGL_OPENGL_BIT,
                                 EGL_RED_SIZE,
                                 8,
                                 EGL_GREEN_SIZE,
                                 8,
                                 EGL_BLUE_SIZE,
                                 8,
                                 EGL_DEPTH_SIZE,
                                 24,
                                 EGL_NONE};
    EGLConfig config;
    EGLint found = 0;
    if (!eglChooseConfig(s.display, attributes, &config, 1, &found) || found < 1) {
        destroyContext(s);
        return "no EGL configuration with desktop OpenGL and pbuffers";
    }
    if (!eglBindAPI(EGL_OPENGL_API)) {
        std::string reason = eglFailure("eglBindAPI(OpenGL)");
        destroyContext(s);
        return reason;
    }
    s.context = eglCreateContext(s.display, config, EGL_NO_CONTEXT, nullptr);
    const EGLint pbuffer[] = {EGL_WIDTH, 1, EGL_HEIGHT, 1, EGL_NONE};
    if (s.context != EGL_NO_CONTEXT) s.surface = eglCreatePbufferSurface(s.display, config, pbuffer);
    if (s.context == EGL_NO_CONTEXT || s.surface == EGL_NO_SURFACE ||
        !eglMakeCurrent(s.display, s.surface, s.surface, s.context)) {
        std::string reason = eglFailure("creating the EGL context");
        destroyContext(s);
        return reason;
    }
    // GLEW is built for GLX and reports "no GLX display" under EGL, yet the entry
    // points it loaded work; only the framebuffer functions matter here.
    glewExperimental = GL_TRUE;
    const GLenum glew = glewInit();
    if (glew != GLEW_OK && glew != GLEW_ERROR_NO_GLX_DISPLAY) {
        destroyContext(s);
        return std::string("glewInit failed: ") + reinterpret_cast<const char*>(glewGetErrorString(glew));
    }
    if (!glGenFramebuffers || !glBindFramebuffer || !glGenRenderbuffers || !glFramebufferRenderbuffer) {
        destroyContext(s);
        return "the GL context has no framebuffer objects";
    }
    const GLubyte* name = glGetString(GL_RENDERER);
    s.renderer = name ? reinterpret_cast<const char*>(name) : "";
    GLint limit = 0;
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &limit);
    s.maxImageSize = limit;
    limit = 0;
    glGetIntegerv(GL_MAX_SAMPLES, &limit);
    s.maxSamples = limit;
    return {};
}
}  // namespace

bool HxOffscreenContext::makeCurrent() {
    EglState& s = egl();
    if (!s.tried) {
        s.tried = true;
        installWarningFilter();
        releaseWindowContext(s);
        // Remember what was current before the context is first made current.
        s.previousDisplay = eglGetCurrentDisplay();
        s.previousContext = eglGetCurrentContext();
        s.previousDraw = eglGetCurrentSurface(EGL_DRAW);
        s.previousRead = eglGetCurrentSurface(EGL_READ);
        s.error = createContext(s);
        if (!s.error.empty()) {
            theMsg->error("viewer: no offscreen OpenGL, nothing can be rendered: %s", s.error.c_str());
            return false;
        }
        return true;
    }
    if (s.display == EGL_NO_DISPLAY) return false;
    releaseWindowContext(s);
    s.previousDisplay = eglGetCurrentDisplay();
    s.previousContext = eglGetCurrentContext();
    s.previousDraw = eglGetCurrentSurface(EGL_DRAW);
    s.previousRead = eglGetCurrentSurface(EGL_READ);
    if (s.previousContext == s.context) return true;
    return eglMakeCurrent(s.display, s.surface, s.surface, s.context) == EGL_TRUE;
}

void HxOffscreenContext::doneCurrent() {
    EglState& s = egl();
    if (s.display == EGL_NO_DISPLAY || s.previousContext == s.context) return;
    if (s.previousContext != EGL_NO_CONTEXT && s.previousDisplay != EGL_NO_DISPLAY)
        eglMakeCurrent(s.previousDisplay, s.previousDraw, s.previousRead, s.previousContext);
    else
        eglMakeCurrent(s.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    HxViewerWindow::restoreReleasedContext();
}

const std::string& HxOffscreenContext::error() { return egl().error; }

const std::string& HxOffscreenContext::renderer() { return egl().renderer; }

int HxOffscreenContext::maxImageSize() {
    if (!makeCurrent()) return 0;
    doneCurrent();
    return egl().maxImageSize;
}

int HxOffscreenContext::maxSamples() {
    if (!makeCurrent()) return 0;
    doneCurrent();
    return egl().maxSamples;
}

int HxOffscreenContext::supportedSamples(int asked) {
    if (asked <= 1) return 1;
    const int most = maxSamples();
    if (most < 1) return asked;
    return std::min(asked, most);
}

void HxOffscreenContext::shutdown() {
    EglState& s = egl();
    destroyContext(s);
    // A later render starts afresh.
    s.tried = false;
    s.error.clear();
}

// ---------------------------------------------------------------------------

HxOffscreenTarget::HxOffscreenTarget() : cacheId(SoGLCacheContextElement::getUniqueCacheContext()) {}

HxOffscreenTarget::~HxOffscreenTarget() {
    if (!used || !HxOffscreenContext::makeCurrent()) return;
    // Inventor frees the display lists and textures it made for this target.
    SoContextHandler::destructingContext(cacheId);
    release();
    HxOffscreenContext::doneCurrent();
}

void HxOffscreenTarget::release() {
    if (framebuffer) glDeleteFramebuffers(1, &framebuffer);
    if (colorBuffer) glDeleteRenderbuffers(1, &colorBuffer);
    if (depthBuffer) glDeleteRenderbuffers(1, &depthBuffer);
    if (resolveFramebuffer) glDeleteFramebuffers(1, &resolveFramebuffer);
    if (resolveBuffer) glDeleteRenderbuffers(1, &resolveBuffer);
    framebuffer = colorBuffer = depthBuffer = resolveFramebuffer = resolveBuffer = 0;
    allocated.setValue(0, 0);
    allocatedSamples = 0;
}

namespace {
// Storage for the bound renderbuffer, multisampled when samples > 1.
void storage(int samples, GLenum format, const SbVec2s& size) {
    if (samples > 1)
        glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, format, size[0], size[1]);
    else
        glRenderbufferStorage(GL_RENDERBUFFER, format, size[0], size[1]);
}
}  // namespace

bool HxOffscreenTarget::begin(const SbVec2s& size, const SbColor& background, int samples, std::string& error) {
    if (!HxOffscreenContext::makeCurrent()) {
        error = "no offscreen OpenGL: " + HxOffscreenContext::error();
        return false;
    }
    used = true;
    if (size != allocated || samples != allocatedSamples) {
        release();
        glGenFramebuffers(1, &framebuffer);
        glGenRenderbuffers(1, &colorBuffer);
        glGenRenderbuffers(1, &depthBuffer);
        glBindRenderbuffer(GL_RENDERBUFFER, colorBuffer);
        storage(samples, GL_RGBA8, size);
        glBindRenderbuffer(GL_RENDERBUFFER, depthBuffer);
        storage(samples, GL_DEPTH24_STENCIL8, size);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colorBuffer);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, depthBuffer);
        bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
        if (complete && samples > 1) {
            glGenFramebuffers(1, &resolveFramebuffer);
            glGenRenderbuffers(1, &resolveBuffer);
            glBindRenderbuffer(GL_RENDERBUFFER, resolveBuffer);
            storage(1, GL_RGBA8, size);
            glBindFramebuffer(GL_FRAMEBUFFER, resolveFramebuffer);
            glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, resolveBuffer);
            complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
        }
        glBindRenderbuffer(GL_RENDERBUFFER, 0);
        if (!complete) {
            glBindFramebuffer(GL_FRAMEBUFFER, 0);
            release();
            HxOffscreenContext::doneCurrent();
            char text[128];
            std::snprintf(text, sizeof text, "no %d x %d framebuffer with %d samples per pixel could be made", size[0],
                          size[1], samples);
            error = text;
            return false;
        }
        allocated = size;
        allocatedSamples = samples;
    }
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glViewport(0, 0, size[0], size[1]);
    glClearColor(background[0], background[1], background[2], 1.0f);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    // Inventor expects the depth test on, as its own viewers leave it.
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    if (samples > 1) glEnable(GL_MULTISAMPLE);
    return true;
}

std::vector<unsigned char> HxOffscreenTarget::readRGB() const {
    std::vector<unsigned char> pixels(static_cast<size_t>(allocated[0]) * allocated[1] * 3);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
    if (resolveFramebuffer) {
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, resolveFramebuffer);
        glBlitFramebuffer(0, 0, allocated[0], allocated[1], 0, 0, allocated[0], allocated[1], GL_COLOR_BUFFER_BIT,
                          GL_NEAREST);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, resolveFramebuffer);
    }
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, allocated[0], allocated[1], GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

void HxOffscreenTarget::end() {
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    HxOffscreenContext::doneCurrent();
}
