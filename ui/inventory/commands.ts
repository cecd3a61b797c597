/** Every inventory command with its payload and reply, over an injected `request`. */
import { normaliseSession, type Session } from './records'
import { wireScan, type QueuedScan } from './scanQueue'

export type Payload = Record<string, unknown>
export type Request = (name: string, payload: Payload, timeoutMs: number) => Promise<unknown>

export const DEFAULT_TIMEOUT_MS = 15_000
export const SCAN_ADD_TIMEOUT_MS = 25_000
export const PHOTO_ARCHIVE_TIMEOUT_MS = 120_000

const obj = (v: unknown): Payload => (v && typeof v === 'object' && !Array.isArray(v) ? (v as Payload) : {})
const arr = (v: unknown): unknown[] => (Array.isArray(v) ? v : [])
const clamp = (v: number | undefined, lo: number, hi: number, dflt: number) => (v === undefined || !Number.isFinite(v) ? dflt : Math.min(hi, Math.max(lo, Math.floor(v))))
const sessionOr = (raw: unknown, missing: string): Session => {
  const s = normaliseSession(raw)
  if (!s) throw new Error(missing)
  return s
}

export const FAILURE_TEXTS: Record<string, string> = {
  'session-open': 'Инвентаризация уже идет — сначала закончите ее',
  'session-not-found': 'Инвентаризация не найдена или уже закрыта',
  'session-closed': 'Инвентаризация закрыта — новые сканы не принимаются',
  'limit-scans': 'В этой инвентаризации достигнут предел сканов — начните новую',
  'photo-limit': 'К этой единице уже 5 фото',
  'photo-storage-full': 'На аккаунте достигнут предел снимков — удалите ненужные',
  'upload-disabled': 'Загрузка фото на сервере выключена — скажите об этом в поддержку',
  empty: 'В этой инвентаризации нет фото — скачивать нечего',
  'too-big': 'Фото не влезли в один архив — скачайте по единицам',
  'registry-not-configured': 'Связь с Реестром не настроена — наименования пока не подтягиваются',
  'queue-full': 'В очереди на Реестр слишком много кодов — попробуйте позже',
  'bad-request': 'Не получилось прочитать скан — проверьте код',
  not_found: 'Скан или фото не найдены — обновите список',
  'already-closed': 'Инвентаризация уже закрыта',
  'storage-busy': 'Сервер занят — повторите через несколько секунд',
  internal: 'Не получилось — попробуйте еще раз',
}

/** The text shown for a failed command: the code's text, else the failure's own message, else the general text. */
export function failureText(f: { code?: string; message?: string; timeout?: boolean }): string {
  if (f.code && FAILURE_TEXTS[f.code]) return FAILURE_TEXTS[f.code]!
  if (!f.timeout && f.message) return f.message
  return FAILURE_TEXTS.internal!
}

