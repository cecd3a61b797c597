/**
 * The Ozon state shared by the page and the completion: postings with their
 * label links, busy flags, the last note and one rate-limit pause for every
 * Ozon request. Requests, sleeping and printing are handed in, so the rules
 * read and test without a server.
 */
import type { Payload } from '../../core/envelope'
import {
  isCancelled, isRateLimited, LABEL_ATTEMPTS, LABEL_NONE, LABEL_NOT_READY, LABEL_PENDING, LABEL_PREPARING, LABEL_RETRY_S,
  labelErrorText, labelPauseText, listPauseText, pauseSeconds, readPostings, shipErrorText, shipPauseText, type OzonPosting,
} from './ozonLogic'

export interface OzonDeps {
  ask(name: string, payload: Payload): Promise<Payload>
  sleep(seconds: number): Promise<void>
  /** prints a posting label; resolves to an error text or '' */
  print(posting: OzonPosting, answer: Payload): Promise<string>
  now(): number
}

export type LabelOutcome = 'printed' | 'fetched' | 'pending' | 'failed'

export function createOzonCore(deps: OzonDeps) {
  const postings = new Map<string, OzonPosting>()
  const busy = new Set<string>()
  /** postings whose label (and product labels) went to a printer: never again */
  const printed = new Set<string>()
  /** postings waiting for labelReady.push to bring a link to print */
  const waiting = new Set<string>()
  let note = ''
  let pauseUntil = 0

  const paused = () => pauseUntil > deps.now()
  const pauseLeft = () => Math.max(0, Math.ceil((pauseUntil - deps.now()) / 1000))
  function startPause(p: Payload): number {
    const s = pauseSeconds(p)
    pauseUntil = Math.max(pauseUntil, deps.now() + s * 1000)
    return s
  }

  async function loadPostings(): Promise<boolean> {
    if (paused()) { note = listPauseText(pauseLeft()); return false }
    const p = await deps.ask('ozonPostings', {})
    if (p.stale === true || isRateLimited(p)) { note = listPauseText(startPause(p)); if (p.stale !== true) return false }
    if (p.configured === false) { postings.clear(); return true }
    for (const next of readPostings(p.postings)) postings.set(next.postingNumber, { ...postings.get(next.postingNumber), ...next })
    return true
  }

  async function printOnce(posting: OzonPosting, answer: Payload): Promise<LabelOutcome> {
    if (printed.has(posting.postingNumber)) return 'printed'
    const error = await deps.print(posting, answer)
    if (error !== '') { note = error; waiting.add(posting.postingNumber); return 'failed' }
    printed.add(posting.postingNumber)
    waiting.delete(posting.postingNumber)
    return 'printed'
  }

  /** Asks for a posting label; prints it only when `arm` (a prefetch does not). */
  async function label(postingNumber: string, arm: boolean): Promise<LabelOutcome> {
    if (paused()) { note = labelPauseText(pauseLeft()); return 'failed' }
    let p: Payload = {}
    for (let attempt = 1; attempt <= LABEL_ATTEMPTS; attempt++) {
      p = await deps.ask('ozonLabel', { postingNumber })
      if (p.errorCode !== 'label-not-ready') break
      if (attempt < LABEL_ATTEMPTS) { note = LABEL_PREPARING; await deps.sleep(typeof p.retryAfterSec === 'number' && p.retryAfterSec > 0 ? p.retryAfterSec : LABEL_RETRY_S) }
    }
    if (p.errorCode === 'label-not-ready') { note = LABEL_NOT_READY; return 'failed' }
    if (isRateLimited(p) && (p.errorCode === 'ozon-rate-limited' || !p.errorCode || p.errorCode === 'ozon-error')) { note = labelPauseText(startPause(p)); return 'failed' }
    const url = typeof p.labelUrl === 'string' ? p.labelUrl.trim() : ''
    if (url !== '') {
      const posting = { ...(postings.get(postingNumber) ?? { postingNumber, status: '' }), labelUrl: url,
        shopPrinterId: typeof p.printerId === 'string' ? p.printerId : undefined, shopPrinterLabel: typeof p.printerLabel === 'string' ? p.printerLabel : undefined }
      postings.set(postingNumber, posting)
      return arm ? printOnce(posting, p) : 'fetched'
    }
    if (p.pending === true) {
      if (arm) { waiting.add(postingNumber); note = LABEL_PENDING }
      return 'pending'
    }
    note = p.errorCode || p.error ? labelErrorText(p) : LABEL_NONE
    return 'failed'
  }

  /** After assembly or shipping: the posting label, printed at most once. */
  async function afterAssembly(postingNumber: string): Promise<LabelOutcome> {
    if (printed.has(postingNumber)) return 'printed'
    const known = postings.get(postingNumber)
    if (known && known.labelUrl !== '') return printOnce(known, { printerId: known.shopPrinterId, printerLabel: known.shopPrinterLabel })
    return label(postingNumber, true)
  }

  /** labelReady.push: prints only postings that asked to be printed when ready. */
  async function labelReady(push: Payload): Promise<LabelOutcome | null> {
    const number = typeof push.postingNumber === 'string' ? push.postingNumber.trim() : ''
    const url = typeof push.labelUrl === 'string' ? push.labelUrl.trim() : ''
    if (number === '' || url === '') return null
    const posting = { ...(postings.get(number) ?? { postingNumber: number, status: '' }), labelUrl: url }
    postings.set(number, posting)
    if (!waiting.has(number)) return null
    const outcome = await printOnce(posting, push)
    note = outcome === 'printed' ? `Этикетка Ozon ${number} напечатана` : `Этикетка ${number} пришла, но напечатать не удалось`
    return outcome
  }

  /** Hands a picked posting over; "wrong-status" is shipped unless Ozon says it was cancelled. */
  async function ship(documentId: string, postingNumber: string): Promise<boolean> {
    if (busy.has(documentId)) return false
    if (paused()) { note = shipPauseText(pauseLeft()); return false }
    busy.add(documentId)
    try {
      const p = await deps.ask('ozonShip', { documentId })
      if (isRateLimited(p)) { note = shipPauseText(startPause(p)); return false }
      if (p.errorCode === 'wrong-status') {
        await loadPostings()
        const now = postings.get(postingNumber)
        if (now && isCancelled(now.status)) { note = `Отправление ${postingNumber} отменено — не передано`; return false }
      } else if (p.errorCode || p.error) { note = shipErrorText(p); return false }
      const cur = postings.get(postingNumber) ?? { postingNumber, status: '', labelUrl: '' }
      postings.set(postingNumber, { ...cur, status: 'awaiting_deliver' })
      await afterAssembly(postingNumber)
      return true
    } finally {
      busy.delete(documentId)
    }
  }

  return {
    postings, busy, printed, waiting,
    get note() { return note },
    pauseLeft, loadPostings, label, afterAssembly, labelReady, ship,
  }
}
