#include "app/config.hpp"

namespace zorvik::app {

#ifndef ZORVIK_FLAVOUR_LOCAL
#define ZORVIK_FLAVOUR_LOCAL 0
#endif

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
