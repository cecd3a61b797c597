/**
 * Files for the user (import templates, inventory exports, documents built by
 * the server) go to the Downloads folder through the host, which then shows
 * them in the file manager.
 */
import { errorText, invoke, invokePlugin, isCommandNotFound } from './bridge'

export const IMPORT_TEMPLATE_NAME = 'шаблон-импорта.csv'
export const SAVE_URL_MISSING = '[инвентаризация] в сборке нет save_url_download, отдаем файл браузеру:'

export interface DownloadDeps {
  invoke: <T>(cmd: string, args?: Record<string, unknown>) => Promise<T>
  invokePlugin: <T>(service: string, command: string, args?: Record<string, unknown>) => Promise<T>
  /** Lets the browser download a URL (a host without save_url_download). */
  browserDownload: (url: string, name: string) => void
  warn: (...parts: unknown[]) => void
}

function browserDownload(url: string, name: string): void {
  const a = document.createElement('a')
  a.href = url
  a.download = name
  a.rel = 'noopener'
  document.body.appendChild(a)
  a.click()
  a.remove()
}

export const defaultDownloadDeps: DownloadDeps = {
  invoke,
  invokePlugin,
  browserDownload,
  warn: (...parts) => console.warn(...parts),
}

/** CSV for spreadsheet programs: a byte-order mark first, so UTF-8 is recognised. */
export function withBom(text: string): string {
  return text.startsWith('\uFEFF') ? text : `\uFEFF${text}`
}

/** Saves bytes (or text, as UTF-8) under `name`; resolves with the full path. */
export function saveDownload(
  name: string,
  data: Uint8Array | string,
  deps: DownloadDeps = defaultDownloadDeps,
): Promise<string> {
  const bytes = typeof data === 'string' ? new TextEncoder().encode(data) : data
  return deps.invoke<string>('save_download', { name, data: Array.from(bytes) })
}

/**
 * Has the host download `url` (one of the maker's hosts) into Downloads.
 * Resolves with the saved path, or null when an older host handed the URL to
 * the browser instead.
 */
export async function saveUrlDownload(
  url: string,
  name: string,
  deps: DownloadDeps = defaultDownloadDeps,
): Promise<string | null> {
  try {
    return await deps.invoke<string>('save_url_download', { url, name })
  } catch (err) {
    if (!isCommandNotFound(err, 'save_url_download')) throw err
    deps.warn(SAVE_URL_MISSING, url)
    deps.browserDownload(url, name)
    return null
  }
}

/** Whether a file saved earlier is still there; a failed call counts as no. */
export async function fileExists(path: string, deps: DownloadDeps = defaultDownloadDeps): Promise<boolean> {
  try {
    return (await deps.invoke<boolean>('file_exists', { path })) === true
  } catch {
    return false
  }
}

/**
 * Shows a saved file in the file manager. A failure is only logged, after
 * `logPrefix` (e.g. "[импорт] не показали шаблон в проводнике:").
 */
export async function revealSaved(path: string, logPrefix: string, deps: DownloadDeps = defaultDownloadDeps) {
  try {
    await deps.invokePlugin('opener', 'reveal_item_in_dir', { path })
  } catch (err) {
    deps.warn(logPrefix, errorText(err))
  }
}

/**
 * Files saved during this run, by the caller's key: showing one again reuses
 * the saved file while it still exists, and saves it anew when it is gone.
 */
export function createSavedFiles(deps: DownloadDeps = defaultDownloadDeps) {
  const saved = new Map<string, string>()
  return {
    async saveOnce(key: string, save: () => Promise<string>): Promise<string> {
      const earlier = saved.get(key)
      if (earlier !== undefined && (await fileExists(earlier, deps))) return earlier
      const path = await save()
      saved.set(key, path)
      return path
    },
    forget(key: string): void {
      saved.delete(key)
    },
  }
}
