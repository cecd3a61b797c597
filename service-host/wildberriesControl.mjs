// Test-mode control routes for the Wildberries seller of the stand-in: rate
// limits with retryAfter, a shop that stops answering, a new assembly task, a
// shop printer named in label answers, and a look at the seller's state.
import { addWbTask, limitWb, wbState } from '../ui/demo/index.ts'

/** @param {import('../ui/demo/index.ts').MemoryBackend} backend */
export function wildberriesRoutes(backend) {
  const account = (/** @type {Record<string, any>} */ b) => {
    if (typeof b.accountId !== 'string' || !b.accountId) throw new Error('accountId is required')
    return b.accountId
  }
  const shopOf = (/** @type {Record<string, any>} */ b) => {
    const shop = wbState(backend, account(b)).shops.find((s) => s.sellerId === String(b.sellerId))
    if (!shop) throw new Error(`no shop ${b.sellerId}`)
    return shop
  }
  return {
    // {accountId, commands?: string[], retryAfter?, times?}: the next answers of those commands (all when absent) are rate-limited
    'POST /wb/rate-limit': (/** @type {Record<string, any>} */ b) => {
      limitWb(backend, account(b), { commands: Array.isArray(b.commands) ? b.commands.map(String) : [], retryAfter: b.retryAfter, times: b.times })
      return { ok: true }
    },
    // {accountId, sellerId, down}: the shop stops (or starts again) answering the task list
    'POST /wb/shop-down': (/** @type {Record<string, any>} */ b) => {
      const { down } = wbState(backend, account(b))
      const shop = shopOf(b)
      if (b.down === false) down.delete(shop.sellerId)
      else down.add(shop.sellerId)
      return { ok: true }
    },
    // {accountId, printerId?, sellerId}: label answers of the shop name this registered printer (none when absent)
    'POST /wb/shop-printer': (/** @type {Record<string, any>} */ b) => {
      const shop = shopOf(b)
      if (typeof b.printerId === 'string' && b.printerId) shop.printerId = b.printerId
      else delete shop.printerId
      return { ok: true }
    },
    // {accountId, ...task fields}: a new assembly task (the first shop's unless sellerId says otherwise)
    'POST /wb/task': (/** @type {Record<string, any>} */ b) => {
      const { accountId: _a, ...fields } = b
      return { task: addWbTask(backend, account(b), fields) }
    },
    // ?accountId=: the seller's shops, tasks and supplies as they are now
    'GET /wb/state': (/** @type {unknown} */ _b, /** @type {URLSearchParams} */ q) => {
      const s = wbState(backend, account({ accountId: q.get('accountId') }))
      return { shops: s.shops, tasks: s.tasks, supplies: s.supplies }
    },
  }
}
