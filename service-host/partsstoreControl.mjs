// Test-mode control routes of the parts store: what an account's store holds
// (to compare with an imported or exported file), and a stand-in label
// printer that keeps the PDFs instead of sending them on.
import { partsStoreOf } from '../ui/demo/index.ts'

/** Pages of a PDF written by the label maker. */
export function pdfPageCount(/** @type {Buffer} */ pdf) {
  return (pdf.toString('latin1').match(/\/Type \/Page\b(?!s)/g) ?? []).length
}

/** @param {import('../ui/demo/index.ts').MemoryBackend} backend */
export function partsStoreRoutes(backend) {
  /** @type {Array<{ accountId: string, size: string, copies: number, codes: string[], pages: number, bytes: number }>} */
  const captured = []
  const account = (/** @type {string | null} */ id) => {
    if (!id) throw new Error('accountId is required')
    return id
  }
  return {
    // ?accountId=: the store as rows {zone, path, cellBarcode, product, productBarcode, quantity} and the zone trees
    'GET /partsstore': (/** @type {unknown} */ _b, /** @type {URLSearchParams} */ q) => {
      const s = partsStoreOf(backend, account(q.get('accountId')))
      const pathOf = (/** @type {number} */ id) => {
        const out = []
        for (let c = s.cells.get(id); c; c = c.parentId === null ? undefined : s.cells.get(c.parentId)) out.unshift(c.name)
        return out.join('/')
      }
      const rows = []
      for (const [cellId, m] of s.stock) {
        const c = s.cells.get(cellId)
        if (!c) continue
        for (const [productId, quantity] of m) {
          const p = s.products.get(productId)
          rows.push({ zone: s.zones.find((z) => z.id === c.zoneId)?.name ?? '', path: pathOf(cellId), cellBarcode: c.barcode, product: p?.name, productBarcode: p?.internalBarcode, quantity })
        }
      }
      return { zones: s.zones.length, cells: s.cells.size, products: s.products.size, history: s.history.length, rows }
    },
    // {printedOn?, fail?}: labels are kept here (GET /partsstore/labels) instead of printed; `fail` refuses every job
    'POST /partsstore/label-capture': async (/** @type {Record<string, any>} */ b) => {
      // The PDF maker loads with its first use, not with the service.
      const { installPartsLabels } = await import('./partsLabels.mjs')
      captured.splice(0)
      installPartsLabels(backend, async (accountId, pdf, job) => {
        if (b.fail) throw new Error(String(b.fail))
        captured.push({ accountId, size: job.size, copies: job.copies, codes: job.labels.map((l) => l.code), pages: pdfPageCount(pdf), bytes: pdf.length })
        return { printedOn: String(b.printedOn ?? 'Этикетки (стенд)') }
      })
      return { ok: true }
    },
    'GET /partsstore/labels': () => ({ jobs: captured }),
  }
}
