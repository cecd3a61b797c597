// The window on Linux: a GTK 3 toplevel holding a WebKitGTK web view.
// The page is served from the app scheme; page calls arrive as POST requests
// on the IPC scheme and are answered with JSON, raw bytes or an error text.
#include <gtk/gtk.h>
#include <libsoup/soup.h>
#include <webkit2/webkit2.h>

#include <condition_variable>
#include <initializer_list>
#include <utility>
#include <mutex>

#include "app/config.hpp"
#include "bridge/page_script.hpp"
#include "platform/linux/gl_probe.hpp"
#include "platform/linux/gobject_ptr.hpp"
#include "platform/window.hpp"

namespace zorvik::platform {

namespace {

using HeaderList = std::initializer_list<std::pair<const char*, const char*>>;

void finishWithBytes(WebKitURISchemeRequest* request, int status, const char* contentType, GBytes* bytes,
                     bool allowAppOrigin, HeaderList extra = {}) {
  GObjectPtr<GInputStream> stream(g_memory_input_stream_new_from_bytes(bytes));
  GObjectPtr<WebKitURISchemeResponse> response(
      webkit_uri_scheme_response_new(stream.get(), static_cast<gint64>(g_bytes_get_size(bytes))));
  webkit_uri_scheme_response_set_status(response.get(), static_cast<guint>(status), nullptr);
  webkit_uri_scheme_response_set_content_type(response.get(), contentType);
  // These headers replace the response's own, so the content type goes in here too.
  SoupMessageHeaders* headers = soup_message_headers_new(SOUP_MESSAGE_HEADERS_RESPONSE);
  soup_message_headers_replace(headers, "Content-Type", contentType);
  soup_message_headers_append(headers, "Cache-Control", "no-store");
  if (allowAppOrigin) soup_message_headers_append(headers, "Access-Control-Allow-Origin", app::kAppOrigin);
  for (const auto& [name, value] : extra) soup_message_headers_append(headers, name, value);
  webkit_uri_scheme_response_set_http_headers(response.get(), headers);  // takes ownership
  webkit_uri_scheme_request_finish_with_response(request, response.get());
}

GBytesPtr bytesFrom(const void* data, std::size_t size) { return GBytesPtr(g_bytes_new(data, size)); }

class BrowserWindow final : public Window {
 public:
  explicit BrowserWindow(WindowSetup setup) : setup_(std::move(setup)) {}

  ~BrowserWindow() override {
    if (window_) gtk_widget_destroy(window_);
  }

