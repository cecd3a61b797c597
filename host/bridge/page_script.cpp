#include "bridge/page_script.hpp"

#include "app/config.hpp"

namespace zorvik::bridge {

std::string pageBridgeScript() {
  // A text/plain POST is a "simple" cross-origin request: no preflight.
  // Replies: 200 JSON or raw bytes (ArrayBuffer); any other status carries
  // the command's error text, which the promise rejects with as a plain string.
  std::string script = R"JS((function () {
  if (window.__ZORVIK__) return;
  var base = '@IPC@://localhost/';
  function invoke(cmd, args, options) {
    var body;
    try { body = JSON.stringify(args === undefined ? {} : args); }
    catch (e) { return Promise.reject(String(e && e.message || e)); }
    return fetch(base + encodeURIComponent(cmd), {
      method: 'POST',
      body: body,
      headers: { 'Content-Type': 'text/plain;charset=UTF-8' }
    }).then(function (r) {
      if (!r.ok) return r.text().then(function (t) { throw t; });
      var type = r.headers.get('Content-Type') || '';
      return type.indexOf('application/json') === 0 ? r.json() : r.arrayBuffer();
    }, function (e) {
      throw 'host bridge unavailable: ' + String(e && e.message || e);
    });
  }
  // Page callbacks the host calls by id (events).
  var callbacks = new Map();
  var nextCallback = 1;
  function registerCallback(fn) {
    var id = nextCallback++;
    callbacks.set(id, fn);
    return id;
  }
  function unregisterCallback(id) { callbacks.delete(id); }
  function runCallback(id, message) {
    var fn = callbacks.get(id);
    if (fn) fn(message);
  }
  Object.defineProperty(window, '__ZORVIK__', {
    value: Object.freeze({
      invoke: invoke,
      registerCallback: registerCallback,
      unregisterCallback: unregisterCallback,
      runCallback: runCallback
    }),
    writable: false, configurable: false, enumerable: false
  });
  Object.defineProperty(window, '__ZORVIK_DESKTOP__', { value: true, writable: false, configurable: false });
})();)JS";
  const std::string marker = "@IPC@";
  script.replace(script.find(marker), marker.size(), app::kIpcScheme);
  return script;
}

}  // namespace zorvik::bridge
