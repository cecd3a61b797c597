#include "printing/renderer.hpp"

#include <cstdio>
#include <cstdlib>
#include <mutex>
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
  ReplySender<Result<std::size_t>> reply;
  Bytes pdf;
  std::int32_t dpi;
  PageSink sink;
};

using Request = std::variant<Probe, Render>;

// One renderer thread and its queue. When the thread ends on an error, the
// next request starts a new one.
struct Worker {
  std::optional<std::filesystem::path> exeDir;
  RequestChannel<Request> channel;
  std::optional<platform::NamedThread> thread;

  ~Worker() {
    channel.closeSending();
    thread.reset();  // joins
  }

  // Renderer thread. The engine lives only here; a failed load is retried on
  // the next request, a successful one is kept until the thread ends.
  void serve() {
    // The request being served lives outside the engine's block: when
    // something escapes, the engine is freed and the queue closed before its
    // reply is dropped, so the caller's next request already finds this
    // thread gone and starts another.
    std::optional<Request> current;
    try {
      std::unique_ptr<EngineLibrary> engine;
      std::string label;
      PageBuffer buffer;
      for (;;) {
        auto next = channel.receive();
        if (!next) break;
        current.emplace(std::move(*next));
        next.reset();
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
        if (auto* probe = std::get_if<Probe>(&*current)) {
          probe->reply.send(engine ? Result<std::string>(label) : fail(*loadError));
        } else {
          auto& render = std::get<Render>(*current);
          render.reply.send(engine ? renderDocument(*engine, render.pdf, render.dpi, buffer, render.sink)
                                   : fail(*loadError));
          buffer.trim();
        }
        current.reset();
      }
    } catch (...) {
      // Whatever escaped (the engine running out of memory on a pathological
      // page, a page sink's own failure) ends this thread; its request is
      // answered "Рисовальщик не ответил" below.
    }
    channel.closeReceiving();
    current.reset();
  }
};

Result<std::unique_ptr<Worker>> startWorker(const std::optional<std::filesystem::path>& exeDir) {
  auto worker = std::make_unique<Worker>();
  worker->exeDir = exeDir;
  Worker* raw = worker.get();
  auto thread = platform::NamedThread::start("pdfium", kRendererStack, [raw] { raw->serve(); });
  if (!thread) return fail(thread.error());
  worker->thread.emplace(std::move(*thread));
  return worker;
}

}  // namespace

struct Renderer::Impl {
  std::optional<std::filesystem::path> exeDir;
  std::mutex mutex;               // guards `worker`, never held while a reply is awaited
  std::unique_ptr<Worker> worker;

  Status send(Request&& request) {
    std::lock_guard lock(mutex);
    if (!worker->channel.usable()) {
      // The old thread has ended: joined (its engine freed) before the new one loads it.
      worker.reset();
      auto started = startWorker(exeDir);
      if (!started) {
        // Keeps a worker whose queue refuses, so later requests try again.
        auto gone = std::make_unique<Worker>();
        gone->channel.closeReceiving();
        worker = std::move(gone);
        return fail(kRendererGone);
      }
      worker = std::move(*started);
    }
    return worker->channel.send(std::move(request));
  }
};

Renderer::Renderer(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

Result<std::unique_ptr<Renderer>> Renderer::start(std::optional<std::filesystem::path> exeDir) {
  auto impl = std::make_unique<Impl>();
  auto worker = startWorker(exeDir);
  if (!worker) return fail(worker.error());
  impl->exeDir = std::move(exeDir);
  impl->worker = std::move(*worker);
  return std::unique_ptr<Renderer>(new Renderer(std::move(impl)));
}

Renderer::~Renderer() = default;  // the worker ends its thread after the queued requests

Result<std::string> Renderer::probe() {
  auto [sender, receiver] = makeReply<Result<std::string>>();
  if (auto sent = impl_->send(Probe{std::move(sender)}); !sent) return fail(sent.error());
  auto answer = receiver.wait();
  if (!answer) return fail(answer.error());
  return std::move(*answer);
}

Result<std::size_t> Renderer::renderEach(Bytes pdf, std::int32_t dpi, PageSink sink) {
  auto [sender, receiver] = makeReply<Result<std::size_t>>();
  if (auto sent = impl_->send(Render{std::move(sender), std::move(pdf), dpi, std::move(sink)}); !sent)
    return fail(sent.error());
  auto answer = receiver.wait();
  if (!answer) return fail(answer.error());
  return std::move(*answer);
}

Result<RenderedPages> Renderer::render(Bytes pdf, std::int32_t dpi) {
  RenderedPages pages;
  auto drawn = renderEach(std::move(pdf), dpi, [&pages](const PageImage& page) -> Status {
    pages.push_back(keepPage(page));
    return {};
  });
  if (!drawn) return fail(drawn.error());
  return pages;
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

}  // namespace zorvik::printing