export function inventoryCommands(request: Request) {
  const ask = (name: string, payload: Payload, t = DEFAULT_TIMEOUT_MS) => request(name, payload, t)
  return {
    async start(name: string, comment: string) {
      return sessionOr(await ask('inventorySessionStart', { name, comment }), 'Сервер не вернул инвентаризацию')
    },
    async get(sessionId?: number) {
      return normaliseSession(await ask('inventorySessionGet', sessionId === undefined ? {} : { sessionId }))
    },
    async list(opts: { limit?: number; beforeId?: number } = {}) {
      const p: Payload = { limit: clamp(opts.limit, 1, 100, 20) }
      if (opts.beforeId && opts.beforeId > 0) p.beforeId = opts.beforeId
      const r = obj(await ask('inventorySessionList', p))
      return { sessions: arr(r.sessions).map(normaliseSession).filter((s): s is Session => s !== null), hasMore: r.hasMore === true }
    },
    async close(sessionId: number, force = false) {
      return sessionOr(await ask('inventorySessionClose', force ? { sessionId, force: true } : { sessionId }), 'Сервер не вернул закрытую инвентаризацию')
    },
    async comment(sessionId: number, comment: string) {
      return sessionOr(await ask('inventorySessionComment', { sessionId, comment }), 'Сервер не вернул инвентаризацию')
    },
    async addScans(sessionId: number, scans: readonly QueuedScan[]) {
      const r = obj(await ask('inventoryScanAdd', { sessionId, scans: scans.map(wireScan) }, SCAN_ADD_TIMEOUT_MS))
      return { accepted: arr(r.accepted), duplicates: arr(r.duplicates), rejected: arr(r.rejected), scans: arr(r.scans) }
    },
    async listScans(sessionId: number, o: { limit?: number; beforeId?: number; afterId?: number; filter?: 'unnamed' | 'photos' | 'repeats'; q?: string } = {}) {
      const p: Payload = { sessionId, limit: clamp(o.limit, 1, 200, 50) }
      if (o.beforeId !== undefined) p.beforeId = o.beforeId
      if (o.afterId !== undefined) p.afterId = o.afterId
      if (o.filter) p.filter = o.filter
      const q = (o.q ?? '').trim()
      if (q) p.q = q
      const r = obj(await ask('inventoryScanList', p))
      return { scans: arr(r.scans), hasMore: r.hasMore === true }
    },
    async updateScan(sessionId: number, id: number, change: { code?: string; note?: string; qty?: number; cellId?: number | null }) {
      const r = obj(await ask('inventoryScanUpdate', { sessionId, id, ...change }))
      const scan = r.scan !== undefined ? obj(r.scan) : r
      if (Object.keys(scan).length === 0) throw new Error('Сервер не вернул сохраненный скан')
      return scan
    },
    /** A unit deleted by its id, or by `scanUid` (how the service finds a unit whose id the device never heard). */
    deleteScan: async (sessionId: number, unit: { id?: number; scanUid?: string }) => obj(await ask('inventoryScanDelete', { sessionId, ...unit })),
    async photoIds(count: number) {
      const r = obj(await ask('inventoryPhotoIds', { count: clamp(count, 1, 100, 1) }))
      const ids = arr(r.ids)
      if (ids.length === 0 || typeof r.uploadUrl !== 'string' || r.uploadUrl === '') throw new Error('Сервер не вернул пачку для фото')
      return { ids, uploadUrl: r.uploadUrl, maxSizeBytes: r.maxSizeBytes, allowedTypes: arr(r.allowedTypes), expiresAt: r.expiresAt }
    },
    photoList: async (sessionId: number, scanUid: string, limit?: number) =>
      arr(obj(await ask('inventoryPhotoList', { sessionId, scanUid, limit: clamp(limit, 1, 200, 50) })).photos),
    photoDelete: async (photoId: string) => obj(await ask('inventoryPhotoDelete', { photoId })),
    photoMove: async (photoId: string, scanUid: string) => { await ask('inventoryPhotoMove', { photoId, scanUid }) },
    async photoArchive(sessionId: number, unitNo?: string) {
      const r = obj(await ask('inventoryPhotoArchive', unitNo ? { sessionId, unitNo } : { sessionId }, PHOTO_ARCHIVE_TIMEOUT_MS))
      return { ...r, fileName: typeof r.fileName === 'string' && r.fileName ? r.fileName : 'foto-inventarizacii.zip' }
    },
    registryRequest: async (sessionId: number, all: boolean) => obj(await ask('inventoryRegistryRequest', { sessionId, all })),
    async exportSession(sessionId: number) {
      const r = obj(await ask('inventoryExport', { sessionId }))
      return { ...r, fileName: typeof r.fileName === 'string' && r.fileName ? r.fileName : 'inventory.csv' }
    },
    async exportAll() {
      const r = obj(await ask('inventoryExportAll', { limit: 100 }))
      return { ...r, fileName: typeof r.fileName === 'string' && r.fileName ? r.fileName : 'inventory.csv' }
    },
  }
}
