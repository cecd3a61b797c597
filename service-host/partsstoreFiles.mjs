// The parts store's HTTP routes: "POST /upload/<token>" takes an import file
// (a multipart form with one field `file`) and "GET /exports/<id>.xlsx"
// answers an export made by `radioExport` as a workbook.
import { acceptPartsUpload, partsExportFile } from '../ui/demo/index.ts'
import { readBody, readForm, sendFile, sendJson } from './httpUtil.mjs'

const UPLOAD = /^\/upload\/([^/]+)$/
const EXPORT = /^\/exports\/([A-Za-z0-9-]+)\.xlsx$/
const BODY_LIMIT = 12 * 1024 * 1024

/**
 * Answers a parts-store route; false when the path is none of them.
 * @param {import('../ui/demo/index.ts').MemoryBackend} backend
 * @param {import('node:http').IncomingMessage} req
 * @param {import('node:http').ServerResponse} res
 * @param {URL} url
 */
export function servePartsStoreFile(backend, req, res, url) {
  const upload = req.method === 'POST' ? UPLOAD.exec(url.pathname) : null
  if (upload) {
    void receiveUpload(backend, decodeURIComponent(upload[1] ?? ''), req, res)
    return true
  }
  const exported = req.method === 'GET' ? EXPORT.exec(url.pathname) : null
  if (!exported) return false
  void sendExport(backend, exported[1] ?? '', res)
  return true
}

/**
 * @param {import('../ui/demo/index.ts').MemoryBackend} backend
 * @param {string} id
 * @param {import('node:http').ServerResponse} res
 */
async function sendExport(backend, id, res) {
  const file = partsExportFile(backend, id)
  if (!file) return sendJson(res, 404, { error: 'not found' })
  // The spreadsheet library loads with the first export, not with the service.
  const { tableToXlsx } = await import('../ui/partsstore/spreadsheet.ts')
  sendFile(res, file.fileName, 'application/vnd.openxmlformats-officedocument.spreadsheetml.sheet', Buffer.from(tableToXlsx(file.rows, 'Товары')))
}

/**
 * @param {import('../ui/demo/index.ts').MemoryBackend} backend
 * @param {string} token
 * @param {import('node:http').IncomingMessage} req
 * @param {import('node:http').ServerResponse} res
 */
async function receiveUpload(backend, token, req, res) {
  let form
  try {
    form = await readForm(await readBody(req, BODY_LIMIT, 'Файл больше 10 МБ'), req)
  } catch (err) {
    return sendJson(res, 400, { ok: false, error: err instanceof Error && err.message.startsWith('Файл') ? err.message : 'Нужна форма с полем file' })
  }
  const file = form.get('file')
  if (!file || typeof file === 'string') return sendJson(res, 400, { ok: false, error: 'Нужна форма с полем file' })
  const reply = acceptPartsUpload(backend, token, file.name, new Uint8Array(await file.arrayBuffer()))
  sendJson(res, reply.ok === true ? 200 : 400, reply)
}
