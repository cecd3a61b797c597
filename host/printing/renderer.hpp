// The renderer thread: the one thread that calls the PDF engine. Other threads
// send it requests and block on their own reply.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "core/bytes.hpp"
#include "core/result.hpp"
#include "printing/renderer_render.hpp"

namespace zorvik::printing {

class Renderer {
 public:
  // Starts a thread named "pdfium" with an 8 MiB stack. The engine library is
  // looked for in `exeDir` (the executable's folder) and then on the system;
  // it is loaded before the first request and kept once loaded. Fails only when
  // the thread cannot be created.
  [[nodiscard]] static Result<std::unique_ptr<Renderer>> start(std::optional<std::filesystem::path> exeDir);
  // Ends the thread after the requests already sent, and frees the engine.
  ~Renderer();
  Renderer(const Renderer&) = delete;
  Renderer& operator=(const Renderer&) = delete;

  // Any thread. The engine label (its path, or "системная библиотека"), or the load error.
  [[nodiscard]] Result<std::string> probe();
  // Any thread; blocks until every page has gone through `sink`, which runs on
  // the renderer thread one page at a time (the page's memory is reused for
  // the next). The number of pages.
  [[nodiscard]] Result<std::size_t> renderEach(Bytes pdf, std::int32_t dpi, PageSink sink);
  // Any thread; every page kept. `dpi` is the printer's resolution.
  [[nodiscard]] Result<RenderedPages> render(Bytes pdf, std::int32_t dpi);

  struct Impl;

 private:
  explicit Renderer(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

// The process's renderer, started on first use with the executable's folder and
// kept until the process ends. Stops the process when its thread cannot start.
[[nodiscard]] Renderer& processRenderer();

}  // namespace zorvik::printing
