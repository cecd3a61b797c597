// The one application window with its embedded browser control.
// Every function here is for the window's thread unless it says otherwise.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/config.hpp"
#include "assets/asset_table.hpp"
#include "bridge/command.hpp"
#include "core/result.hpp"

namespace zorvik::platform {

// Answers one page call; may be called from any thread, exactly once.
using IpcRespond = std::function<void(Result<bridge::Reply>)>;
// One call from the page: command name, raw JSON body.
using IpcHandler = std::function<void(std::string command, std::string body, IpcRespond respond)>;
using AssetServer = std::function<ServedAsset(std::string_view path)>;

struct WindowSetup {
  app::WindowConfig window;
  std::string dataDir;   // the page's persistent storage
  std::string cacheDir;
  std::vector<std::string> initScripts;  // run at document start in the top frame
  // Page calls are taken only with this key in the bridge key header (see
  // bridge/page_script.hpp); only the injected script of the top frame has it.
  std::string bridgeKey;
  bool automation = false;
  AssetServer assets;
  IpcHandler ipc;
  std::function<void()> onShown;  // each time the window becomes visible
};

class Window {
 public:
  virtual ~Window() = default;
  virtual void show() = 0;
  virtual void focus() = 0;
  virtual void unminimize() = 0;
  [[nodiscard]] virtual bool isVisible() const = 0;
  [[nodiscard]] virtual std::string title() const = 0;
  [[nodiscard]] virtual bool isFocused() const = 0;
  [[nodiscard]] virtual bool isMaximized() const = 0;
  virtual void toggleMaximize() = 0;
  [[nodiscard]] virtual double scaleFactor() const = 0;
  // Inner size in physical pixels.
  [[nodiscard]] virtual std::pair<int, int> innerSize() const = 0;
  // Runs a script in the page's top frame (how events reach the page).
  virtual void evaluateScript(const std::string& script) = 0;
};

// Starts the windowing toolkit; fails when there is no display.
[[nodiscard]] Status initWindowing(int& argc, char**& argv);

// Creates the window hidden and starts loading the page.
[[nodiscard]] Result<std::unique_ptr<Window>> createWindow(WindowSetup setup);

// Runs until the window is closed.
void runEventLoop();

// Ends the event loop (the window closes with the process).
void quitEventLoop();

// Any thread: runs `fn` later on the window's thread.
void postToWindowThread(std::function<void()> fn);

// Any thread but the window's: runs `fn` on the window's thread and waits.
void runOnWindowThread(const std::function<void()>& fn);

// A call waiting on the window's thread. Dropping it cancels the call if it
// has not run yet, so `fn` may hold references to whatever outlives the handle.
class PendingCall {
 public:
  virtual ~PendingCall() = default;
};

// Window thread: runs `fn` once on the window's thread after `delay` (counted
// by the event loop), unless the handle is dropped first. Drop it on the
// window's thread too.
[[nodiscard]] std::unique_ptr<PendingCall> runLaterOnWindowThread(std::chrono::milliseconds delay,
                                                                  std::function<void()> fn);

}  // namespace zorvik::platform
