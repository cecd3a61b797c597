/**
 * Sends an import file to the service outside the channel: a multipart POST
 * with one field `file` to "/upload/<token>", through the host's HTTP
 * facility first and the page's own request when that fails.
 */
import { errorText, invokePlugin, isDesktopHost } from '../core/bridge'

export interface UploadReply {
  uploadId: string
  size: number
  kind: string
}

export interface UploadDeps {
  inHost: () => boolean
  invokePlugin: <T>(service: string, command: string, args?: Record<string, unknown>) => Promise<T>
  fetch: typeof fetch
  log: (line: string) => void
}

export const defaultUploadDeps: UploadDeps = {
  inHost: isDesktopHost,
  invokePlugin,
  fetch: (...a) => fetch(...a),
  log: (line) => console.warn(line),
}

const UPLOAD_TIMEOUT_MS = 120_000

export type FormField = { name: string; value: string } | { name: string; fileName: string; bytes: Uint8Array; type?: string }

/** A multipart body of text fields and files. */
export function multipartForm(fields: readonly FormField[], boundary: string): Uint8Array {
  const enc = new TextEncoder()
  const parts: Uint8Array[] = []
  for (const f of fields) {
    if ('value' in f) {
      parts.push(enc.encode(`--${boundary}\r\nContent-Disposition: form-data; name="${f.name}"\r\n\r\n${f.value}\r\n`))
      continue
    }
    const safeName = f.fileName.replace(/["\r\n]/g, '_')
    parts.push(enc.encode(`--${boundary}\r\nContent-Disposition: form-data; name="${f.name}"; filename="${safeName}"\r\nContent-Type: ${f.type ?? 'application/octet-stream'}\r\n\r\n`))
    parts.push(f.bytes, enc.encode('\r\n'))
  }
  parts.push(enc.encode(`--${boundary}--\r\n`))
  const out = new Uint8Array(parts.reduce((n, p) => n + p.length, 0))
  let at = 0
  for (const p of parts) {
    out.set(p, at)
    at += p.length
  }
  return out
}

/** The multipart body of one file field. */
export function multipartBody(fileName: string, bytes: Uint8Array, boundary: string): Uint8Array {
  return multipartForm([{ name: 'file', fileName, bytes }], boundary)
}

/** The upload's answer judged: the reply, or the error to show. */
export function readUploadReply(status: number, body: string): UploadReply {
  let json: unknown
  try {
    json = JSON.parse(body)
  } catch {
    json = undefined
  }
  const o = typeof json === 'object' && json !== null ? (json as Record<string, unknown>) : {}
  if (o.ok === true && typeof o.uploadId === 'string' && o.uploadId !== '') {
    return { uploadId: o.uploadId, size: typeof o.size === 'number' ? o.size : 0, kind: typeof o.kind === 'string' ? o.kind : '' }
  }
  if (typeof o.error === 'string' && o.error !== '') throw new UploadRefused(o.error)
  throw new UploadRefused(`Сервер ответил ${status} при загрузке файла`)
}

/** The service answered the upload, and not with a success: no second attempt. */
export class UploadRefused extends Error {}

function replyBytes(reply: unknown): Uint8Array {
  if (reply instanceof Uint8Array) return reply
  if (reply instanceof ArrayBuffer) return new Uint8Array(reply)
  if (Array.isArray(reply)) return Uint8Array.from(reply as number[])
  return new Uint8Array(0)
}

/** A multipart POST through the host's HTTP facility: the status and the reply's text. */
export async function throughHost(url: string, body: Uint8Array, boundary: string, deps: UploadDeps): Promise<{ status: number; text: string }> {
  const rid = await deps.invokePlugin<number>('http', 'fetch', {
    method: 'POST',
    url,
    headers: [['Content-Type', `multipart/form-data; boundary=${boundary}`]],
    body: Array.from(body),
    connectTimeout: 15_000,
    timeout: UPLOAD_TIMEOUT_MS,
  })
  const head = await deps.invokePlugin<{ status: number; rid?: number }>('http', 'fetch_send', { rid })
  const bodyRid = head.rid ?? rid
  const parts: Uint8Array[] = []
  for (;;) {
    const part = replyBytes(await deps.invokePlugin<unknown>('http', 'fetch_read_body', { rid: bodyRid }))
    if (part.length === 0) break
    parts.push(part)
  }
  const all = new Uint8Array(parts.reduce((s, p) => s + p.length, 0))
  let at = 0
  for (const p of parts) {
    all.set(p, at)
    at += p.length
  }
  return { status: head.status, text: new TextDecoder().decode(all) }
}

/** Uploads `bytes` as `fileName` to `<base>/upload/<token>`. */
export async function uploadImportFile(base: string, token: string, fileName: string, bytes: Uint8Array, deps: UploadDeps = defaultUploadDeps): Promise<UploadReply> {
  const url = `${base.replace(/\/+$/, '')}/upload/${encodeURIComponent(token)}`
  if (deps.inHost()) {
    const boundary = `----zorvik${Math.random().toString(16).slice(2)}${Date.now().toString(16)}`
    try {
      const r = await throughHost(url, multipartBody(fileName, bytes, boundary), boundary, deps)
      return readUploadReply(r.status, r.text)
    } catch (err) {
      if (err instanceof UploadRefused) throw err
      deps.log(`[импорт] загрузка через приложение не удалась, пробуем напрямую: ${errorText(err)}`)
    }
  }
  const form = new FormData()
  form.append('file', new Blob([bytes as BlobPart]), fileName)
  let res: Response
  try {
    res = await deps.fetch(url, { method: 'POST', body: form })
  } catch (err) {
    throw new Error(`Не удалось загрузить файл: ${errorText(err)}`)
  }
  return readUploadReply(res.status, await res.text())
}
