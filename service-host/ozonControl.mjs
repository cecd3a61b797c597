// Test-mode control routes for the Ozon seller of the stand-in: rate limits
// with retryAfter, a stale posting list, a new posting (with a label that is
// not ready for some requests, or pending until announced), Ozon moving a
// posting on (or cancelling it), the label announced with labelReady.push, a
// shop printer named in label answers, and a look at the seller's state.
import { addOzonPosting, announceOzonLabel, limitOzon, ozonPosting, ozonState, setOzonShopPrinter } from '../ui/demo/index.ts'

/** @param {import('../ui/demo/index.ts').MemoryBackend} backend */
export function ozonRoutes(backend) {
  const account = (/** @type {Record<string, any>} */ b) => {
    if (typeof b.accountId !== 'string' || !b.accountId) throw new Error('accountId is required')
    return b.accountId
  }
  const number = (/** @type {Record<string, any>} */ b) => {
    if (typeof b.postingNumber !== 'string' || !b.postingNumber) throw new Error('postingNumber is required')
    return b.postingNumber
  }
  return {
    // {accountId, commands?: string[], retryAfter?, times?}: the next answers of those commands (all when absent) are rate-limited
    'POST /ozon/rate-limit': (/** @type {Record<string, any>} */ b) => {
      limitOzon(backend, account(b), { commands: Array.isArray(b.commands) ? b.commands.map(String) : [], retryAfter: b.retryAfter, times: b.times })
      return { ok: true }
    },
    // {accountId, stale}: the posting list answers stale (the server keeps its last list) or fresh again
    'POST /ozon/stale': (/** @type {Record<string, any>} */ b) => {
      ozonState(backend, account(b)).stale = b.stale !== false
      return { ok: true }
    },
    // {accountId, clientId?, status?, notReady?, pending?}: a new FBS posting and its shipment document
    'POST /ozon/posting': (/** @type {Record<string, any>} */ b) => {
      const posting = addOzonPosting(backend, account(b), { clientId: b.clientId, status: b.status, notReady: b.notReady, pending: b.pending })
      return { posting }
    },
    // {accountId, postingNumber, status?, notReady?, pending?}: Ozon moves the posting on, or its label changes
    'POST /ozon/posting-change': (/** @type {Record<string, any>} */ b) => {
      const posting = ozonPosting(backend, account(b), number(b))
      if (typeof b.status === 'string' && b.status) posting.status = b.status
      if (b.notReady !== undefined) posting.notReady = Math.max(0, Math.floor(Number(b.notReady) || 0))
      if (typeof b.pending === 'boolean') posting.pending = b.pending
      return { posting }
    },
    // {accountId, postingNumber}: the pending label is ready; the account's devices get labelReady.push
    'POST /ozon/label-ready': (/** @type {Record<string, any>} */ b) => ({ delivered: announceOzonLabel(backend, account(b), number(b)) }),
    // {accountId, clientId, printerId?, printerLabel?}: label answers of the shop name this registered printer (none when absent)
    'POST /ozon/shop-printer': (/** @type {Record<string, any>} */ b) => {
      setOzonShopPrinter(backend, account(b), String(b.clientId ?? ''), typeof b.printerId === 'string' ? b.printerId : '', typeof b.printerLabel === 'string' ? b.printerLabel : '')
      return { ok: true }
    },
    // ?accountId=: the seller's shops (without keys) and postings as they are now
    'GET /ozon/state': (/** @type {unknown} */ _b, /** @type {URLSearchParams} */ q) => {
      const s = ozonState(backend, account({ accountId: q.get('accountId') }))
      return { shops: s.shops.map(({ apiKey: _k, ...shop }) => shop), postings: s.postings, stale: s.stale }
    },
  }
}
