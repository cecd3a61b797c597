// Test-mode control routes for marking: the account's withdrawal options, how withdrawal tasks end, and the
// organisation's own workplace address.
import { expireWithdrawalQuestions, setAccountWorkplace, setWithdrawalEnd, withdrawalState } from '../ui/demo/index.ts'

const ENDS = new Set(['done', 'skipped', 'expired', 'failed'])

/** @param {import('../ui/demo/index.ts').MemoryBackend} backend */
export function markingRoutes(backend) {
  return {
    // {accountId, retail?, ask?}: withdrawal on retail sales on or off, and whether the picker is asked
    'POST /withdrawal-options': (/** @type {Record<string, any>} */ b) => {
      const account = backend.accounts.get(String(b.accountId ?? ''))
      if (!account) throw new Error('no such account')
      if (typeof b.retail === 'boolean') account.features.czWithdrawRetail = b.retail
      if (typeof b.ask === 'boolean') account.features.czWithdrawAsk = b.ask
      return { features: account.features }
    },
    // {end}: how the next withdrawal tasks end: done, skipped, expired or failed
    'POST /withdrawal-end': (/** @type {Record<string, any>} */ b) => {
      if (!ENDS.has(b.end)) throw new Error('end must be done, skipped, expired or failed')
      setWithdrawalEnd(backend, b.end)
      return { ok: true }
    },
    // {}: every question still waiting ends as expired
    'POST /withdrawal-expire': () => ({ expired: expireWithdrawalQuestions(backend) }),
    // {accountId, fiasId|null}: the organisation's own address, which wins over a device's
    'POST /account-workplace': (/** @type {Record<string, any>} */ b) => {
      setAccountWorkplace(backend, String(b.accountId ?? ''), typeof b.fiasId === 'string' && b.fiasId ? b.fiasId : null)
      return { ok: true }
    },
    'GET /withdrawal-tasks': () => ({ tasks: [...withdrawalState(backend).tasks.values()] }),
  }
}
