// Test-mode control routes for picking: a large document to open (the
// benchmark and the end-to-end tests) and what the stand-in holds of a document now.
import { accountDocuments, seedLargeDocument } from '../ui/demo/index.ts'

/** @param {import('../ui/demo/index.ts').MemoryBackend} backend */
export function pickingRoutes(backend) {
  return {
    // {accountId, size, id?}: a shipment of `size` distinct products; answers its id and number
    'POST /seed-document': (/** @type {Record<string, any>} */ b) => {
      if (typeof b.accountId !== 'string' || !b.accountId) throw new Error('accountId is required')
      const size = Number(b.size)
      if (!Number.isInteger(size) || size < 1 || size > 20_000) throw new Error('size must be 1…20000')
      const doc = seedLargeDocument(backend, b.accountId, size, typeof b.id === 'string' && b.id ? b.id : undefined)
      return { documentId: doc.id, number: doc.number, type: doc.type }
    },
    // ?accountId=…&documentId=…: the document's positions as the stand-in holds them
    'GET /document': (/** @type {unknown} */ _b, /** @type {URLSearchParams} */ q) => {
      const docs = accountDocuments(backend, q.get('accountId') ?? '')
      const doc = docs?.byId.get(q.get('documentId') ?? '')
      if (!docs || !doc) throw new Error('no such document')
      return {
        id: doc.id,
        number: doc.number,
        type: doc.type,
        positions: doc.positions.map((p) => {
          const product = docs.products.get(p.productId)
          return { id: p.productId, quantity: p.quantity, name: product?.name ?? '', barcodes: product?.barcodes ?? [] }
        }),
      }
    },
  }
}
