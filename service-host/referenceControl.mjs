// Test-mode control routes for the product reference: a large generated
// catalogue, and products changed or deleted between synchronisation runs.
import { changeProduct, deleteProduct, seedCatalogue } from '../ui/demo/index.ts'

/** @param {import('../ui/demo/index.ts').MemoryBackend} backend */
export function referenceRoutes(backend) {
  const account = (/** @type {Record<string, any>} */ b) => {
    if (typeof b.accountId !== 'string' || !b.accountId) throw new Error('accountId is required')
    return b.accountId
  }
  const product = (/** @type {Record<string, any>} */ b) => {
    if (typeof b.productId !== 'string' || !b.productId) throw new Error('productId is required')
    return b.productId
  }
  const shown = (/** @type {import('../ui/demo/index.ts').DemoProduct} */ p) => ({
    id: p.id,
    name: p.name,
    code: p.code,
    article: p.article,
    barcodes: p.barcodes,
    markable: p.markable,
  })
  return {
    // {accountId, size, sample?}: the account's generated catalogue becomes `size` products; answers the first `sample`
    'POST /seed-catalogue': (/** @type {Record<string, any>} */ b) => {
      const sample = b.sample === undefined ? 5 : Number(b.sample)
      return { products: seedCatalogue(backend, account(b), Number(b.size), sample).map(shown) }
    },
    // {accountId, productId, name?, code?, article?, barcodes?, markable?}: the product changes now
    'POST /product-change': (/** @type {Record<string, any>} */ b) => ({ product: shown(changeProduct(backend, account(b), product(b), b)) }),
    // {accountId, productId}: the product is deleted (refused while a document lists it)
    'POST /product-delete': (/** @type {Record<string, any>} */ b) => {
      deleteProduct(backend, account(b), product(b))
      return { ok: true }
    },
  }
}
