/**
 * Unit photos: checked against the local rules, scaled down, kept in the device database with their
 * unit, and uploaded outside the channel to the address of a batch of photo ids (host's HTTP first, the
 * page's own request second). At most two uploads run at once; an upload that could not reach the
 * service is tried again with the scans' back-off (after restarts too), one the service refused is
 * kept with its reason for the user to save or drop. The rules of the waiting list are ./photoQueue.
 */
import { reactive } from 'vue'
import { errorText, invokePlugin, isDesktopHost } from '../core/bridge'
import { serverBaseUrl } from '../core/session'
import { multipartForm, throughHost, type UploadDeps } from '../partsstore/upload'
import type { inventoryCommands } from './commands'
import { afterAttempt, photosDue, waitingFor, type Attempt, type WaitingPhoto } from './photoQueue'
import { checkPhoto } from './photoRules'

export const MAX_SIDE_PX = 1600
export const QUALITY = 0.8
export const PARALLEL = 2
export const NO_LINK = 'Не удалось отправить фото — нет связи'
export const NOT_ACCEPTED = 'Сервер не принял фото'

type Commands = Pick<ReturnType<typeof inventoryCommands>, 'photoIds'>

/** The service answered, and not with a success: not tried again. */
export class PhotoRefused extends Error {
  constructor(message: string, readonly status: number) {
    super(message)
  }
}

/** The reply of an upload judged. */
export function readPhotoReply(status: number, body: string): { uploadId: string; size: number } {
  let o: Record<string, unknown> = {}
  try {
    const j = JSON.parse(body) as unknown
    if (j && typeof j === 'object') o = j as Record<string, unknown>
  } catch {
    // not JSON: judged below
  }
  if (o.ok === true) return { uploadId: String(o.uploadId ?? ''), size: typeof o.size === 'number' ? o.size : 0 }
  throw new PhotoRefused(typeof o.error === 'string' && o.error !== '' ? o.error : NOT_ACCEPTED, status)
}

/** Joins an address beginning with "/" to the service's base. */
export const absoluteUrl = (url: string, base: string) => (url.startsWith('/') ? `${base.replace(/\/+$/, '')}${url}` : url)

const EXT: Record<string, string> = { 'image/png': 'png', 'image/webp': 'webp' }

/** The longer side brought to at most 1600 px and encoded at 0.8; a picture the page cannot draw goes as it is. */
export async function scaledPhoto(file: Blob): Promise<{ bytes: Uint8Array; type: string }> {
  try {
    const bitmap = await createImageBitmap(file)
    const k = Math.min(1, MAX_SIDE_PX / Math.max(bitmap.width, bitmap.height))
    const canvas = document.createElement('canvas')
    canvas.width = Math.round(bitmap.width * k)
    canvas.height = Math.round(bitmap.height * k)
    canvas.getContext('2d')!.drawImage(bitmap, 0, 0, canvas.width, canvas.height)
    bitmap.close()
    const type = file.type === 'image/png' || file.type === 'image/webp' ? file.type : 'image/jpeg'
    const blob = await new Promise<Blob | null>((done) => canvas.toBlob(done, type, QUALITY))
    if (blob) return { bytes: new Uint8Array(await blob.arrayBuffer()), type: blob.type || type }
  } catch {
    // HEIC and the like: the service takes them as they are
  }
  return { bytes: new Uint8Array(await file.arrayBuffer()), type: file.type || 'image/jpeg' }
}

export interface PhotoUploadDeps extends UploadDeps {
  base: () => string
  now: () => number
  uid: () => string
}

const defaultDeps: PhotoUploadDeps = {
  inHost: isDesktopHost,
  invokePlugin,
  fetch: (...a) => fetch(...a),
  log: (line) => console.warn(line),
  base: serverBaseUrl,
  now: () => Date.now(),
  uid: () => crypto.randomUUID(),
}

