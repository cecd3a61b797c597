/**
 * Draws the first page of a PDF onto a canvas with pdf.js, for browser
 * controls without a PDF viewer of their own. The library and its worker
 * are part of the app's assets and load on first use: no network.
 */
import workerUrl from 'pdfjs-dist/build/pdf.worker.min.mjs?url'

type PdfJs = typeof import('pdfjs-dist')

let library: Promise<PdfJs> | undefined

function loadPdfJs(): Promise<PdfJs> {
  library ??= import('pdfjs-dist').then((pdfjs) => {
    pdfjs.GlobalWorkerOptions.workerSrc = workerUrl
    return pdfjs
  })
  // A failed load may be tried again by the next preview.
  library.catch(() => (library = undefined))
  return library
}

/** The page's size as drawn, in CSS pixels. */
export interface DrawnPage {
  width: number
  height: number
}

/** How a preview draws a PDF; tests without a canvas give their own. */
export type PdfPageDrawer = (bytes: Uint8Array, canvas: HTMLCanvasElement, box: { width: number; height: number }) => Promise<DrawnPage>

/** Draws page 1 scaled to fit `box` (CSS pixels), sharp on high-density screens. */
export const drawFirstPdfPage: PdfPageDrawer = async (bytes, canvas, box) => {
  const pdfjs = await loadPdfJs()
  // pdf.js takes the buffer over; give it a copy.
  const doc = await pdfjs.getDocument({ data: bytes.slice(), isEvalSupported: false }).promise
  try {
    const page = await doc.getPage(1)
    const natural = page.getViewport({ scale: 1 })
    const scale = Math.max(0.05, Math.min(box.width / natural.width, box.height / natural.height))
    const density = window.devicePixelRatio || 1
    const viewport = page.getViewport({ scale: scale * density })
    canvas.width = Math.max(1, Math.floor(viewport.width))
    canvas.height = Math.max(1, Math.floor(viewport.height))
    const drawn = { width: viewport.width / density, height: viewport.height / density }
    canvas.style.width = `${drawn.width}px`
    canvas.style.height = `${drawn.height}px`
    await page.render({ canvas, viewport }).promise
    return drawn
  } finally {
    await doc.destroy()
  }
}
