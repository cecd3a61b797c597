/**
 * Unit photos: checked against the local rules, scaled down, and uploaded outside the channel to the
 * address of a batch of photo ids (host's HTTP first, the page's own request second). At most two
 * uploads run at once; an upload that could not reach the service is tried again with the scans'
 * back-off, one the service refused is not.
 */
import { reactive } from 'vue'
import { errorText, invokePlugin, isDesktopHost } from '../core/bridge'
import { serverBaseUrl } from '../core/session'
import { multipartForm, throughHost, type UploadDeps } from '../partsstore/upload'
import type { inventoryCommands } from './commands'
import { checkPhoto } from './photoRules'
import { backoffMs } from './scanQueue'

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
  wait: (ms: number) => Promise<void>
}

const defaultDeps: PhotoUploadDeps = {
  inHost: isDesktopHost,
  invokePlugin,
  fetch: (...a) => fetch(...a),
  log: (line) => console.warn(line),
  base: serverBaseUrl,
  wait: (ms) => new Promise((r) => setTimeout(r, ms)),
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

export function createPhotoUploads(o: { commands: Commands; failureText: (err: unknown) => string; deps?: PhotoUploadDeps }) {
  const deps = o.deps ?? defaultDeps
  let batch: Batch | null = null
  let running = 0
  const waitingJobs: Array<() => void> = []
  /** photos sent or on their way, per scan uid; and the last error per scan uid */
  const state = reactive({ sent: {} as Record<string, number>, busy: {} as Record<string, number>, errors: {} as Record<string, string> })

  async function nextId(): Promise<{ id: string; url: string }> {
    const usable = batch && batch.ids.length > 0 && batch.uploadUrl !== '' && (batch.expiresAt === 0 || batch.expiresAt > Date.now())
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

  /** Photos of a unit, counted with those this device has on their way. */
  const countFor = (scanUid: string, onService: number) => Math.max(onService, state.sent[scanUid] ?? 0) + (state.busy[scanUid] ?? 0)

  /** Attaches a photo to the unit `scanUid`; answers "" once it is on the service, else the error. */
  async function attach(scanUid: string, onService: number, file: Blob & { type: string; size: number }): Promise<string> {
    const problem = checkPhoto(countFor(scanUid, onService), file)
    if (problem) return problem
    state.busy[scanUid] = (state.busy[scanUid] ?? 0) + 1
    delete state.errors[scanUid]
    try {
      const photo = await scaledPhoto(file)
      for (let attempt = 0; ; attempt++) {
        const release = await slot()
        try {
          const { id, url } = await nextId()
          await postPhoto(url, { id, bytes: photo.bytes, type: photo.type, ref: scanUid }, deps)
          state.sent[scanUid] = Math.max(onService, state.sent[scanUid] ?? 0) + 1
          return ''
        } catch (err) {
          if (err instanceof PhotoRefused || attempt >= 5) {
            const text = err instanceof PhotoRefused ? err.message : err instanceof Error && err.message === NO_LINK ? NO_LINK : o.failureText(err)
            state.errors[scanUid] = text
            return text
          }
        } finally {
          release()
        }
        await deps.wait(backoffMs(attempt + 1))
      }
    } finally {
      state.busy[scanUid] = (state.busy[scanUid] ?? 1) - 1
    }
  }

  /** What this device counted for a unit is dropped: the service's count holds from now on. */
  function forget(scanUid: string) {
    delete state.sent[scanUid]
  }

  return { state, attach, countFor, forget }
}
