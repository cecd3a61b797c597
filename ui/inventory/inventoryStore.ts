/**
 * The "inventory" store: the session list, the one open session with its queue runner, the scan
 * feedback and the files (exports, photos). Screens call its actions and show the texts they get.
 */
import { defineStore } from 'pinia'
import { computed, ref, shallowRef } from 'vue'
import { useAccountStore } from '../core/accountStore'
import { displayName } from '../core/accountDescription'
import { revealSaved, saveDownload, saveUrlDownload, withBom } from '../core/downloads'
import { readLocal, writeLocal } from '../core/localStore'
import { RefusalError } from '../core/requests'
import { keptAccountFor, keptAccountsReady, keptAccountUids } from '../core/keptAccount'
import { channelToken, command, isDemoMode, serverBaseUrl } from '../core/session'
import { useSocketStore } from '../core/socketStore'
import { feedback } from '../documents/feedback/feedback'
import { failureText, inventoryCommands } from './commands'
import { exportCsv, exportFileName } from './exportTable'
import { InventoryDb } from './inventoryDb'
import { refusedFileName } from './photoQueue'
import { createPhotoUploads, type AttachOutcome } from './photoUpload'
import { pageQueueCopy, type QueueCopy } from './queueCopy'
import { createQueueRunner, UNFILED, type QueueRunner } from './queueRunner'
import { FLUSH_TICK_MS } from './scanQueue'
import { normaliseScan, normaliseSession, type Scan, type Session } from './records'
import { unitChanges } from './unitChanges'
import type { BatchFailure } from './scanQueue'

export type ScanFilter = 'unnamed' | 'photos' | 'repeats'

/** Sessions seen last, so that a session opens without a connection. */
const SESSIONS_KEY = 'zv_inventory_sessions'

export function failureOf(err: unknown): BatchFailure {
  if (err instanceof RefusalError) return { code: err.info.code, message: err.info.message ?? err.message, wrong: err.info.wrong }
  // No code: a time-out or no connection, retried quietly.
  return {}
}

/** The text to show for a failed command. */
export const errorTextOf = (err: unknown): string => {
  const f = failureOf(err)
  return failureText({ ...f, message: f.message ?? (err instanceof Error && err.message !== 'timeout' ? err.message : undefined) })
}

export interface Flash { id: number; ok: boolean; text: string }

/** Where a saved file went (null: the page's browser took the download). */
export const savedText = (path: string | null): string => (path ? `Файл сохранен в Загрузки: ${path}` : 'Файл передан на скачивание')

/** Said when no account was ever confirmed for the signed-in token: a scan is never filed under no account. */
export const NO_ACCOUNT = 'Аккаунт этого устройства еще не подтвержден сервером — подключитесь к сети, чтобы считать'

const uuid = (): string => crypto.randomUUID()

