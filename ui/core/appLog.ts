/** Lines for the host's application log ("startup.log"). */
import { errorText, invoke, isDesktopHost } from './bridge'

/** Writes one line; never waits and never fails the caller. */
export function writeAppLog(line: string): void {
  console.log('[журнал]', line)
  if (!isDesktopHost()) return
  invoke('append_app_log', { line }).catch(() => {})
}

/** The path of the log file, or the host's error text in its place. */
export async function readAppLogPath(): Promise<string> {
  try {
    return await invoke<string>('app_log_path')
  } catch (err) {
    return errorText(err)
  }
}
