#include "app/permissions.hpp"

namespace zorvik::app {

bool Permissions::allows(std::string_view service, std::string_view command) const {
  auto it = allowed.find(service);
  return it != allowed.end() && it->second.contains(command);
}

Error Permissions::refusal(std::string_view service, std::string_view command) {
  return "plugin:" + std::string(service) + "|" + std::string(command) +
         " not allowed: the page has no permission for this command";
}

Permissions pagePermissions() {
  Permissions p;
  p.allowed = {
      {"app",
       {"bundle_type", "identifier", "name", "register_listener", "remove_listener", "supports_multiple_windows",
        "version", "host_version"}},
      {"deep-link", {"get_current"}},
      {"event", {"emit", "emit_to", "listen", "unlisten"}},
      {"http", {"fetch", "fetch_cancel", "fetch_cancel_body", "fetch_read_body", "fetch_send"}},
      {"image", {"from_bytes", "from_path", "new", "rgba", "size"}},
      {"journal", {"change", "close", "open"}},
      {"keep-screen-on", {"keep_screen_on"}},
      {"menu",
       {"append", "create_default", "get", "insert", "is_checked", "is_enabled", "items", "new", "popup", "prepend",
        "remove", "remove_at", "set_accelerator", "set_as_app_menu", "set_as_help_menu_for_nsapp",
        "set_as_window_menu", "set_as_windows_menu_for_nsapp", "set_checked", "set_enabled", "set_icon", "set_text",
        "text"}},
      {"opener", {"open_url", "reveal_item_in_dir"}},
      {"os", {"arch", "exe_extension", "family", "hostname", "locale", "os_type", "platform", "version"}},
      {"path", {"basename", "dirname", "extname", "is_absolute", "join", "normalize", "resolve", "resolve_directory"}},
      {"process", {"restart"}},
      {"resources", {"close"}},
      {"store",
       {"clear", "delete", "entries", "get", "get_store", "has", "keys", "length", "load", "reload", "reset", "save",
        "set", "values"}},
      {"tray",
       {"get_by_id", "new", "remove_by_id", "set_icon", "set_icon_as_template", "set_icon_with_as_template",
        "set_menu", "set_show_menu_on_left_click", "set_temp_dir_path", "set_title", "set_tooltip", "set_visible"}},
      {"updater", {"check", "download", "download_and_install", "install"}},
      {"webview", {"get_all_webviews", "internal_toggle_devtools", "webview_position", "webview_size"}},
      // Of the window commands that change state, only show, set_focus and
      // internal_toggle_maximize are granted.
      {"window",
       {"activity_name", "available_monitors", "current_monitor", "cursor_position", "get_all_windows",
        "inner_position", "inner_size", "internal_toggle_maximize", "is_always_on_top", "is_closable",
        "is_decorated", "is_enabled", "is_focused", "is_fullscreen", "is_maximizable", "is_maximized",
        "is_minimizable", "is_minimized", "is_resizable", "is_visible", "monitor_from_point", "outer_position",
        "outer_size", "primary_monitor", "scale_factor", "scene_identifier", "set_focus", "show", "theme",
        "title"}},
      // Granted for phone builds; the desktop installs no such service, so the
      // bridge answers with its not-found text.
      {"barcode-scanner", {"cancel", "check_permissions", "open_app_settings", "request_permissions", "scan"}},
  };
  return p;
}

}  // namespace zorvik::app
