/** The host's `updater`, `process` and `opener` services as the update flow uses them. */
import { invokePlugin, isDesktopHost, registerCallback, unregisterCallback } from '../core/bridge'

export interface FoundUpdate {
  version: string
  notes: string | null
}

export type DownloadEvent =
  | { event: 'Started'; data: { contentLength: number | null } }
  | { event: 'Progress'; data: { chunkLength: number } }
  | { event: 'Finished' }

export interface UpdaterService {
  /** false outside the desktop host: only the version file is asked then */
  available(): boolean
  currentVersion(): Promise<string>
  check(): Promise<FoundUpdate | null>
  download(onEvent: (e: DownloadEvent) => void): Promise<void>
  install(): Promise<void>
  restart(): Promise<void>
  openUrl(url: string): Promise<void>
}

function foundUpdate(raw: unknown): FoundUpdate | null {
  if (!raw || typeof raw !== 'object') return null
  const r = raw as Record<string, unknown>
  if (typeof r.version !== 'string' || !r.version) return null
  return { version: r.version, notes: typeof r.notes === 'string' && r.notes ? r.notes : null }
}

export function hostUpdaterService(): UpdaterService {
  return {
    available: isDesktopHost,
    currentVersion: async () => {
      if (!isDesktopHost()) return __ZORVIK_VERSION__
      const v = await invokePlugin<unknown>('app', 'version').catch(() => undefined)
      return typeof v === 'string' && v ? v : __ZORVIK_VERSION__
    },
    check: async () => foundUpdate(await invokePlugin<unknown>('updater', 'check')),
    download: async (onEvent) => {
      const id = registerCallback((message) => onEvent(message as DownloadEvent))
      try {
        await invokePlugin('updater', 'download', { onEvent: id })
      } finally {
        unregisterCallback(id)
      }
    },
    install: async () => {
      await invokePlugin('updater', 'install')
    },
    restart: async () => {
      await invokePlugin('process', 'restart')
    },
    openUrl: async (url) => {
      if (isDesktopHost()) await invokePlugin('opener', 'open_url', { url })
      else window.open(url, '_blank', 'noopener')
    },
  }
}
