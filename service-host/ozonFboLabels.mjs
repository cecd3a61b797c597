// The Ozon FBO label files of the stand-in's file host, drawn with pdfkit and
// bwip-js: the cargo labels of a supply (75 × 120 mm, one page per cargo
// place: the supply number, the place "n из N", its Code 128 and what it
// holds) and the product labels (58 × 40 mm, one page per content row: the
// goods' EAN-13, name and article). Links come from the label answers of the
// in-memory backend; a supply it does not know, or one without places or
// content, answers 404.
import PDFDocument from 'pdfkit'
import { findFboSupply } from '../ui/demo/index.ts'
import { linearBars, answerPdf } from './wildberriesLabels.mjs'

const MM = 72 / 25.4
const FONT = '/usr/share/fonts/truetype/paratype/PTS55F.ttf'
const FONT_BOLD = '/usr/share/fonts/truetype/paratype/PTS75F.ttf'
export const FBO_CARGO_MM = { width: 75, height: 120 }
export const FBO_PRODUCT_MM = { width: 58, height: 40 }

const CARGO = /^\/labels\/ozon\/fbo\/cargo-(\d{1,15})\.pdf$/
const PRODUCTS = /^\/labels\/ozon\/fbo\/products-(\d{1,15})\.pdf$/

/** What a cargo place's Code 128 carries. */
export function cargoCode(supplyId, key) {
  return `OZ-${supplyId}-${key.toUpperCase()}`
}

/**
 * A PDF of `pages` pages of `size` mm, each drawn by `draw(doc, index, widthPt, heightPt)`.
 * @param {string} title
 * @param {{ width: number, height: number }} size
 * @param {number} pages
 * @param {(doc: PDFKit.PDFDocument, index: number, w: number, h: number) => void} draw
 * @returns {Promise<Buffer>}
 */
function pagesPdf(title, size, pages, draw) {
  const w = size.width * MM
  const h = size.height * MM
  const doc = new PDFDocument({ size: [w, h], margin: 0, autoFirstPage: false, info: { Title: title, Producer: 'zorvik stand-in' } })
  doc.registerFont('text', FONT)
  doc.registerFont('bold', FONT_BOLD)
  /** @type {Buffer[]} */
  const chunks = []
  doc.on('data', (c) => chunks.push(c))
  const done = new Promise((resolve, reject) => {
    doc.on('end', () => resolve(Buffer.concat(chunks)))
    doc.on('error', reject)
  })
  for (let i = 0; i < pages; i++) {
    doc.addPage({ size: [w, h], margin: 0 })
    draw(doc, i, w, h)
  }
  doc.end()
  return /** @type {Promise<Buffer>} */ (done)
}

/** @param {import('../ui/demo/index.ts').FboSupplyRecord} supply */
export function fboCargoLabelsPdf(supply) {
  const places = supply.cargoes
  return pagesPdf(`Ozon FBO cargo ${supply.supplyId}`, FBO_CARGO_MM, places.length, (doc, i, w, h) => {
    const place = places[i]
    const m = 4 * MM
    const width = w - 2 * m
    doc.font('bold').fontSize(14).text('OZON FBO', m, m, { width, align: 'center', lineBreak: false })
    doc.font('text').fontSize(10).text(`Поставка № ${supply.orderNumber}`, m, m + 22, { width, align: 'center', lineBreak: false })
    doc.font('text').fontSize(9).text(supply.warehouse, m, m + 38, { width, align: 'center', lineBreak: false, ellipsis: true })
    doc.font('bold').fontSize(40).text(`${i + 1}/${places.length}`, m, h * 0.2, { width, align: 'center', lineBreak: false })
    doc.font('text').fontSize(10).text(place.type === 'BOX' ? 'Коробка' : 'Палета', m, h * 0.2 + 50, { width, align: 'center', lineBreak: false })
    const code = cargoCode(supply.supplyId, place.key)
    linearBars(doc, 'code128', code, m + 2 * MM, h * 0.42, width - 4 * MM, h * 0.2)
    doc.font('text').fontSize(9).text(code, m, h * 0.63, { width, align: 'center', lineBreak: false })
    const pieces = place.items.reduce((s, it) => s + it.quantity, 0)
    doc.font('text').fontSize(9).text(`Товаров: ${place.items.length}, штук: ${pieces}`, m, h * 0.72, { width, align: 'center', lineBreak: false })
  })
}

/** @param {import('../ui/demo/index.ts').FboSupplyRecord} supply */
export function fboProductLabelsPdf(supply) {
  const items = supply.items
  return pagesPdf(`Ozon FBO products ${supply.supplyId}`, FBO_PRODUCT_MM, items.length, (doc, i, w, h) => {
    const item = items[i]
    const m = 2.5 * MM
    const width = w - 2 * m
    doc.font('bold').fontSize(7).text(item.name, m, m, { width, height: 9, align: 'center', lineBreak: false, ellipsis: true })
    linearBars(doc, /^\d{13}$/.test(item.barcode) ? 'ean13' : 'code128', item.barcode, m + 3 * MM, h * 0.28, width - 6 * MM, h * 0.42)
    doc.font('text').fontSize(7).text(`${item.barcode}  ${item.offerId}`, m, h * 0.76, { width, align: 'center', lineBreak: false })
  })
}

/**
 * Answers an Ozon FBO label request; false when the path is not one.
 * @param {import('node:http').IncomingMessage} req
 * @param {import('node:http').ServerResponse} res
 * @param {URL} url
 * @param {import('../ui/demo/index.ts').MemoryBackend} backend
 */
export function serveOzonFboLabel(req, res, url, backend) {
  if (req.method !== 'GET' || !url.pathname.startsWith('/labels/ozon/fbo/')) return false
  const cargo = CARGO.exec(url.pathname)
  const products = PRODUCTS.exec(url.pathname)
  const supply = findFboSupply(backend, (cargo ?? products)?.[1] ?? '')
  let made
  if (supply && cargo && supply.cargoes.length > 0) made = fboCargoLabelsPdf(supply)
  else if (supply && products && supply.items.length > 0) made = fboProductLabelsPdf(supply)
  answerPdf(res, made)
  return true
}
