// The host's compiled-in configuration. Nothing is read from a file at start;
// the flavour (release or local) is fixed when the build is configured.
#pragma once

#include <string>
#include <vector>

#include "app/permissions.hpp"
#include "assets/asset_table.hpp"
#include "core/result.hpp"

namespace zorvik::app {

inline constexpr const char* kProductName = "Зорвик";
// The version this source builds. A packaged bundle may carry another one,
// stamped into the executable by the packager: version() answers that.
inline constexpr const char* kVersion = "0.66.2";
// The bytes before the stamped version; the packager finds them in the executable.
inline constexpr const char* kVersionSlotMarker = "@ZORVIK_VERSION_SLOT@";

// The version of this executable: the stamped one, else kVersion.
[[nodiscard]] std::string version();
inline constexpr const char* kIdentifier = "com.quennix.zorvik-mobile";
inline constexpr const char* kMainWindowLabel = "main";
// Serves the compiled-in page; deliberately not one of the deep-link schemes.
inline constexpr const char* kAppScheme = "zorvik-app";
// Carries the page's command calls to the host.
inline constexpr const char* kIpcScheme = "zorvik-ipc";
inline constexpr const char* kAppOrigin = "zorvik-app://localhost";

struct WindowConfig {
  std::string label = kMainWindowLabel;
  std::string title = kProductName;
  std::string page = "index.html";
  int width = 1100;
  int height = 800;
  int minWidth = 900;
  int minHeight = 700;
  bool visible = false;
};

// The maker's hosts. In the local flavour they are loopback addresses where
// the stand-in service host answers.
struct Hosts {
  std::string app;      // application host
  std::string file;     // file host
  std::string shop;     // web-shop host
  std::string service;  // service host base URL (Socket.IO, /get-token)
  bool loopback = false;
};

struct Config {
  std::string flavour;  // "release" or "local"
  WindowConfig window;
  std::vector<std::string> deepLinkSchemes;
  Hosts hosts;
  std::string updaterEndpoint;
  std::string updaterInstallMode;
  // Base64 of the signature tool's public key file; every update is checked against it.
  std::string updaterPubkey;
  std::vector<std::string> httpScope;  // URL patterns the page's http service may reach
  std::vector<std::string> openerScope;
  Permissions permissions;
  const AssetTable* assets = nullptr;
  bool testHooks = false;  // --automation and the test-only switches
};

// Builds the configuration and checks the asset table. Runs once at start.
[[nodiscard]] Result<Config> buildConfig();

// The flavour's hosts (no asset table needed).
[[nodiscard]] Hosts flavourHosts();

}  // namespace zorvik::app