/** One POST of a photo; throws PhotoRefused when the service said no, another error when it was not reached. */
export async function postPhoto(
  url: string,
  photo: { id: string; bytes: Uint8Array; type: string; ref?: string },
  deps: UploadDeps,
): Promise<{ uploadId: string; size: number }> {
  const fields = [
    { name: 'file', fileName: `${photo.id}.${EXT[photo.type] ?? 'jpg'}`, bytes: photo.bytes, type: photo.type },
    { name: 'fileId', value: photo.id },
    ...(photo.ref ? [{ name: 'fileRef', value: photo.ref }] : []),
  ]
  const boundary = `----zorvik${Math.random().toString(16).slice(2)}${Date.now().toString(16)}`
  const body = multipartForm(fields, boundary)
  if (deps.inHost()) {
    try {
      const r = await throughHost(url, body, boundary, deps)
      return readPhotoReply(r.status, r.text)
    } catch (err) {
      if (err instanceof PhotoRefused) throw err
      deps.log(`[инвентаризация] фото через приложение не ушло, пробуем напрямую: ${errorText(err)}`)
    }
  }
  let res: Response
  try {
    res = await deps.fetch(url, { method: 'POST', headers: { 'Content-Type': `multipart/form-data; boundary=${boundary}` }, body: body as BodyInit })
  } catch {
    throw new Error(NO_LINK)
  }
  return readPhotoReply(res.status, await res.text())
}

interface Batch { ids: string[]; uploadUrl: string; expiresAt: number }

/** Where waiting photos are kept: the device database (null: in memory only). */
export interface PhotoKeep {
  put(p: WaitingPhoto): Promise<void>
  remove(key: string): Promise<void>
  all(accountId: string): Promise<WaitingPhoto[]>
}

export type AttachOutcome =
  | { kind: 'sent' }
  | { kind: 'waiting'; durable: boolean }
  | { kind: 'refused'; text: string }

