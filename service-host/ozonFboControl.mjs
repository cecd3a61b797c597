// Test-mode control routes for the Ozon FBO supplies of the stand-in: refused
// answers of a command (a rate limit with retryAfter among them), cargo labels
// that are not ready for a number of requests, a new supply, and a look at the
// supplies as they are now.
import { addFboSupply, failFbo, fboState } from '../ui/demo/index.ts'

/** @param {import('../ui/demo/index.ts').MemoryBackend} backend */
export function ozonFboRoutes(backend) {
  const account = (/** @type {Record<string, any>} */ b) => {
    if (typeof b.accountId !== 'string' || !b.accountId) throw new Error('accountId is required')
    return b.accountId
  }
  const supplyOf = (/** @type {Record<string, any>} */ b) => {
    const found = fboState(backend, account(b)).supplies.find((x) => x.supplyId === String(b.supplyId))
    if (!found) throw new Error(`no supply ${b.supplyId}`)
    return found
  }
  return {
    // {accountId, command, answer: {errorCode?, error?, message?, retryAfter?, ...}, times?}: the next answers of the command
    'POST /ozon/fbo/fault': (/** @type {Record<string, any>} */ b) => {
      if (typeof b.command !== 'string' || !b.command) throw new Error('command is required')
      if (typeof b.answer !== 'object' || b.answer === null) throw new Error('answer is required')
      failFbo(backend, account(b), b.command, b.answer, Number(b.times) || 1)
      return { ok: true }
    },
    // {accountId, supplyId, times}: that many cargo label requests answer "label-not-ready"
    'POST /ozon/fbo/label-delay': (/** @type {Record<string, any>} */ b) => {
      supplyOf(b).labelDelay = Math.max(0, Math.floor(Number(b.times) || 0))
      return { ok: true }
    },
    // {accountId, ...supply fields}: a new supply in assembly (three sample goods unless items are given)
    'POST /ozon/fbo/supply': (/** @type {Record<string, any>} */ b) => {
      const { accountId: _a, ...fields } = b
      return { supply: addFboSupply(backend, account(b), fields) }
    },
    // ?accountId=: the shop and its supplies (content, stage, cargo places)
    'GET /ozon/fbo/state': (/** @type {unknown} */ _b, /** @type {URLSearchParams} */ q) => {
      const s = fboState(backend, account({ accountId: q.get('accountId') }))
      return { clientId: s.clientId, supplies: s.supplies }
    },
  }
}
