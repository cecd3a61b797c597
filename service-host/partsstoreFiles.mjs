// The parts store's HTTP routes: "POST /upload/<token>" takes an import file
// (a multipart form with one field `file`) and "GET /exports/<id>.xlsx"
// answers an export made by `radioExport` as a workbook.
import { acceptPartsUpload, partsExportFile } from '../ui/demo/index.ts'
import { sendJson } from './httpUtil.mjs'

const UPLOAD = /^\/upload\/([^/]+)$/
const EXPORT = /^\/exports\/([A-Za-z0-9-]+)\.xlsx$/
const BODY_LIMIT = 12 * 1024 * 1024

/** @param {import('node:http').IncomingMessage} req */
async function readBody(req) {
  const chunks = []
  let size = 0
  for await (const chunk of req) {
    size += chunk.length
    if (size > BODY_LIMIT) throw new Error('Файл больше 10 МБ')
    chunks.push(chunk)
  }
  return Buffer.concat(chunks)
}

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
  const bytes = Buffer.from(tableToXlsx(file.rows, 'Товары'))
  res.writeHead(200, {
    'Content-Type': 'application/vnd.openxmlformats-officedocument.spreadsheetml.sheet',
    'Content-Length': bytes.length,
    'Content-Disposition': `attachment; filename*=UTF-8''${encodeURIComponent(file.fileName)}`,
    'Cache-Control': 'no-store',
  })
  res.end(bytes)
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
    const body = await readBody(req)
    // Node's own fetch implementation reads the multipart form.
    form = await new Response(body, { headers: { 'content-type': String(req.headers['content-type'] ?? '') } }).formData()
  } catch (err) {
    return sendJson(res, 400, { ok: false, error: err instanceof Error && err.message.startsWith('Файл') ? err.message : 'Нужна форма с полем file' })
  }
  const file = form.get('file')
  if (!file || typeof file === 'string') return sendJson(res, 400, { ok: false, error: 'Нужна форма с полем file' })
  const reply = acceptPartsUpload(backend, token, file.name, new Uint8Array(await file.arrayBuffer()))
  sendJson(res, reply.ok === true ? 200 : 400, reply)
}
