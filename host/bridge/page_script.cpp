#include "bridge/page_script.hpp"

#include <array>
#include <random>

#include "app/config.hpp"

namespace zorvik::bridge {

namespace {

void replaceAll(std::string& text, std::string_view marker, std::string_view value) {
  for (auto at = text.find(marker); at != std::string::npos; at = text.find(marker, at + value.size()))
    text.replace(at, marker.size(), value);
}

}  // namespace

std::string newBridgeKey() {
  std::random_device random("/dev/urandom");
  static constexpr char kHex[] = "0123456789abcdef";
  std::string key;
  for (int i = 0; i < 8; ++i) {
    auto word = random();
    for (int b = 0; b < 4; ++b) {
      unsigned byte = (word >> (8 * b)) & 0xFFu;
      key += kHex[byte >> 4];
      key += kHex[byte & 0xF];
    }
  }
  return key;
}

bool sameBridgeKey(std::string_view received, std::string_view expected) {
  if (received.size() != expected.size()) return false;
  unsigned char diff = 0;
  for (std::size_t i = 0; i < expected.size(); ++i)
    diff |= static_cast<unsigned char>(received[i] ^ expected[i]);
  return diff == 0;
}

std::string pageBridgeScript(std::string_view key) {
  // Replies: 200 JSON or raw bytes (ArrayBuffer); any other status carries
  // the command's error text, which the promise rejects with as a plain string.
  // Only the app's own page gets the bridge: a top-level page of any other
  // origin never sees the key. `fetch` is taken now, before any page script
  // runs, so nothing the page loads can wrap it to read the key.
  std::string script = R"JS((function () {
  if (window.__ZORVIK__ || location.origin !== '@ORIGIN@') return;
  var base = '@IPC@://localhost/';
  var key = '@KEY@';
  var send = window.fetch.bind(window);
  function invoke(cmd, args, options) {
    var body;
    try { body = JSON.stringify(args === undefined ? {} : args); }
    catch (e) { return Promise.reject(String(e && e.message || e)); }
    return send(base + encodeURIComponent(cmd), {
      method: 'POST',
      body: body,
      headers: { 'Content-Type': 'text/plain;charset=UTF-8', '@HEADER@': key }
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
  replaceAll(script, "@IPC@", app::kIpcScheme);
  replaceAll(script, "@ORIGIN@", app::kAppOrigin);
  replaceAll(script, "@HEADER@", kBridgeKeyHeader);
  replaceAll(script, "@KEY@", key);
  return script;
}

}  // namespace zorvik::bridge
