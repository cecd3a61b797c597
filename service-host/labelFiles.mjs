// The stand-in's label file host: GET "/labels/sample-<W>x<H>.pdf" answers a
// one-page shipping label PDF of W × H millimetres (10..400), drawn here, so
// label printing by link works without the maker's file hosts. Its Code 128
// carries "LBL-<W>x<H>" and scans like a real label's.
import bwipjs from 'bwip-js/generic'

const MM = 72 / 25.4
const SAMPLE = /^\/labels\/sample-(\d{2,3})x(\d{2,3})\.pdf$/
/** Light modules a scanner needs on each side of a Code 128. */
const QUIET_MODULES = 10

/** What the sample label of `widthMm` × `heightMm` carries in its barcode. */
export function sampleLabelCode(widthMm, heightMm) {
  return `LBL-${widthMm}x${heightMm}`
}

/**
 * Bar rectangles ("x y w h re f") of a Code 128 of `text` filling `width`
 * points from `left` with its quiet zones, between `bottom` and `top`.
 */
function code128Bars(text, left, width, bottom, top) {
  const [symbol] = bwipjs.raw('code128', text, {})
  const widths = symbol.sbs
  const modules = widths.reduce((sum, w) => sum + w, 0)
  const module = width / (modules + 2 * QUIET_MODULES)
  const n = (v) => v.toFixed(3)
  let out = ''
  let x = left + QUIET_MODULES * module
  // The widths run bar, space, bar, … in modules.
  widths.forEach((w, i) => {
    if (i % 2 === 0) out += `${n(x)} ${n(bottom)} ${n(w * module)} ${n(top - bottom)} re f\n`
    x += w * module
  })
  return out
}

/** A label PDF of `widthMm` × `heightMm`: a frame, a caption, a Code 128 and its text. */
export function sampleLabelPdf(widthMm, heightMm) {
  const w = widthMm * MM
  const h = heightMm * MM
  const n = (v) => v.toFixed(2)
  const m = Math.min(3 * MM, w / 10, h / 10)
  const code = sampleLabelCode(widthMm, heightMm)
  const size = Math.max(5, Math.min(14, h * 0.08))
  let content = `0 g\n1.5 w\n${n(m)} ${n(m)} ${n(w - 2 * m)} ${n(h - 2 * m)} re S\n`
  content += code128Bars(code, 2 * m, w - 4 * m, h * 0.3, h * 0.62)
  content += `BT /F1 ${n(size)} Tf ${n(2 * m)} ${n(h * 0.72)} Td (ZORVIK SAMPLE ${widthMm}x${heightMm}) Tj ET\n`
  content += `BT /F1 ${n(size)} Tf ${n(2 * m)} ${n(h * 0.3 - size * 1.2)} Td (${code}) Tj ET\n`
  const objects = [
    '<< /Type /Catalog /Pages 2 0 R >>',
    '<< /Type /Pages /Kids [3 0 R] /Count 1 >>',
    `<< /Type /Page /Parent 2 0 R /MediaBox [0 0 ${n(w)} ${n(h)}] /Resources << /Font << /F1 4 0 R >> >> /Contents 5 0 R >>`,
    '<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>',
    `<< /Length ${content.length} >>\nstream\n${content}endstream`,
  ]
  let out = '%PDF-1.4\n'
  const offsets = []
  objects.forEach((body, i) => {
    offsets.push(out.length)
    out += `${i + 1} 0 obj\n${body}\nendobj\n`
  })
  const xref = out.length
  out += `xref\n0 ${objects.length + 1}\n0000000000 65535 f \n`
  for (const o of offsets) out += `${String(o).padStart(10, '0')} 00000 n \n`
  out += `trailer\n<< /Size ${objects.length + 1} /Root 1 0 R >>\nstartxref\n${xref}\n%%EOF\n`
  return Buffer.from(out, 'latin1')
}

/**
 * Answers a label request; false when the path is not a label file.
 * @param {import('node:http').IncomingMessage} req
 * @param {import('node:http').ServerResponse} res
 * @param {URL} url
 */
export function serveLabelFile(req, res, url) {
  if (req.method !== 'GET' || !url.pathname.startsWith('/labels/')) return false
  const match = SAMPLE.exec(url.pathname)
  const w = Number(match?.[1])
  const h = Number(match?.[2])
  if (!match || w < 10 || w > 400 || h < 10 || h > 400) {
    res.writeHead(404, { 'Content-Type': 'text/plain; charset=utf-8' }).end('label not found')
    return true
  }
  const pdf = sampleLabelPdf(w, h)
  res.writeHead(200, { 'Content-Type': 'application/pdf', 'Content-Length': pdf.length, 'Cache-Control': 'no-store' })
  res.end(pdf)
  return true
}