export function createPhotoUploads(o: {
  commands: Commands
  failureText: (err: unknown) => string
  deps?: PhotoUploadDeps
  /** the device database, once it is open (null when it could not be) */
  keep?: () => Promise<PhotoKeep | null>
  /** whether a unit still waits in the device's scan queue (its photos wait for it) */
  unitWaiting?: (scanUid: string) => boolean
}) {
  const deps = o.deps ?? defaultDeps
  const unitWaiting = o.unitWaiting ?? (() => false)
  let batch: Batch | null = null
  let running = 0
  const waitingJobs: Array<() => void> = []
  /** photos sent per scan uid; the photos waiting on the device; the uploads under way (by key) */
  const state = reactive({ sent: {} as Record<string, number>, waiting: [] as WaitingPhoto[], busy: new Set<string>() })
  let loadedFor: string | null = null

  async function nextId(): Promise<{ id: string; url: string }> {
    const usable = batch && batch.ids.length > 0 && batch.uploadUrl !== '' && (batch.expiresAt === 0 || batch.expiresAt > deps.now())
    if (!usable) {
      const r = await o.commands.photoIds(100)
      const expires = typeof r.expiresAt === 'string' ? Date.parse(r.expiresAt) : typeof r.expiresAt === 'number' ? r.expiresAt : 0
      batch = { ids: r.ids.map(String), uploadUrl: r.uploadUrl, expiresAt: Number.isFinite(expires) ? expires : 0 }
    }
    return { id: batch!.ids.shift()!, url: absoluteUrl(batch!.uploadUrl, deps.base()) }
  }

  async function slot(): Promise<() => void> {
    if (running >= PARALLEL) await new Promise<void>((go) => waitingJobs.push(go))
    running += 1
    return () => {
      running -= 1
      waitingJobs.shift()?.()
    }
  }

  /** Photos of a unit, counted with those this device keeps for it. */
  const countFor = (scanUid: string, onService: number) => Math.max(onService, state.sent[scanUid] ?? 0) + waitingFor(state.waiting, scanUid)

  async function store(): Promise<PhotoKeep | null> {
    return o.keep ? o.keep().catch(() => null) : null
  }

  /** Replaces one waiting photo (null: it is gone) in the list and in the database. */
  async function settle(p: WaitingPhoto, next: WaitingPhoto | null): Promise<void> {
    state.waiting = next ? state.waiting.map((x) => (x.key === p.key ? next : x)) : state.waiting.filter((x) => x.key !== p.key)
    const db = await store()
    try {
      if (next) await db?.put(next)
      else await db?.remove(p.key)
    } catch (e) {
      deps.log(`[инвентаризация] фото в базе устройства не обновлено: ${errorText(e)}`)
    }
  }

  /** One upload of a waiting photo. */
  async function attempt(p: WaitingPhoto): Promise<Attempt> {
    state.busy.add(p.key)
    const release = await slot()
    try {
      const { id, url } = await nextId()
      await postPhoto(url, { id, bytes: p.bytes, type: p.type, ref: p.scanUid }, deps)
      state.sent[p.scanUid] = (state.sent[p.scanUid] ?? 0) + 1
      return { kind: 'sent' }
    } catch (err) {
      // An expired link is the batch's fault, not the photo's: a fresh batch next time.
      if (err instanceof PhotoRefused && err.status !== 410) return { kind: 'refused', reason: err.message }
      if (err instanceof PhotoRefused) batch = null
      return { kind: 'unreached' }
    } finally {
      release()
      state.busy.delete(p.key)
    }
  }

  async function run(p: WaitingPhoto): Promise<Attempt> {
    const a = await attempt(p)
    await settle(p, afterAttempt(p, a, deps.now()))
    return a
  }

  /**
   * Attaches a photo to the unit `scanUid`: kept on the device first, then sent at once when the unit is
   * on the service; otherwise it waits (and `pump` sends it later).
   */
  async function attach(
    scanUid: string, onService: number, file: Blob & { type: string; size: number }, where: { accountId: string; sessionId: number },
  ): Promise<AttachOutcome> {
    const problem = checkPhoto(countFor(scanUid, onService), file)
    if (problem) return { kind: 'refused', text: problem }
    // What the service counted so far; each photo that arrives adds one.
    state.sent[scanUid] = Math.max(onService, state.sent[scanUid] ?? 0)
    const scaled = await scaledPhoto(file)
    const photo: WaitingPhoto = {
      key: deps.uid(), ...where, scanUid, bytes: scaled.bytes, type: scaled.type, addedAt: deps.now(), attempts: 0, lastAttemptAt: 0,
    }
    state.waiting = [...state.waiting, photo]
    const db = await store()
    let durable = false
    try {
      if (db) {
        await db.put(photo)
        durable = true
      }
    } catch (e) {
      deps.log(`[инвентаризация] фото не сохранилось в базе устройства: ${errorText(e)}`)
    }
    if (unitWaiting(scanUid)) return { kind: 'waiting', durable }
    const a = await run(photo)
    if (a.kind === 'sent') return a
    if (a.kind === 'refused') return { kind: 'refused', text: a.reason }
    return { kind: 'waiting', durable }
  }

  /** Reads the account's waiting photos from the device database (once per account). */
  async function load(accountId: string): Promise<void> {
    if (loadedFor === accountId) return
    loadedFor = accountId
    const db = await store()
    const stored = db ? await db.all(accountId).catch(() => [] as WaitingPhoto[]) : []
    const known = new Set(state.waiting.map((p) => p.key))
    state.waiting = [...state.waiting.filter((p) => p.accountId === accountId), ...stored.filter((p) => !known.has(p.key))]
  }

  let pumping: Promise<void> | null = null
  /** Sends the waiting photos that are due (all but refused ones when `forced`: the connection is back); one round at a time. */
  function pump(forced = false): Promise<void> {
    pumping ??= (async () => {
      const due = photosDue(state.waiting, { nowMs: forced ? Number.MAX_SAFE_INTEGER : deps.now(), unitWaiting, busy: state.busy })
      for (const p of due) {
        // No connection: the rest waits for the next round.
        if ((await run(p)).kind === 'unreached') break
      }
    })().finally(() => {
      pumping = null
    })
    return pumping
  }

  /** A refused photo dropped from the device. */
  const drop = (key: string) => {
    const p = state.waiting.find((x) => x.key === key)
    return p ? settle(p, null) : Promise.resolve()
  }

  /** What this device counted for a unit is dropped: the service's count holds from now on. */
  function forget(scanUid: string) {
    delete state.sent[scanUid]
  }

  return { state, attach, countFor, forget, load, pump, drop }
}

export type PhotoUploads = ReturnType<typeof createPhotoUploads>
