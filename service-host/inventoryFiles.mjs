// The inventory's HTTP routes: "POST /inventory/upload/<batch>" takes one
// photo (a multipart form with `file`, `fileId` and `fileRef`, the scan uid of
// the unit) and "GET /inventory/files/…", "GET /inventory/photos/<id>" answer
// exports, photo archives and photos.
import { acceptInventoryPhoto, inventoryDownload } from '../ui/demo/index.ts'
import { readBody, readForm, sendFile, sendJson } from './httpUtil.mjs'

const UPLOAD = /^\/inventory\/upload\/([A-Za-z0-9-]+)$/
const TOO_BIG = 'Снимок слишком большой — попробуйте другой'
// The form around a photo of the largest accepted size.
const BODY_LIMIT = 31 * 1024 * 1024

/**
 * Answers an inventory route; false when the path is none of them.
 * @param {import('../ui/demo/index.ts').MemoryBackend} backend
 * @param {import('node:http').IncomingMessage} req
 * @param {import('node:http').ServerResponse} res
 * @param {URL} url
 */
export function serveInventoryFile(backend, req, res, url) {
  if (!url.pathname.startsWith('/inventory/')) return false
  const upload = req.method === 'POST' ? UPLOAD.exec(url.pathname) : null
  if (upload) void receivePhoto(backend, upload[1] ?? '', req, res)
  else if (req.method === 'GET') void sendDownload(backend, url.pathname, res)
  else return false
  return true
}

/**
 * @param {import('../ui/demo/index.ts').MemoryBackend} backend
 * @param {string} path
 * @param {import('node:http').ServerResponse} res
 */
async function sendDownload(backend, path, res) {
  const file = await inventoryDownload(backend, path)
  if (!file) return sendJson(res, 404, { error: 'not found' })
  sendFile(res, file.fileName, file.contentType, file.bytes)
}

/**
 * @param {import('../ui/demo/index.ts').MemoryBackend} backend
 * @param {string} token
 * @param {import('node:http').IncomingMessage} req
 * @param {import('node:http').ServerResponse} res
 */
async function receivePhoto(backend, token, req, res) {
  let form
  try {
    form = await readForm(await readBody(req, BODY_LIMIT, TOO_BIG), req)
  } catch (err) {
    const tooBig = err instanceof Error && err.message === TOO_BIG
    return sendJson(res, tooBig ? 413 : 400, { ok: false, error: tooBig ? TOO_BIG : 'Нужна форма с полями file и fileId' })
  }
  const file = form.get('file')
  const fileId = form.get('fileId')
  const fileRef = form.get('fileRef')
  if (!file || typeof file === 'string' || typeof fileId !== 'string') return sendJson(res, 400, { ok: false, error: 'Нужна форма с полями file и fileId' })
  const bytes = new Uint8Array(await file.arrayBuffer())
  const { status, body } = acceptInventoryPhoto(backend, token, { fileId, fileRef: typeof fileRef === 'string' ? fileRef : '', type: file.type, bytes, fileName: file.name })
  sendJson(res, status, body)
}
