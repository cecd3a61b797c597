/* Reference for the start-up benchmark: the least a WebKitGTK window can do —
 * create a hidden window with a web view, load an empty page, show the window
 * when the load finishes, and exit once it is mapped (printing peak RSS). */
#include <gtk/gtk.h>
#include <stdio.h>
#include <string.h>
#include <time.h>
#include <webkit2/webkit2.h>

/* The sum of the KiB figures whose names start with `key` in a /proc file; -1 when none. */
static long proc_kib(const char *file, const char *key) {
  FILE *f = fopen(file, "r");
  char line[256];
  long total = -1, kib;
  size_t n = strlen(key);
  if (!f) return -1;
  while (fgets(line, sizeof line, f)) {
    const char *colon = strchr(line, ':');
    if (strncmp(line, key, n) == 0 && colon && sscanf(colon + 1, "%ld", &kib) == 1) total = (total < 0 ? 0 : total) + kib;
  }
  fclose(f);
  return total;
}

static void on_load(WebKitWebView *view, WebKitLoadEvent event, gpointer window) {
  (void)view;
  if (event == WEBKIT_LOAD_FINISHED) gtk_widget_show(GTK_WIDGET(window));
}

static gboolean on_map(GtkWidget *w, GdkEvent *e, gpointer data) {
  (void)w; (void)e; (void)data;
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  printf("reference: window shown at %lld ns; peak RSS %ld KiB; PSS %ld KiB; private %ld KiB\n",
         (long long)ts.tv_sec * 1000000000LL + ts.tv_nsec, proc_kib("/proc/self/status", "VmHWM"),
         proc_kib("/proc/self/smaps_rollup", "Pss:"), proc_kib("/proc/self/smaps_rollup", "Private_"));
  fflush(stdout);
  gtk_main_quit();
  return FALSE;
}

int main(int argc, char **argv) {
  gtk_init(&argc, &argv);
  GtkWidget *window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(window), 1100, 800);
  GtkWidget *view = webkit_web_view_new();
  gtk_container_add(GTK_CONTAINER(window), view);
  gtk_widget_show(view);
  g_signal_connect(view, "load-changed", G_CALLBACK(on_load), window);
  g_signal_connect(window, "map-event", G_CALLBACK(on_map), NULL);
  webkit_web_view_load_html(WEBKIT_WEB_VIEW(view), "<!doctype html><title>empty</title>", "about:blank");
  gtk_main();
  return 0;
}
