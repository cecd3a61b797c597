// Parts-store labels printed on the account's registered desktop printer: each `radioLabelsPrint` job becomes a
// PDF served here, relayed as a print command to the registered desktop, and answered once that desktop reports.
import { randomBytes } from 'node:crypto'
import { printerDescription, registeredPrinter, relayJobs, relayLabel, setPartsLabelPrinter } from '../ui/demo/index.ts'

const KEEP_FILES = 200
const RESULT_WAIT_MS = 160_000
const POLL_MS = 200

/**
 * @param {import('../ui/demo/index.ts').MemoryBackend} backend
 * @param {string} origin the stand-in's own address, which the desktop fetches the PDF from
 * @returns {(req: import('node:http').IncomingMessage, res: import('node:http').ServerResponse, url: URL) => boolean}
 */
export function relayPartsLabels(backend, origin) {
  /** @type {Map<string, Buffer>} */
  const files = new Map()
  setPartsLabelPrinter(backend, async (job, ctx) => {
    // The PDF maker loads with its first use, not with the service.
    const { partsLabelsPdf } = await import('./partsLabels.mjs')
    const pdf = await partsLabelsPdf(job)
    const accountId = job.accountId
    const id = randomBytes(8).toString('hex')
    files.set(id, pdf)
    while (files.size > KEEP_FILES) files.delete(/** @type {string} */ (files.keys().next().value))
    const documentId = `parts-${id}`
    // One PDF holds every label and copy: the desktop prints it once.
    const refusal = relayLabel(ctx, 'radioLabelsRelay', { labelUrl: `${origin}/parts-labels/${id}.pdf`, documentId, copies: 1 })
    if (refusal) throw new Error(String(refusal.message || refusal.error || 'принтер не ответил'))
    const relayed = relayJobs(backend).find((j) => j.documentId === documentId)
    if (!relayed) throw new Error('задание печати не создано')
    const until = Date.now() + RESULT_WAIT_MS
    while (relayed.results.length === 0) {
      if (Date.now() > until) throw new Error('Компьютер с принтером не ответил за 160 секунд')
      await new Promise((r) => setTimeout(r, POLL_MS))
    }
    const outcome = relayed.results[relayed.results.length - 1]
    if (outcome.ok !== true) throw new Error(String(outcome.error || 'печать не удалась'))
    const printer = registeredPrinter(backend, accountId)
    return { printedOn: printer ? printerDescription(printer) : '' }
  })
  return (req, res, url) => {
    const m = /^\/parts-labels\/([0-9a-f]{16})\.pdf$/.exec(url.pathname)
    if (req.method !== 'GET' || !m) return false
    const pdf = files.get(m[1])
    if (!pdf) {
      res.writeHead(404, { 'Content-Type': 'text/plain; charset=utf-8' }).end('нет такой этикетки')
      return true
    }
    res.writeHead(200, { 'Content-Type': 'application/pdf', 'Content-Length': pdf.length }).end(pdf)
    return true
  }
}
