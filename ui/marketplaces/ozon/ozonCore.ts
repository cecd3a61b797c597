/**
 * The Ozon state shared by the page and the completion: postings with their
 * label links, busy flags, the last note and one rate-limit pause for every
 * Ozon request. Requests, sleeping and printing are handed in, so the rules
 * read and test without a server.
 */
import type { Payload } from '../../core/envelope'
import { isTimeout } from '../../core/requests'
import {
  autoPrintOffText, isCancelled, isRateLimited, LABEL_ATTEMPTS, LABEL_NONE, LABEL_NOT_READY, LABEL_PENDING, LABEL_PREPARING,
  LABEL_RETRY_S, LABEL_SERVER_SILENT, labelErrorText, labelFailedText, labelPauseText, listPauseText, matchNote, notConfirmedText,
  pauseSeconds, postingIn, printFailedText, PRODUCTS_PRINTED, productFailureText, readPostings, requestingText, shipCancelledText,
  shipErrorText, shipFailedText, shipPauseText, SHIP_SERVER_SILENT, type OzonPosting,
} from './ozonLogic'

export interface PrintResult {
  ok: boolean
  /** what the picker reads: where it went, or why it did not */
  text: string
  /** the screen offers the print settings (no printer set up here, or the remote printer not set up) */
  openSettings?: boolean
}

export interface OzonDeps {
  ask(name: string, payload: Payload): Promise<Payload>
  sleep(seconds: number): Promise<void>
  /** prints a label link of the posting (a product label when `copies` is given) */
  print(posting: OzonPosting, answer: Payload, copies?: number): Promise<PrintResult>
  now(): number
  /** the text of a failed request other than a time-out */
  failureText?(err: unknown): string
}

export interface ProductLine {
  sku: string
  name: string
  copies: number
}

export interface AssemblyOptions {
  /** `print.ozonAutoPrint` */
  autoPrint?: boolean
  /** product labels after the posting label (`print.ozonAutoPrintProducts` on and the document's positions) */
  products?: ProductLine[]
  /** the document the posting stands for (product labels are asked by it) */
  documentId?: string
}

export type LabelOutcome = 'printed' | 'fetched' | 'pending' | 'failed'

const POSTINGS_RELOAD_MS = 5 * 60_000

