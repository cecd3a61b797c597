// When the window turns WebKit's OpenGL compositing off: no GPU, a forced
// software renderer, or a software renderer found by the probe.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/linux/gl_probe.hpp"

namespace zorvik::platform::gl {
namespace {

TEST(GlProbe, SoftwareOnlyWithoutAGpuOrWithASoftwareRenderer) {
  struct Case {
    GlFacts facts;
    bool software;
  } cases[] = {
      {{false, false, ""}, true},                                    // no render node: no GPU
      {{true, true, "Mesa Intel(R) UHD Graphics 620"}, true},        // LIBGL_ALWAYS_SOFTWARE
      {{true, false, ""}, true},                                     // no context could be made
      {{true, false, "llvmpipe (LLVM 15.0.6, 256 bits)"}, true},
      {{true, false, "softpipe"}, true},
      {{true, false, "Software Rasterizer"}, true},
      {{true, false, "SwiftShader Device (Subzero)"}, true},
      {{true, false, "Mesa Intel(R) UHD Graphics 620 (KBL GT2)"}, false},
      {{true, false, "AMD Radeon RX 580 (polaris10, LLVM 15.0.6, DRM 3.49)"}, false},
  };
  for (const auto& c : cases) EXPECT_EQ(softwareOnly(c.facts), c.software) << c.facts.renderer;
}

TEST(GlProbe, TheMachinesFactsAreGatheredWithoutFailing) {
  GlFacts facts = gatherGlFacts();
  std::error_code ec;
  bool dri = std::filesystem::exists("/dev/dri", ec);
  if (!dri) {
    EXPECT_FALSE(facts.renderNode);
  }
  if (!facts.renderNode) {
    EXPECT_TRUE(facts.renderer.empty());  // no probe without a GPU
  }
}

}  // namespace
}  // namespace zorvik::platform::gl
