#include "platform/linux/gl_probe.hpp"

#include <dlfcn.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <string_view>

namespace zorvik::platform::gl {

namespace {

// The few EGL and GL entry points the probe needs, taken from the system's
// libraries at run time so the host does not link them.
using EGLDisplay = void*;
using EGLConfig = void*;
using EGLContext = void*;
using GetDisplayFn = EGLDisplay (*)(void*);
using InitializeFn = unsigned (*)(EGLDisplay, int*, int*);
using BindApiFn = unsigned (*)(unsigned);
using ChooseConfigFn = unsigned (*)(EGLDisplay, const int*, EGLConfig*, int, int*);
using CreateContextFn = EGLContext (*)(EGLDisplay, EGLConfig, EGLContext, const int*);
using MakeCurrentFn = unsigned (*)(EGLDisplay, void*, void*, EGLContext);
using DestroyContextFn = unsigned (*)(EGLDisplay, EGLContext);
using TerminateFn = unsigned (*)(EGLDisplay);
using GetStringFn = const unsigned char* (*)(unsigned);

constexpr int kNone = 0x3038;
constexpr int kRenderableType = 0x3040;
constexpr int kSurfaceType = 0x3033;
constexpr int kPbufferBit = 0x0001;
constexpr int kOpenGlEs2Bit = 0x0004;
constexpr int kContextClientVersion = 0x3098;
constexpr unsigned kOpenGlEsApi = 0x30A0;
constexpr unsigned kGlRenderer = 0x1F01;

class Dl {
 public:
  explicit Dl(const char* name) : handle_(dlopen(name, RTLD_NOW | RTLD_LOCAL)) {}
  ~Dl() {
    if (handle_) dlclose(handle_);
  }
  Dl(const Dl&) = delete;
  Dl& operator=(const Dl&) = delete;
  template <class Fn>
  Fn get(const char* symbol) const {
    return handle_ ? reinterpret_cast<Fn>(dlsym(handle_, symbol)) : nullptr;
  }

 private:
  void* handle_;
};

// GL_RENDERER of a headless GLES 2 context (no window, no surface), or empty.
std::string probeRenderer() {
  Dl egl("libEGL.so.1");
  Dl gles("libGLESv2.so.2");
  auto getDisplay = egl.get<GetDisplayFn>("eglGetDisplay");
  auto initialize = egl.get<InitializeFn>("eglInitialize");
  auto bindApi = egl.get<BindApiFn>("eglBindAPI");
  auto chooseConfig = egl.get<ChooseConfigFn>("eglChooseConfig");
  auto createContext = egl.get<CreateContextFn>("eglCreateContext");
  auto makeCurrent = egl.get<MakeCurrentFn>("eglMakeCurrent");
  auto destroyContext = egl.get<DestroyContextFn>("eglDestroyContext");
  auto terminate = egl.get<TerminateFn>("eglTerminate");
  auto getString = gles.get<GetStringFn>("glGetString");
  if (!getDisplay || !initialize || !bindApi || !chooseConfig || !createContext || !makeCurrent || !destroyContext ||
      !terminate || !getString)
    return {};

  EGLDisplay display = getDisplay(nullptr);
  int major = 0, minor = 0;
  if (!display || !initialize(display, &major, &minor)) return {};
  std::string renderer;
  const int configAttrs[] = {kRenderableType, kOpenGlEs2Bit, kSurfaceType, kPbufferBit, kNone};
  const int contextAttrs[] = {kContextClientVersion, 2, kNone};
  EGLConfig config = nullptr;
  int found = 0;
  if (bindApi(kOpenGlEsApi) && chooseConfig(display, configAttrs, &config, 1, &found) && found > 0) {
    if (EGLContext context = createContext(display, config, nullptr, contextAttrs)) {
      if (makeCurrent(display, nullptr, nullptr, context)) {
        if (const unsigned char* text = getString(kGlRenderer)) renderer = reinterpret_cast<const char*>(text);
        makeCurrent(display, nullptr, nullptr, nullptr);
      }
      destroyContext(display, context);
    }
  }
  terminate(display);
  return renderer;
}

bool hasRenderNode() {
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/dev/dri", ec))
    if (entry.path().filename().string().starts_with("renderD")) return true;
  return false;
}

bool envTrue(const char* name) {
  const char* value = std::getenv(name);
  return value && *value && std::string_view(value) != "0" && std::string_view(value) != "false";
}

}  // namespace

bool softwareOnly(const GlFacts& facts) {
  if (!facts.renderNode || facts.forcedSoftware) return true;
  std::string name = facts.renderer;
  std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
  // No renderer at all means no context could be made: nothing to composite with.
  if (name.empty()) return true;
  for (std::string_view software : {"llvmpipe", "softpipe", "swrast", "software", "lavapipe", "swiftshader"})
    if (name.find(software) != std::string::npos) return true;
  return false;
}

GlFacts gatherGlFacts() {
  GlFacts facts;
  facts.renderNode = hasRenderNode();
  facts.forcedSoftware = envTrue("LIBGL_ALWAYS_SOFTWARE");
  // Without a render node there is no GPU: the probe's few milliseconds are saved.
  if (facts.renderNode && !facts.forcedSoftware) facts.renderer = probeRenderer();
  return facts;
}

}  // namespace zorvik::platform::gl