export function createOzonCore(deps: OzonDeps) {
  const postings = new Map<string, OzonPosting>()
  /** document id → posting number, for pushes and relays that name the document */
  const documents = new Map<string, string>()
  const busy = new Set<string>()
  /** postings whose label went to a printer: never again */
  const printed = new Set<string>()
  /** postings whose product labels went out: never again */
  const productsDone = new Set<string>()
  /** postings waiting for labelReady.push to bring a link to print */
  const waiting = new Set<string>()
  let note = ''
  let pauseUntil = 0
  let postingsAt = 0

  const paused = () => pauseUntil > deps.now()
  const pauseLeft = () => Math.max(0, Math.ceil((pauseUntil - deps.now()) / 1000))
  function startPause(p: Payload): number {
    const s = pauseSeconds(p)
    pauseUntil = Math.max(pauseUntil, deps.now() + s * 1000)
    return s
  }
  const failure = (err: unknown) => deps.failureText?.(err) ?? (err instanceof Error ? err.message : String(err))

  /** Remembers which document stands for a posting. */
  function register(documentId: string, postingNumber: string): void {
    if (documentId === '' || postingNumber === '') return
    documents.set(documentId, postingNumber)
    const cur = postings.get(postingNumber)
    if (cur) postings.set(postingNumber, { ...cur, documentId })
  }

  /**
   * Matches the server's postings (at most every 5 minutes unless `force`, never during the pause).
   * `keys` are the posting numbers of the listed documents: the note counts the matches.
   */
  async function loadPostings(force = true, keys: readonly string[] = []): Promise<boolean> {
    if (paused()) { note = listPauseText(pauseLeft()); return false }
    if (!force && postingsAt > 0 && deps.now() - postingsAt < POSTINGS_RELOAD_MS) return true
    let p: Payload
    try {
      p = await deps.ask('ozonPostings', {})
    } catch (err) {
      note = isTimeout(err) ? 'Сервер не ответил. Попробуйте обновить позже' : failure(err)
      return false
    }
    if (p.stale === true || isRateLimited(p)) { note = listPauseText(startPause(p)); if (p.stale !== true) return false }
    postingsAt = deps.now()
    if (p.configured === false) { postings.clear(); return true }
    const read = readPostings(p.postings)
    for (const next of read) postings.set(next.postingNumber, { ...postings.get(next.postingNumber), ...next })
    for (const [documentId, number] of documents) register(documentId, number)
    if (p.stale !== true) {
      const theirs = new Set(read.map((x) => x.postingNumber))
      note = matchNote(read.length, keys.filter((k) => theirs.has(k)).length)
    }
    return true
  }

  async function printOnce(posting: OzonPosting, answer: Payload, again = false): Promise<LabelOutcome> {
    if (printed.has(posting.postingNumber) && !again) return 'printed'
    const result = await deps.print(posting, answer)
    if (!result.ok) { note = printFailedText(result.text); waiting.add(posting.postingNumber); return 'failed' }
    note = result.text
    printed.add(posting.postingNumber)
    waiting.delete(posting.postingNumber)
    return 'printed'
  }

  /**
   * Asks for a posting label; prints it only when `arm` (a prefetch does not). `again`: the picker asked
   * for this print, so a label printed before prints once more.
   */
  async function label(postingNumber: string, arm: boolean, again = false): Promise<LabelOutcome> {
    if (paused()) { note = labelPauseText(pauseLeft()); return 'failed' }
    let p: Payload = {}
    try {
      for (let attempt = 1; attempt <= LABEL_ATTEMPTS; attempt++) {
        p = await deps.ask('ozonLabel', { postingNumber })
        if (p.errorCode !== 'label-not-ready') break
        if (attempt < LABEL_ATTEMPTS) {
          note = LABEL_PREPARING
          await deps.sleep(typeof p.retryAfterSec === 'number' && p.retryAfterSec > 0 ? p.retryAfterSec : LABEL_RETRY_S)
        }
      }
    } catch (err) {
      note = isTimeout(err) ? LABEL_SERVER_SILENT : labelFailedText(failure(err))
      return 'failed'
    }
    if (p.errorCode === 'label-not-ready') { note = LABEL_NOT_READY; return 'failed' }
    if (isRateLimited(p) && (p.errorCode === 'ozon-rate-limited' || !p.errorCode || p.errorCode === 'ozon-error')) { note = labelPauseText(startPause(p)); return 'failed' }
    const url = typeof p.labelUrl === 'string' ? p.labelUrl.trim() : ''
    if (url !== '') {
      const posting = { ...(postings.get(postingNumber) ?? { postingNumber, status: '' }), labelUrl: url,
        shopPrinterId: typeof p.printerId === 'string' ? p.printerId : undefined, shopPrinterLabel: typeof p.printerLabel === 'string' ? p.printerLabel : undefined }
      postings.set(postingNumber, posting)
      return arm ? printOnce(posting, p, again) : 'fetched'
    }
    if (p.pending === true) {
      if (arm) { waiting.add(postingNumber); note = LABEL_PENDING }
      return 'pending'
    }
    note = p.errorCode || p.error ? labelErrorText(p) : LABEL_NONE
    return 'failed'
  }

  async function productLabels(postingNumber: string, documentId: string, products: readonly ProductLine[]): Promise<void> {
    if (products.length === 0 || productsDone.has(postingNumber)) return
    productsDone.add(postingNumber)
    const posting = postings.get(postingNumber) ?? { postingNumber, status: '', labelUrl: '' }
    const failures: string[] = []
    for (const line of products) {
      let p: Payload
      try {
        p = await deps.ask('ozonProductLabel', { documentId, sku: line.sku })
      } catch {
        failures.push(productFailureText(line.name, null))
        continue
      }
      const url = typeof p.labelUrl === 'string' ? p.labelUrl.trim() : ''
      if (url === '' || p.errorCode || p.error) {
        if (isRateLimited(p)) startPause(p)
        failures.push(productFailureText(line.name, p))
        continue
      }
      const result = await deps.print({ ...posting, labelUrl: url, shopPrinterId: str(p.printerId), shopPrinterLabel: str(p.printerLabel) }, { ...p, sku: line.sku }, Math.max(1, line.copies))
      if (!result.ok) failures.push(`${line.name}: ${result.text}`)
    }
    note = failures.length > 0 ? failures.join('. ') : PRODUCTS_PRINTED
  }

  /**
   * After assembly or shipping: the posting label and the product labels, printed at most once.
   * A posting not matched yet is matched first.
   */
  async function afterAssembly(postingNumber: string, options: AssemblyOptions = {}): Promise<LabelOutcome> {
    const { autoPrint = true, products = [], documentId = '' } = options
    if (printed.has(postingNumber)) return 'printed'
    if (!postings.has(postingNumber) && autoPrint && postingIn(postingNumber) !== '') {
      const loaded = await loadPostings(false)
      if (!loaded && paused()) return 'failed'
      if (!postings.has(postingNumber)) { note = notConfirmedText(postingNumber); return 'failed' }
    }
    if (!autoPrint) { note = autoPrintOffText(postingNumber); return 'failed' }
    const known = postings.get(postingNumber)
    let outcome: LabelOutcome
    if (known && known.labelUrl !== '') outcome = await printOnce(known, { printerId: known.shopPrinterId, printerLabel: known.shopPrinterLabel })
    else {
      note = requestingText(postingNumber)
      outcome = await label(postingNumber, true)
    }
    const shown = note
    await productLabels(postingNumber, documentId || (known?.documentId ?? ''), products)
    if (products.length > 0 && shown !== '') note = `${shown}. ${note}`
    return outcome
  }

  /** labelReady.push: prints only postings that asked to be printed when ready. */
  async function labelReady(push: Payload): Promise<LabelOutcome | null> {
    const byDocument = documents.get(str(push.documentId)) ?? ''
    const number = str(push.postingNumber) || byDocument
    const url = str(push.labelUrl)
    if (number === '' || url === '') return null
    const posting = { ...(postings.get(number) ?? { postingNumber: number, status: '' }), labelUrl: url }
    postings.set(number, posting)
    if (!waiting.has(number)) return null
    const outcome = await printOnce(posting, push)
    note = outcome === 'printed' ? `Этикетка Ozon ${number} напечатана` : `Этикетка ${number} пришла, но напечатать не удалось`
    return outcome
  }

  /**
   * Hands a picked posting over; "wrong-status" is shipped unless Ozon says it was cancelled.
   * A shipped posting goes on to its label (`options` as after assembly).
   */
  async function ship(documentId: string, postingNumber: string, options: AssemblyOptions = {}): Promise<boolean> {
    if (busy.has(documentId)) return false
    if (paused()) { note = shipPauseText(pauseLeft()); return false }
    busy.add(documentId)
    try {
      let p: Payload
      try {
        p = await deps.ask('ozonShip', { documentId })
      } catch (err) {
        note = isTimeout(err) ? SHIP_SERVER_SILENT : shipFailedText(failure(err))
        return false
      }
      if (isRateLimited(p)) { note = shipPauseText(startPause(p)); return false }
      if (p.errorCode === 'wrong-status') {
        // Ozon moved the posting on: shipped, unless the move was its cancellation.
        await loadPostings()
        const now = postings.get(postingNumber)
        if (now && isCancelled(now.status)) { note = shipCancelledText(postingNumber); return false }
      } else if (p.errorCode || p.error) { note = shipErrorText(p); return false }
      const cur = postings.get(postingNumber) ?? { postingNumber, status: '', labelUrl: '' }
      postings.set(postingNumber, { ...cur, status: 'awaiting_deliver' })
      await afterAssembly(postingNumber, { documentId, ...options })
      return true
    } finally {
      busy.delete(documentId)
    }
  }

  return {
    postings, documents, busy, printed, waiting,
    get note() { return note },
    set note(text: string) { note = text },
    paused, pauseLeft, startPause, register, loadPostings, label, afterAssembly, labelReady, ship,
  }
}

function str(v: unknown): string {
  return typeof v === 'string' ? v.trim() : typeof v === 'number' ? String(v) : ''
}
