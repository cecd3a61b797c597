#include "printing/renderer.hpp"

#include <cstdio>
#include <cstdlib>
#include <variant>

#include "platform/paths.hpp"
#include "platform/thread.hpp"
#include "printing/engine_loader.hpp"
#include "printing/renderer_channel.hpp"

namespace zorvik::printing {

namespace {

constexpr std::size_t kRendererStack = 0x800000;

struct Probe {
  ReplySender<Result<std::string>> reply;
};

struct Render {
  ReplySender<Result<RenderedPages>> reply;
  Bytes pdf;
  std::int32_t dpi;
};

using Request = std::variant<Probe, Render>;

}  // namespace

struct Renderer::Impl {
  std::optional<std::filesystem::path> exeDir;
  RequestChannel<Request> channel;
  std::optional<platform::NamedThread> thread;

  // Renderer thread. The engine lives only here; a failed load is retried on
  // the next request, a successful one is kept until the thread ends.
  void serve() {
    std::unique_ptr<EngineLibrary> engine;
    std::string label;
    try {
      while (auto request = channel.receive()) {
        std::optional<Error> loadError;
        if (!engine) {
          auto loaded = loadEngine(exeDir);
          if (loaded) {
            engine = std::move(loaded->engine);
            label = std::move(loaded->label);
          } else {
            loadError = std::move(loaded.error());
          }
        }
        if (auto* probe = std::get_if<Probe>(&*request)) {
          probe->reply.send(engine ? Result<std::string>(label) : fail(*loadError));
        } else {
          auto& render = std::get<Render>(*request);
          render.reply.send(engine ? renderDocument(*engine, render.pdf, render.dpi) : fail(*loadError));
        }
      }
    } catch (...) {
      // Whatever escaped has already dropped its reply ("Рисовальщик не ответил");
      // the thread ends and later requests find it gone.
    }
    channel.closeReceiving();
  }
};

Renderer::Renderer(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

Result<std::unique_ptr<Renderer>> Renderer::start(std::optional<std::filesystem::path> exeDir) {
  auto impl = std::make_unique<Impl>();
  impl->exeDir = std::move(exeDir);
  Impl* raw = impl.get();
  auto thread = platform::NamedThread::start("pdfium", kRendererStack, [raw] { raw->serve(); });
  if (!thread) return fail(thread.error());
  impl->thread.emplace(std::move(*thread));
  return std::unique_ptr<Renderer>(new Renderer(std::move(impl)));
}

Renderer::~Renderer() {
  impl_->channel.closeSending();
  impl_->thread.reset();  // joins
}

Result<std::string> Renderer::probe() {
  auto [sender, receiver] = makeReply<Result<std::string>>();
  if (auto sent = impl_->channel.send(Probe{std::move(sender)}); !sent) return fail(sent.error());
  auto answer = receiver.wait();
  if (!answer) return fail(answer.error());
  return std::move(*answer);
}

Result<RenderedPages> Renderer::render(Bytes pdf, std::int32_t dpi) {
  auto [sender, receiver] = makeReply<Result<RenderedPages>>();
  if (auto sent = impl_->channel.send(Render{std::move(sender), std::move(pdf), dpi}); !sent)
    return fail(sent.error());
  auto answer = receiver.wait();
  if (!answer) return fail(answer.error());
  return std::move(*answer);
}

Renderer& processRenderer() {
  // Never destroyed: the thread may still be drawing while the process exits.
  static Renderer* renderer = [] {
    auto dir = platform::executableDir();
    auto started = Renderer::start(dir ? std::optional(*dir) : std::nullopt);
    if (!started) {
      std::fputs("поток рисовальщика должен запуститься\n", stderr);
      std::abort();
    }
    return started->release();
  }();
  return *renderer;
}

Result<RenderedPages> renderPdf(Bytes pdf, std::int32_t dpi) { return processRenderer().render(std::move(pdf), dpi); }

}  // namespace zorvik::printing
