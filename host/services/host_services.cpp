#include "services/host_services.hpp"

#include "app/config.hpp"
#include "core/text.hpp"
#include "platform/paths.hpp"

namespace zorvik::services {

Result<std::filesystem::path> appDataFolder() {
  auto base = platform::localDataDir();
  if (!base) return fail(base.error());
  return *base / app::kIdentifier;
}

std::string osFactsScript(const platform::OsFacts& os) {
  Json facts = {{"os_type", os.osType}, {"platform", os.platform}, {"family", os.family},
                {"version", os.version}, {"arch", os.arch},         {"exe_extension", os.exeExtension},
                {"eol", os.eol}};
  return "Object.defineProperty(window, '__ZORVIK_OS__', { value: Object.freeze(" +
         facts.dump(-1, ' ', true, Json::error_handler_t::replace) + "), configurable: false });";
}

std::string openerClickScript() {
  // A primary click on an http(s)/mailto/tel link that targets "_blank" or is
  // made with Ctrl or Shift goes to the default browser; Meta/Alt clicks and
  // clicks a page handler already took are left alone.
  return R"JS((function () {
  window.addEventListener('click', function (e) {
    if (e.defaultPrevented || e.button !== 0 || e.metaKey || e.altKey) return;
    var a = e.target && e.target.closest ? e.target.closest('a') : null;
    if (!a || !a.href) return;
    var blank = a.target === '_blank';
    if (!blank && !e.ctrlKey && !e.shiftKey) return;
    var url;
    try { url = new URL(a.href, location.href); } catch (err) { return; }
    if (['http:', 'https:', 'mailto:', 'tel:'].indexOf(url.protocol) < 0) return;
    e.preventDefault();
    window.__ZORVIK__.invoke('plugin:opener|open_url', { url: url.href }).catch(function () {});
  });
})();)JS";
}

std::vector<std::string> deepLinkUrls(const std::vector<std::string>& args, const std::vector<std::string>& schemes) {
  std::vector<std::string> out;
  for (const auto& a : args) {
    for (const auto& s : schemes) {
      std::string prefix = s + ":";
      // URL schemes are case-insensitive: TSD-AUTH://pin/1234 is the same link.
      if (a.size() > prefix.size() && asciiStartsWithNoCase(a, prefix)) {
        out.push_back(a);
        break;
      }
    }
  }
  return out;
}

bool openerAllows(const std::vector<std::string>& scope, const std::string& url) {
  for (const auto& pattern : scope) {
    if (pattern.ends_with("*")) {
      std::string_view prefix(pattern.data(), pattern.size() - 1);
      // "http://*" must not pass "http://" alone.
      if (url.size() > prefix.size() && std::string_view(url).starts_with(prefix)) return true;
    } else if (url == pattern) {
      return true;
    }
  }
  return false;
}

}  // namespace zorvik::services
