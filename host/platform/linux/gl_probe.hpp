// Whether the web view should composite with OpenGL. Without a GPU, or with
// only a software GL renderer (llvmpipe and the like), compositing costs the
// web process most of its CPU for every frame and delays each paint, so the
// window turns it off there. Linux window code only.
#pragma once

#include <string>

namespace zorvik::platform::gl {

// Facts gathered about the machine's OpenGL.
struct GlFacts {
  bool renderNode = false;     // a /dev/dri/renderD* device exists
  bool forcedSoftware = false; // LIBGL_ALWAYS_SOFTWARE is set to a true value
  std::string renderer;        // GL_RENDERER of a probe context; empty when none could be made
};

// Pure: true when only software rendering is at hand.
[[nodiscard]] bool softwareOnly(const GlFacts& facts);

// Looks at the machine: the render node, the environment and, only where a
// render node exists, the renderer of a small headless EGL context.
[[nodiscard]] GlFacts gatherGlFacts();

}  // namespace zorvik::platform::gl
