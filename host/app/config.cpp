#include "app/config.hpp"

#include <cstdlib>
#include <string_view>

#include "update_pubkey.hpp"

namespace zorvik::app {

#ifndef ZORVIK_FLAVOUR_LOCAL
#define ZORVIK_FLAVOUR_LOCAL 0
#endif

// 64 bytes: the marker and the version, NUL-padded. Read through volatile so
// the compiler keeps the bytes the packager may have rewritten. The marker is
// spelled only here, so it occurs once in the executable.
#define ZORVIK_VERSION_MARKER "@ZORVIK_VERSION_SLOT@"
extern "C" {
__attribute__((used)) volatile const char zorvik_version_slot[64] = ZORVIK_VERSION_MARKER "0.66.2";
}
static_assert(std::string_view(kVersionSlotMarker) == ZORVIK_VERSION_MARKER);
static_assert(std::string_view(ZORVIK_VERSION_MARKER "0.66.2").substr(sizeof(ZORVIK_VERSION_MARKER) - 1) ==
              std::string_view(kVersion));

std::string version() {
  static const std::string stamped = [] {
    std::string out;
    for (std::size_t i = sizeof(ZORVIK_VERSION_MARKER) - 1; i < sizeof zorvik_version_slot; ++i) {
      char c = zorvik_version_slot[i];
      if (c == '\0') break;
      out += c;
    }
    return out.empty() ? std::string(kVersion) : out;
  }();
  return stamped;
}

Hosts flavourHosts() {
#if ZORVIK_FLAVOUR_LOCAL
  return Hosts{"localhost", "127.0.0.1", "127.0.0.2", "http://localhost:8787", true};
#else
  return Hosts{"app.zorvik.ru", "files.zorvik.ru", "shop.zorvik.ru", "https://app.zorvik.ru", false};
#endif
}

Result<Config> buildConfig() {
  Config c;
  c.flavour = ZORVIK_FLAVOUR_LOCAL ? "local" : "release";
  c.testHooks = ZORVIK_FLAVOUR_LOCAL;
  c.deepLinkSchemes = {"zorvik", "tsd-auth"};
  c.hosts = flavourHosts();
  c.updaterEndpoint = "https://" + c.hosts.app + "/docs/download/desktop/latest-{{target}}-{{arch}}.json";
  c.updaterInstallMode = "passive";
#if ZORVIK_FLAVOUR_LOCAL
  // Tests point the updater at a stand-in on a port of their own.
  if (const char* endpoint = std::getenv("ZORVIK_TEST_UPDATE_ENDPOINT"); endpoint && *endpoint)
    c.updaterEndpoint = endpoint;
  else
    c.updaterEndpoint = c.hosts.service + "/docs/download/desktop/latest-{{target}}-{{arch}}.json";
#endif
  c.updaterPubkey = kUpdatePublicKey;
  for (const auto* host : {&c.hosts.app, &c.hosts.file, &c.hosts.shop}) {
    c.httpScope.push_back("https://" + *host + "/*");
    // The stand-in host speaks plain HTTP on loopback.
    if (c.hosts.loopback) c.httpScope.push_back("http://" + *host + ":*/*");
  }
  c.openerScope = {"mailto:*", "tel:*", "http://*", "https://*"};
  c.permissions = pagePermissions();
  c.assets = &embeddedAssets();
  if (!c.assets->find("/index.html")) return fail("the embedded web assets have no /index.html");
  return c;
}

}  // namespace zorvik::app