  Status build() {
    const auto& w = setup_.window;
    GObjectPtr<WebKitWebsiteDataManager> data(webkit_website_data_manager_new(
        "base-data-directory", setup_.dataDir.c_str(), "base-cache-directory", setup_.cacheDir.c_str(), nullptr));
    context_ = GObjectPtr<WebKitWebContext>(webkit_web_context_new_with_website_data_manager(data.get()));

    WebKitSecurityManager* security = webkit_web_context_get_security_manager(context_.get());
    webkit_security_manager_register_uri_scheme_as_secure(security, app::kAppScheme);
    webkit_security_manager_register_uri_scheme_as_secure(security, app::kIpcScheme);
    webkit_security_manager_register_uri_scheme_as_cors_enabled(security, app::kIpcScheme);
    webkit_web_context_register_uri_scheme(context_.get(), app::kAppScheme, &BrowserWindow::onAppRequest, this, nullptr);
    webkit_web_context_register_uri_scheme(context_.get(), app::kIpcScheme, &BrowserWindow::onIpcRequest, this, nullptr);

    if (setup_.automation) {
      webkit_web_context_set_automation_allowed(context_.get(), TRUE);
      g_signal_connect(context_.get(), "automation-started", G_CALLBACK(&BrowserWindow::onAutomationStarted), this);
    }

    GObjectPtr<WebKitUserContentManager> content(webkit_user_content_manager_new());
    for (const auto& source : setup_.initScripts) {
      GOwned<WebKitUserScript, webkit_user_script_unref> script(
          webkit_user_script_new(source.c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                                 WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr));
      webkit_user_content_manager_add_script(content.get(), script.get());
    }

    view_ = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context_.get(), "user-content-manager",
                                         content.get(), "is-controlled-by-automation",
                                         setup_.automation ? TRUE : FALSE, nullptr));
    WebKitSettings* settings = webkit_web_view_get_settings(view_);
    // Scan sounds play without a prior gesture.
    webkit_settings_set_media_playback_requires_user_gesture(settings, FALSE);
    webkit_settings_set_enable_developer_extras(settings, setup_.automation ? TRUE : FALSE);
    // The camera reader scans barcodes through getUserMedia.
    webkit_settings_set_enable_media_stream(settings, TRUE);
    if (g_getenv("ZORVIK_CONSOLE")) webkit_settings_set_enable_write_console_messages_to_stdout(settings, TRUE);
    applyCompositingPolicy(settings);

    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window_), w.title.c_str());
    gtk_window_set_default_size(GTK_WINDOW(window_), w.width, w.height);
    GdkGeometry hints{};
    hints.min_width = w.minWidth;
    hints.min_height = w.minHeight;
    gtk_window_set_geometry_hints(GTK_WINDOW(window_), nullptr, &hints, GDK_HINT_MIN_SIZE);
    gtk_container_add(GTK_CONTAINER(window_), GTK_WIDGET(view_));
    gtk_widget_show(GTK_WIDGET(view_));
    g_signal_connect(view_, "permission-request", G_CALLBACK(&BrowserWindow::onPermissionRequest), this);
    g_signal_connect(window_, "destroy", G_CALLBACK(&BrowserWindow::onDestroy), this);
    g_signal_connect(window_, "map-event", G_CALLBACK(&BrowserWindow::onMapped), this);

    std::string url = std::string(app::kAppOrigin) + "/" + w.page;
    webkit_web_view_load_uri(view_, url.c_str());
    if (w.visible) show();
    return {};
  }

  // --- Compositing policy -------------------------------------------------
  // WebKit composites with OpenGL when it can. With no GPU, or only a
  // software GL renderer, that compositing runs on the CPU and takes most of
  // the web process's time on every frame, delaying each paint (a scan's
  // answer among them); painting without it is faster there. With a real GPU
  // WebKit's own choice stands. Decided once, before the page loads.
  static void applyCompositingPolicy(WebKitSettings* settings) {
    if (gl::softwareOnly(gl::gatherGlFacts()))
      webkit_settings_set_hardware_acceleration_policy(settings, WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
  }
  // -------------------------------------------------------------------------

  void show() override {
    if (window_) gtk_widget_show(window_);
  }
  void focus() override {
    if (window_) gtk_window_present(GTK_WINDOW(window_));
  }
  void unminimize() override {
    if (window_) gtk_window_deiconify(GTK_WINDOW(window_));
  }
  bool isVisible() const override { return window_ && gtk_widget_get_visible(window_); }
  std::string title() const override {
    const char* t = window_ ? gtk_window_get_title(GTK_WINDOW(window_)) : nullptr;
    return t ? t : "";
  }
  bool isFocused() const override { return window_ && gtk_window_is_active(GTK_WINDOW(window_)); }
  bool isMaximized() const override { return window_ && gtk_window_is_maximized(GTK_WINDOW(window_)); }
  void toggleMaximize() override {
    if (!window_) return;
    if (gtk_window_is_maximized(GTK_WINDOW(window_))) gtk_window_unmaximize(GTK_WINDOW(window_));
    else gtk_window_maximize(GTK_WINDOW(window_));
  }
  double scaleFactor() const override { return window_ ? gtk_widget_get_scale_factor(window_) : 1.0; }
  std::pair<int, int> innerSize() const override {
    if (!window_) return {0, 0};
    int w = 0, h = 0;
    gtk_window_get_size(GTK_WINDOW(window_), &w, &h);
    int scale = gtk_widget_get_scale_factor(window_);
    return {w * scale, h * scale};
  }
  void evaluateScript(const std::string& script) override {
    if (view_)
      webkit_web_view_evaluate_javascript(view_, script.c_str(), static_cast<gssize>(script.size()), nullptr,
                                          nullptr, nullptr, nullptr, nullptr);
  }

 private:
  static void onDestroy(GtkWidget*, gpointer self) {
    auto* w = static_cast<BrowserWindow*>(self);
    w->window_ = nullptr;
    w->view_ = nullptr;
    if (gtk_main_level() > 0) gtk_main_quit();
  }

  // The app's own page may use the camera (barcode scanning); nothing else is granted.
  static gboolean onPermissionRequest(WebKitWebView* view, WebKitPermissionRequest* request, gpointer) {
    const char* uri = webkit_web_view_get_uri(view);
    std::string origin = std::string(app::kAppOrigin) + "/";
    bool ownPage = uri && std::string_view(uri).rfind(origin, 0) == 0;
    if (ownPage && WEBKIT_IS_USER_MEDIA_PERMISSION_REQUEST(request) &&
        webkit_user_media_permission_is_for_video_device(WEBKIT_USER_MEDIA_PERMISSION_REQUEST(request)))
      webkit_permission_request_allow(request);
    else
      webkit_permission_request_deny(request);
    return TRUE;
  }

  static gboolean onMapped(GtkWidget*, GdkEvent*, gpointer self) {
    auto* w = static_cast<BrowserWindow*>(self);
    if (w->setup_.onShown) w->setup_.onShown();
    return FALSE;
  }

  static void onAutomationStarted(WebKitWebContext*, WebKitAutomationSession* session, gpointer self) {
    GOwned<WebKitApplicationInfo, webkit_application_info_unref> info(webkit_application_info_new());
    webkit_application_info_set_name(info.get(), app::kIdentifier);
    webkit_application_info_set_version(info.get(), 0, 66, 2);
    webkit_automation_session_set_application_info(session, info.get());
    g_signal_connect(session, "create-web-view", G_CALLBACK(&BrowserWindow::onAutomationCreateView), self);
  }

  static WebKitWebView* onAutomationCreateView(WebKitAutomationSession*, gpointer self) {
    auto* w = static_cast<BrowserWindow*>(self);
    // The driver drives the one real window; make sure it can be seen.
    w->show();
    return w->view_;
  }

  static void onAppRequest(WebKitURISchemeRequest* request, gpointer self) {
    auto* w = static_cast<BrowserWindow*>(self);
    const char* path = webkit_uri_scheme_request_get_path(request);
    ServedAsset asset = w->setup_.assets(path ? path : "/");
    finishWithBytes(request, asset.status, asset.contentType.c_str(),
                    bytesFrom(asset.body.data(), asset.body.size()).get(), false);
  }

  static void onIpcRequest(WebKitURISchemeRequest* request, gpointer self) {
    auto* w = static_cast<BrowserWindow*>(self);
    GObjectPtr<WebKitURISchemeRequest> held = GObjectPtr<WebKitURISchemeRequest>::ref(request);

    auto refuse = [&](const char* why) {
      GOwned<GError, g_error_free> error(g_error_new_literal(G_IO_ERROR, G_IO_ERROR_PERMISSION_DENIED, why));
      webkit_uri_scheme_request_finish_error(request, error.get());
    };
    // Only the app's own page in our own view may call the host.
    if (webkit_uri_scheme_request_get_web_view(request) != w->view_) return refuse("not the app's view");
    const char* pageUri = webkit_web_view_get_uri(w->view_);
    std::string origin = std::string(app::kAppOrigin) + "/";
    if (!pageUri || std::string_view(pageUri).rfind(origin, 0) != 0) return refuse("not the app's origin");
    SoupMessageHeaders* headers = webkit_uri_scheme_request_get_http_headers(request);
    const char* sentOrigin = headers ? soup_message_headers_get_one(headers, "Origin") : nullptr;
    if (sentOrigin && std::string_view(sentOrigin) != app::kAppOrigin) return refuse("not the app's origin");
    const char* method = webkit_uri_scheme_request_get_http_method(request);
    // The key header makes the page's calls "non-simple": the engine first asks
    // whether it may send it. Only the app's own origin is told yes; a frame of
    // another origin (a sandboxed or data: frame is of none) stops here.
    if (method && std::string_view(method) == "OPTIONS") {
      if (!sentOrigin) return refuse("not the app's origin");
      finishWithBytes(request, 204, "text/plain", bytesFrom("", 0).get(), true,
                      {{"Access-Control-Allow-Methods", "POST"},
                       {"Access-Control-Allow-Headers", "Content-Type, X-Zorvik-Bridge"},
                       {"Access-Control-Max-Age", "600"}});
      return;
    }
    if (!method || std::string_view(method) != "POST") return refuse("page calls are POST requests");
    // A request without the key did not come through the top page's bridge
    // object: a frame's "no-cors" request, say, which may not carry the header.
    const char* key = headers ? soup_message_headers_get_one(headers, bridge::kBridgeKeyHeader) : nullptr;
    if (!key || !bridge::sameBridgeKey(key, w->setup_.bridgeKey)) return refuse("not the app's page");

    const char* rawPath = webkit_uri_scheme_request_get_path(request);
    GCharPtr command(g_uri_unescape_string(rawPath && *rawPath ? rawPath + 1 : "", nullptr));

    std::string body;
    if (GObjectPtr<GInputStream> in(webkit_uri_scheme_request_get_http_body(request)); in) {
      char buf[65536];
      for (;;) {
        gssize n = g_input_stream_read(in.get(), buf, sizeof buf, nullptr, nullptr);
        if (n <= 0) break;
        body.append(buf, static_cast<std::size_t>(n));
      }
    }

    auto shared = std::make_shared<GObjectPtr<WebKitURISchemeRequest>>(std::move(held));
    IpcRespond respond = [shared](Result<bridge::Reply> result) {
      auto finish = [shared, result = std::move(result)] {
        WebKitURISchemeRequest* req = shared->get();
        if (!result) {
          finishWithBytes(req, 400, "text/plain; charset=utf-8",
                          bytesFrom(result.error().data(), result.error().size()).get(), true);
        } else if (const auto* json = std::get_if<Json>(&result->body)) {
          std::string text = json->dump(-1, ' ', false, Json::error_handler_t::replace);
          finishWithBytes(req, 200, "application/json", bytesFrom(text.data(), text.size()).get(), true);
        } else {
          const auto& raw = std::get<Bytes>(result->body);
          finishWithBytes(req, 200, "application/octet-stream", bytesFrom(raw.data(), raw.size()).get(), true);
        }
        shared->reset();
      };
      postToWindowThread(std::move(finish));
    };
    w->setup_.ipc(command ? command.get() : "", std::move(body), std::move(respond));
  }

  WindowSetup setup_;
  GObjectPtr<WebKitWebContext> context_;
  GtkWidget* window_ = nullptr;  // owned by GTK; destroyed in the destructor
  WebKitWebView* view_ = nullptr;  // owned by window_
};

}  // namespace

