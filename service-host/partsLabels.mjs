// Label PDFs of the parts store: one page per label and copy, W × H mm
// ("42x24" or "58x40"), with the cell's or product's name, a Code 128 of its
// barcode and the code as text. The stand-in sends them to the account's
// registered printer through the function given to `installPartsLabels`.
import bwipjs from 'bwip-js/generic'
import PDFDocument from 'pdfkit'
import { setPartsLabelPrinter } from '../ui/demo/index.ts'

const MM = 72 / 25.4
const FONT = '/usr/share/fonts/truetype/paratype/PTS55F.ttf'
const FONT_BOLD = '/usr/share/fonts/truetype/paratype/PTS75F.ttf'
const QUIET_MODULES = 10

/** @param {'42x24' | '58x40'} size */
export function labelPageSize(size) {
  return size === '42x24' ? { w: 42, h: 24 } : { w: 58, h: 40 }
}

/**
 * Draws the bars of a Code 128 of `text` across `width` points from `left`, between `top` and `top + height`.
 * @param {PDFKit.PDFDocument} doc
 */
function code128(doc, text, left, width, top, height) {
  const [symbol] = bwipjs.raw('code128', text, {})
  const widths = /** @type {number[]} */ (symbol.sbs)
  const modules = widths.reduce((sum, w) => sum + w, 0)
  const module = width / (modules + 2 * QUIET_MODULES)
  let x = left + QUIET_MODULES * module
  widths.forEach((w, i) => {
    if (i % 2 === 0) doc.rect(x, top, w * module, height)
    x += w * module
  })
  doc.fill('black')
}

/**
 * The PDF of a job: each label `copies` times in a row.
 * @param {{ size: '42x24' | '58x40', copies: number, labels: Array<{ code: string, title: string, subtitle: string }> }} job
 * @returns {Promise<Buffer>}
 */
export function partsLabelsPdf(job) {
  const { w, h } = labelPageSize(job.size)
  const doc = new PDFDocument({ size: [w * MM, h * MM], margin: 0, autoFirstPage: false, info: { Title: 'Этикетки склада деталей' } })
  doc.registerFont('text', FONT)
  doc.registerFont('bold', FONT_BOLD)
  const chunks = /** @type {Buffer[]} */ ([])
  doc.on('data', (c) => chunks.push(c))
  const done = new Promise((resolve) => doc.on('end', () => resolve(Buffer.concat(chunks))))
  const m = 1.5 * MM
  const width = w * MM - 2 * m
  const small = job.size === '42x24'
  for (const label of job.labels) {
    for (let i = 0; i < job.copies; i++) {
      doc.addPage({ size: [w * MM, h * MM], margin: 0 })
      doc.font('bold').fontSize(small ? 6.5 : 9).text(label.title, m, m, { width, height: small ? 9 : 24, ellipsis: true, lineBreak: !small })
      const barTop = small ? 10 : 28
      const barHeight = h * MM * (small ? 0.4 : 0.4)
      code128(doc, label.code, m, width, barTop, barHeight)
      doc.font('text').fontSize(small ? 6 : 8).text(label.code, m, barTop + barHeight + 1, { width, align: 'center', lineBreak: false })
      if (label.subtitle && !small) doc.fontSize(6.5).text(label.subtitle, m, h * MM - m - 8, { width, height: 8, ellipsis: true, lineBreak: false })
    }
  }
  doc.end()
  return /** @type {Promise<Buffer>} */ (done)
}

/**
 * Lets the backend print parts-store labels: each job becomes one PDF, handed to `send`.
 * @param {import('../ui/demo/index.ts').MemoryBackend} backend
 * @param {(accountId: string, pdf: Buffer, job: import('../ui/demo/index.ts').PartsLabelJob, ctx: import('../ui/demo/index.ts').HandlerContext) => Promise<{ printedOn: string }>} send
 */
export function installPartsLabels(backend, send) {
  setPartsLabelPrinter(backend, async (job, ctx) => send(job.accountId, await partsLabelsPdf(job), job, ctx))
}