export const useInventoryStore = defineStore('inventory', () => {
  // Refused at once while disconnected: a message left in the channel's buffer would go out long after
  // its caller gave up (a batch then arrives twice, a flush waits out every time-out).
  const commands = inventoryCommands((name, payload, timeoutMs) => command(name, payload, timeoutMs, undefined, { connectedOnly: true }))
  const account = useAccountStore()
  const sessions = ref<Session[]>([])
  const hasMore = ref(false)
  const listError = ref('')
  /** said at once when the device database cannot open: scans then live only in memory */
  const storageWarning = ref('')
  const flash = ref<Flash | null>(null)
  const runner = shallowRef<QueueRunner | null>(null)
  let copy: QueueCopy | null = null
  let db: Promise<InventoryDb | null> | null = null
  let flashes = 0
  const photos = createPhotoUploads({
    commands,
    failureText: errorTextOf,
    keep: async () => {
      const d = await openDb()
      return d ? { put: (p) => d.putPhoto(p), remove: (k) => d.removePhoto(k), all: (a) => d.photos(a) } : null
    },
    unitWaiting: (uid) => runner.value?.queue.value.some((q) => q.scanUid === uid && !q.rejected && !q.deleting) ?? false,
  })
  let photoTimer: ReturnType<typeof setInterval> | null = null

  /** The account the queue belongs to: the confirmed one, else the one last confirmed for this token on the device. */
  const who = () => {
    const d = account.description ?? account.kept ?? keptAccountFor(channelToken())
    return { accountId: d?.uid || (isDemoMode() ? 'demo' : ''), userId: d?.userId || null, userName: d ? displayName(d) : '' }
  }

  function openDb(): Promise<InventoryDb | null> {
    db ??= InventoryDb.open().then((r) => {
      if (r.ok) return r.db
      storageWarning.value = r.error
      return null
    })
    return db
  }

  let runnerAccount = ''
  /** a session's screen is shown (its runner pulls the other devices' scans) */
  let onScreen = false
  const adopts = (accountId: string) => keptAccountUids().every((uid) => uid === accountId)

  /** The runner of the signed-in account (a new one when another account signed in); null while no account is known. */
  async function ensureRunner(): Promise<QueueRunner | null> {
    await keptAccountsReady()
    const db = await openDb()
    // Nothing is awaited from here to the runner's assignment: two callers never make two runners.
    const w = who()
    if (w.accountId === UNFILED) return null
    if (runner.value && runnerAccount === w.accountId) return runner.value
    runner.value?.close()
    copy ??= pageQueueCopy()
    const made = createQueueRunner({
      commands, db, copy, ...w, uid: uuid, now: () => Date.now(),
      every: (fn, ms) => {
        const t = setInterval(fn, ms)
        return () => clearInterval(t)
      },
      failureOf,
      adoptUnfiled: adopts(w.accountId),
    })
    runner.value = made
    runnerAccount = w.accountId
    await photos.load(w.accountId)
    photoTimer ??= setInterval(() => void photos.pump(), FLUSH_TICK_MS)
    return made
  }

  /**
   * Sends what waits on the device wherever the user is: the open session's queue at once, else the
   * queue of a session this account left scans in (opened in the background, without its screen).
   */
  async function wake(): Promise<void> {
    const r = await ensureRunner()
    if (!r) return
    if (!r.session.value) {
      await copy!.ready
      const d = await openDb()
      const owners = adopts(runnerAccount) ? [runnerAccount, UNFILED] : [runnerAccount]
      const mine: number[] = []
      for (const owner of owners) mine.push(...copy!.sessionIds(owner), ...((await d?.sessionIds(owner).catch(() => [])) ?? []))
      for (const id of [...new Set(mine)].sort((a, b) => b - a)) {
        let known = sessions.value.find((s) => s.id === id) ?? remembered(id)
        if (!known && useSocketStore().isConnected) known = await commands.get(id).catch(() => null)
        if (!known || known.status !== 'open' || r.session.value) continue
        await r.open(known)
        if (!onScreen) r.leave()
        break
      }
    }
    await r.flush(true)
    await photos.pump(true)
  }

  function remember(list: readonly Session[]) {
    const kept = new Map((readLocal<unknown[]>(SESSIONS_KEY) ?? []).map(normaliseSession).filter((s): s is Session => s !== null).map((s) => [s.id, s]))
    for (const s of list) kept.set(s.id, s)
    writeLocal(SESSIONS_KEY, [...kept.values()].sort((a, b) => b.id - a.id).slice(0, 50))
  }
  const remembered = (id: number): Session | null =>
    (readLocal<unknown[]>(SESSIONS_KEY) ?? []).map(normaliseSession).find((s) => s?.id === id) ?? null

  async function loadSessions(more = false): Promise<void> {
    try {
      const beforeId = more ? Math.min(...sessions.value.map((s) => s.id)) : undefined
      const r = await commands.list({ limit: 20, ...(beforeId ? { beforeId } : {}) })
      sessions.value = more ? [...sessions.value, ...r.sessions] : r.sessions
      hasMore.value = r.hasMore
      listError.value = ''
      remember(r.sessions)
    } catch (err) {
      listError.value = errorTextOf(err)
      if (!more && sessions.value.length === 0) {
        sessions.value = (readLocal<unknown[]>(SESSIONS_KEY) ?? []).map(normaliseSession).filter((s): s is Session => s !== null)
      }
    }
    void openDb()
  }

  async function startSession(name: string, comment: string): Promise<{ session?: Session; error?: string }> {
    try {
      const s = await commands.start(name.trim(), comment.trim())
      sessions.value = [s, ...sessions.value.filter((x) => x.id !== s.id)]
      remember([s])
      return { session: s }
    } catch (err) {
      return { error: errorTextOf(err) }
    }
  }

  /** Opens a session by id: the known record at once, the service's when it answers. */
  async function openSession(id: number): Promise<string> {
    const r = await ensureRunner()
    if (!r) return NO_ACCOUNT
    let known = sessions.value.find((s) => s.id === id) ?? remembered(id)
    if (!known) {
      try {
        known = await commands.get(id)
      } catch (err) {
        return errorTextOf(err)
      }
    }
    if (!known) return 'Инвентаризация не найдена или уже закрыта'
    flash.value = null
    onScreen = true
    if (r.session.value?.id === id) {
      // Already open in the background: the screen only starts watching the other devices again.
      r.watchOthers()
      void r.pull()
    } else await r.open(known)
    if (r.session.value) remember([r.session.value])
    return ''
  }

  function leaveSession() {
    onScreen = false
    runner.value?.leave()
  }

  function show(ok: boolean, text: string) {
    flash.value = { id: ++flashes, ok, text }
  }

  /** A scanned or typed code: the sound of success only once the scan is on the device. */
  async function scan(code: string, source: 'scanner' | 'camera' | 'manual' = 'scanner'): Promise<boolean> {
    const r = runner.value
    if (!r) {
      show(false, NO_ACCOUNT)
      void feedback.playError()
      return false
    }
    const added = await r.add({ code, source })
    if (!added.ok) {
      show(false, added.error)
      void feedback.playError()
      void feedback.notifyError()
      return false
    }
    void feedback.playSuccess()
    show(true, added.durable ? `Скан сохранен: ${added.scan.code}` : `Скан принят, но хранится только в памяти: ${added.scan.code}`)
    return true
  }

  /**
   * Closes the open session (with `force` even while the register still looks codes up). `registryPending`:
   * the service waits for the register; the screen offers «Закрыть без наименований».
   */
  async function closeSession(force = false): Promise<{ error: string; registryPending?: boolean }> {
    const r = runner.value
    const s = r?.session.value
    if (!r || !s) return { error: '' }
    await r.flush(true)
    try {
      const closed = await commands.close(s.id, force)
      r.session.value = closed
      sessions.value = sessions.value.map((x) => (x.id === closed.id ? closed : x))
      remember([closed])
      return { error: '' }
    } catch (err) {
      return { error: errorTextOf(err), ...(failureOf(err).code === 'registry-pending' ? { registryPending: true } : {}) }
    }
  }

  /** The service's scans of the open session under a filter and a search; null when neither is set. */
  async function findScans(filter: ScanFilter | '', q: string): Promise<{ scans: Scan[] | null; error: string }> {
    const s = runner.value?.session.value
    if (!s || (filter === '' && q.trim() === '')) return { scans: null, error: '' }
    try {
      const r = await commands.listScans(s.id, { limit: 200, ...(filter ? { filter } : {}), q })
      return { scans: r.scans.map(normaliseScan).filter((x): x is Scan => x !== null), error: '' }
    } catch (err) {
      return { scans: null, error: errorTextOf(err) }
    }
  }

  async function saveComment(comment: string): Promise<string> {
    const r = runner.value
    const s = r?.session.value
    if (!r || !s) return ''
    try {
      r.session.value = await commands.comment(s.id, comment.trim())
      return 'Комментарий сохранен'
    } catch (err) {
      return errorTextOf(err)
    }
  }

  async function saveFromUrl(r: { url?: unknown; fileName: string }): Promise<string> {
    if (typeof r.url !== 'string' || r.url === '') return 'Сервер не вернул файл'
    const path = await saveUrlDownload(r.url, r.fileName)
    if (path) await revealSaved(path, '[инвентаризация] не показали файл в проводнике:')
    return savedText(path)
  }

  /** The service's table of this session (or of all sessions) into Downloads. */
  async function exportToDownloads(all = false): Promise<string> {
    try {
      const s = runner.value?.session.value
      if (!all && !s) return ''
      return await saveFromUrl(all ? await commands.exportAll() : await commands.exportSession(s!.id))
    } catch (err) {
      return errorTextOf(err)
    }
  }

  /** The scans kept on the device after the session closed, as a table in Downloads. */
  async function exportKept(): Promise<string> {
    const r = runner.value
    if (!r) return ''
    try {
      const path = await saveDownload(exportFileName(new Date()), withBom(exportCsv(r.keptScans())))
      await revealSaved(path, '[инвентаризация] не показали файл в проводнике:')
      return savedText(path)
    } catch (err) {
      return errorTextOf(err)
    }
  }

  const units = unitChanges({ runner: () => runner.value, commands, errorText: errorTextOf, failureOf, base: serverBaseUrl, forgetPhotos: (uid) => photos.forget(uid) })

  /** A photo for a unit of the open session: kept on the device, sent now or as soon as it can go. */
  async function attachPhoto(scan: Scan, file: File): Promise<AttachOutcome> {
    const s = runner.value?.session.value
    if (!s) return { kind: 'refused', text: NO_ACCOUNT }
    return photos.attach(scan.scanUid, scan.photos, file, { accountId: runnerAccount, sessionId: s.id })
  }

  /** A photo the service refused, saved into Downloads as it was taken. */
  async function saveRefusedPhoto(key: string): Promise<string> {
    const p = photos.state.waiting.find((x) => x.key === key)
    if (!p) return ''
    try {
      const path = await saveDownload(refusedFileName(p), p.bytes)
      await revealSaved(path, '[инвентаризация] не показали файл в проводнике:')
      return savedText(path)
    } catch (err) {
      return errorTextOf(err)
    }
  }

  /** The session's photos (or one unit's) as a .zip in Downloads. */
  async function photoArchive(unitNo?: string): Promise<string> {
    const s = runner.value?.session.value
    if (!s) return ''
    try {
      return await saveFromUrl(await commands.photoArchive(s.id, unitNo))
    } catch (err) {
      return errorTextOf(err)
    }
  }

  async function registryRequest(all: boolean): Promise<string> {
    const s = runner.value?.session.value
    if (!s) return ''
    try {
      const r = await commands.registryRequest(s.id, all)
      return `Отправлено в Реестр: ${Number(r.queued) || 0}`
    } catch (err) {
      return errorTextOf(err)
    }
  }


  return {
    sessions, hasMore, listError, storageWarning, flash, runner,
    session: computed(() => runner.value?.session.value ?? null),
    loadSessions, startSession, openSession, leaveSession, wake, scan, closeSession, saveComment, findScans,
    exportToDownloads, exportKept, registryRequest, photoArchive, attachPhoto, saveRefusedPhoto, ...units, photos, commands,
  }
})