Status initWindowing(int& argc, char**& argv) {
  if (!gtk_init_check(&argc, &argv)) return fail("cannot open the display");
  return {};
}

Result<std::unique_ptr<Window>> createWindow(WindowSetup setup) {
  auto window = std::make_unique<BrowserWindow>(std::move(setup));
  if (auto built = window->build(); !built) return fail(built.error());
  return std::unique_ptr<Window>(std::move(window));
}

void runEventLoop() { gtk_main(); }

void quitEventLoop() {
  if (gtk_main_level() > 0) gtk_main_quit();
}

void postToWindowThread(std::function<void()> fn) {
  auto* task = new std::function<void()>(std::move(fn));
  g_main_context_invoke_full(
      nullptr, G_PRIORITY_DEFAULT,
      [](gpointer p) -> gboolean {
        (*static_cast<std::function<void()>*>(p))();
        return G_SOURCE_REMOVE;
      },
      task, [](gpointer p) { delete static_cast<std::function<void()>*>(p); });
}

void runOnWindowThread(const std::function<void()>& fn) {
  std::mutex m;
  std::condition_variable cv;
  bool done = false;
  postToWindowThread([&] {
    fn();
    std::lock_guard lock(m);
    done = true;
    cv.notify_one();
  });
  std::unique_lock lock(m);
  cv.wait(lock, [&] { return done; });
}

}  // namespace zorvik::platform
