// The Wildberries label files of the stand-in's file host, drawn with pdfkit
// and bwip-js: the task sticker (58 × 40 mm, the task's Code 128 and its two
// numbers), the supply QR code (58 × 40 mm) and the product label (58 × 40 mm,
// the goods' EAN-13 and article). Links come from the label answers of the
// in-memory backend; a link to a task or supply it does not know answers 404.
import bwipjs from 'bwip-js/node'
import PDFDocument from 'pdfkit'
import { findWbSupply, findWbTask } from '../ui/demo/index.ts'

const MM = 72 / 25.4
export const WB_LABEL_MM = { width: 58, height: 40 }

const STICKER = /^\/labels\/wb\/sticker-(\d{1,12})\.pdf$/
const SUPPLY = /^\/labels\/wb\/supply-([A-Za-z0-9-]{1,40})\.pdf$/
const PRODUCT = /^\/labels\/wb\/product-(\d{13})\.pdf$/

/** What the sticker's Code 128 carries for a task: its id, as the marketplace's scanners read it. */
export function stickerCode(taskId) {
  return `*${taskId}`
}

/** Renders a one-page PDF of `size` mm (58 × 40 by default); `draw` gets the document and the page size in points. */
export function labelPdf(title, draw, size = WB_LABEL_MM) {
  const width = size.width * MM
  const height = size.height * MM
  const doc = new PDFDocument({ size: [width, height], margin: 0, info: { Title: title, Producer: 'zorvik stand-in' } })
  const chunks = []
  doc.on('data', (c) => chunks.push(c))
  const done = new Promise((resolve, reject) => {
    doc.on('end', () => resolve(Buffer.concat(chunks)))
    doc.on('error', reject)
  })
  draw(doc, width, height)
  doc.end()
  return done
}

/** A linear barcode (bwip-js bars, widths in modules) filling `w` points from `x`, bars from `y` down `h`. */
export function linearBars(doc, symbol, text, x, y, w, h) {
  const [raw] = bwipjs.raw(symbol, text, {})
  const modules = raw.sbs.reduce((s, v) => s + v, 0)
  const module = w / modules
  let at = x
  raw.sbs.forEach((bw, i) => {
    if (i % 2 === 0) doc.rect(at, y, bw * module, h)
    at += bw * module
  })
  doc.fill('black')
}

/** A QR code of `text` as a `size`-point square at (x, y). */
function qrSquare(doc, text, x, y, size) {
  const [raw] = bwipjs.raw('qrcode', text, { eclevel: 'M' })
  const cell = size / raw.pixx
  for (let row = 0; row < raw.pixy; row++)
    for (let col = 0; col < raw.pixx; col++) if (raw.pixs[row * raw.pixx + col]) doc.rect(x + col * cell, y + row * cell, cell, cell)
  doc.fill('black')
}

export function wbStickerPdf(task) {
  return labelPdf(`WB sticker ${task.id}`, (doc, w, h) => {
    const m = 2.5 * MM
    linearBars(doc, 'code128', stickerCode(task.id), m + 2 * MM, m, w - 2 * m - 4 * MM, h * 0.42)
    doc.font('Helvetica-Bold').fontSize(16).text(task.partA, m, h * 0.55, { width: w * 0.58 - m, align: 'right', lineBreak: false })
    doc.font('Helvetica-Bold').fontSize(22).text(task.partB, w * 0.6, h * 0.53, { width: w * 0.4 - m, align: 'left', lineBreak: false })
    doc.font('Helvetica').fontSize(7).text(`${task.article}  ${task.barcode}`, m, h - m - 8, { width: w - 2 * m, align: 'center', lineBreak: false })
  })
}

export function wbSupplyQrPdf(supply) {
  return labelPdf(`WB supply ${supply.id}`, (doc, w, h) => {
    const m = 2 * MM
    const side = h - 2 * m
    qrSquare(doc, supply.id, m, m, side)
    const left = m + side + 2 * MM
    doc.font('Helvetica-Bold').fontSize(9).text('SUPPLY', left, h * 0.3, { width: w - left - m, lineBreak: false })
    doc.font('Helvetica').fontSize(8).text(supply.id, left, h * 0.3 + 14, { width: w - left - m })
  })
}

export function wbProductLabelPdf(barcode, article) {
  return labelPdf(`WB product ${barcode}`, (doc, w, h) => {
    const m = 3 * MM
    doc.font('Helvetica-Bold').fontSize(9).text(article || '-', m, m, { width: w - 2 * m, align: 'center', lineBreak: false })
    linearBars(doc, 'ean13', barcode, m + 3 * MM, h * 0.3, w - 2 * m - 6 * MM, h * 0.42)
    doc.font('Helvetica').fontSize(9).text(barcode, m, h * 0.76, { width: w - 2 * m, align: 'center', lineBreak: false })
  })
}

function notFound(res) {
  res.writeHead(404, { 'Content-Type': 'text/plain; charset=utf-8' }).end('label not found')
}

/**
 * Answers a Wildberries label request; false when the path is not one.
 * @param {import('node:http').IncomingMessage} req
 * @param {import('node:http').ServerResponse} res
 * @param {URL} url
 * @param {import('../ui/demo/index.ts').MemoryBackend} backend
 */
export function serveWildberriesLabel(req, res, url, backend) {
  if (req.method !== 'GET' || !url.pathname.startsWith('/labels/wb/')) return false
  let made
  const sticker = STICKER.exec(url.pathname)
  const supply = SUPPLY.exec(url.pathname)
  const product = PRODUCT.exec(url.pathname)
  if (sticker) {
    const task = findWbTask(backend, Number(sticker[1]))
    made = task && task.supplyId ? wbStickerPdf(task) : undefined
  } else if (supply) {
    const found = findWbSupply(backend, supply[1])
    made = found ? wbSupplyQrPdf(found) : undefined
  } else if (product) {
    try {
      made = wbProductLabelPdf(product[1], url.searchParams.get('article') ?? '')
    } catch {
      // bwip-js refuses an EAN-13 whose check digit is wrong: there is no such label
      made = undefined
    }
  }
  answerPdf(res, made)
  return true
}

/**
 * Sends a label being drawn, or 404 when there is none.
 * @param {import('node:http').ServerResponse} res
 * @param {Promise<Buffer> | undefined} made
 */
export function answerPdf(res, made) {
  if (!made) return notFound(res)
  made.then(
    (pdf) => {
      res.writeHead(200, { 'Content-Type': 'application/pdf', 'Content-Length': pdf.length, 'Cache-Control': 'no-store' })
      res.end(pdf)
    },
    (err) => res.writeHead(500, { 'Content-Type': 'text/plain; charset=utf-8' }).end(String(err)),
  )
}
