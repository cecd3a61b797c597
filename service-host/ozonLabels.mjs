// The Ozon label files of the stand-in's file host, drawn with pdfkit: the
// posting label (75 × 120 mm: the posting number as Code 128 and in large
// type, the shop and the goods count) and the product label (58 × 40 mm: the
// goods' EAN-13 and name). A link to a posting it does not know answers 404.
import { findOzonPosting } from '../ui/demo/index.ts'
import { answerPdf, labelPdf, linearBars, WB_LABEL_MM } from './wildberriesLabels.mjs'

const MM = 72 / 25.4
export const OZON_LABEL_MM = { width: 75, height: 120 }

const POSTING = /^\/labels\/ozon\/posting-(\d{6,14}-\d{4}-\d{1,2})\.pdf$/
const PRODUCT = /^\/labels\/ozon\/product-(\d{13})\.pdf$/

export function ozonPostingPdf(posting) {
  return labelPdf(
    `Ozon posting ${posting.postingNumber}`,
    (doc, w, h) => {
      const m = 4 * MM
      doc.font('Helvetica-Bold').fontSize(22).text('OZON', m, m, { width: w - 2 * m, align: 'left', lineBreak: false })
      doc.font('Helvetica').fontSize(9).text(`FBS · ${posting.clientId}`, m, m + 6, { width: w - 2 * m, align: 'right', lineBreak: false })
      linearBars(doc, 'code128', posting.postingNumber, m, h * 0.22, w - 2 * m, h * 0.3)
      doc.font('Helvetica-Bold').fontSize(18).text(posting.postingNumber, m, h * 0.56, { width: w - 2 * m, align: 'center', lineBreak: false })
      doc.rect(m, h * 0.68, w - 2 * m, 0.8).fill('black')
      doc.font('Helvetica').fontSize(10).text('Posting label, stand-in', m, h * 0.72, { width: w - 2 * m, align: 'center' })
    },
    OZON_LABEL_MM,
  )
}

export function ozonProductPdf(barcode, name) {
  return labelPdf(
    `Ozon product ${barcode}`,
    (doc, w, h) => {
      const m = 3 * MM
      doc.font('Helvetica').fontSize(7).text(name || '-', m, m, { width: w - 2 * m, align: 'center', height: 18, ellipsis: true })
      linearBars(doc, 'ean13', barcode, m + 3 * MM, h * 0.32, w - 2 * m - 6 * MM, h * 0.4)
      doc.font('Helvetica').fontSize(9).text(barcode, m, h * 0.76, { width: w - 2 * m, align: 'center', lineBreak: false })
    },
    WB_LABEL_MM,
  )
}

/**
 * Answers an Ozon label request; false when the path is not one.
 * @param {import('node:http').IncomingMessage} req
 * @param {import('node:http').ServerResponse} res
 * @param {URL} url
 * @param {import('../ui/demo/index.ts').MemoryBackend} backend
 */
export function serveOzonLabel(req, res, url, backend) {
  if (req.method !== 'GET' || !url.pathname.startsWith('/labels/ozon/')) return false
  let made
  const posting = POSTING.exec(url.pathname)
  const product = PRODUCT.exec(url.pathname)
  if (posting) {
    const found = findOzonPosting(backend, posting[1])
    made = found ? ozonPostingPdf(found) : undefined
  } else if (product) {
    try {
      made = ozonProductPdf(product[1], url.searchParams.get('name') ?? '')
    } catch {
      // bwip-js refuses an EAN-13 whose check digit is wrong: there is no such label
      made = undefined
    }
  }
  answerPdf(res, made)
  return true
}
