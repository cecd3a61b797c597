/**
 * The marking check on scan: new marks are gathered into batches for
 * `checkMarks` (100 codes, or 500 ms after the first), a code without an
 * answer in 15 s counts as not checked, and every answer is normalised to a
 * status with the text the picker reads.
 */
import { ruPlural } from '../../core/plural'

export const BATCH_MAX = 100
export const BATCH_DELAY_MS = 500
export const ANSWER_WAIT_MS = 15_000

export type MarkStatus =
  | 'IN_CIRCULATION'
  | 'EMITTED'
  | 'APPLIED'
  | 'WITHDRAWN'
  | 'RETIRED'
  | 'DISAGGREGATED'
  | 'UNKNOWN'
  | 'NOT_CHECKED'
  | 'REJECTED'

export const MARK_STATUS_TABLE: Readonly<Record<MarkStatus, { passes: boolean; text: string }>> = {
  IN_CIRCULATION: { passes: true, text: 'Код в обороте' },
  EMITTED: { passes: false, text: 'Код не введен в оборот' },
  APPLIED: { passes: false, text: 'Код нанесен, но не введен в оборот' },
  WITHDRAWN: { passes: false, text: 'Код уже выведен из оборота' },
  RETIRED: { passes: false, text: 'Код списан' },
  DISAGGREGATED: { passes: false, text: 'Код расформирован — сканируйте коды внутри упаковки' },
  UNKNOWN: { passes: false, text: 'Честный Знак не знает такой код' },
  NOT_CHECKED: { passes: true, text: 'Код не проверен' },
  REJECTED: { passes: false, text: 'Код нельзя отгружать' },
}

export interface MarkVerdict {
  code: string
  /** a known status, or the server's own status when it is not known here */
  status: string
  known: boolean
  passes: boolean
  text: string
  /** what "Честный Знак: …" names for a status other than in circulation */
  title: string
  /** the text is the server's own message */
  serverMessage: boolean
  ownerInn?: string
  ownedByUs?: boolean
}

function knownStatus(v: unknown): MarkStatus | undefined {
  if (typeof v !== 'string') return undefined
  const s = v.trim().toUpperCase()
  if (s === 'INTRODUCED') return 'IN_CIRCULATION'
  return s in MARK_STATUS_TABLE ? (s as MarkStatus) : undefined
}

const NOT_FOUND = /КИ\s*не\s*найден|not\s*found/i
const str = (v: unknown) => (typeof v === 'string' ? v.trim() : '')

/** One result of `checkMarks.result` as a verdict; null when it names no code. */
export function normaliseMarkResult(raw: unknown): MarkVerdict | null {
  if (typeof raw !== 'object' || raw === null) return null
  const r = raw as Record<string, unknown>
  const code = typeof r.code === 'string' ? r.code : ''
  if (!code) return null
  const rawStatus = str(r.status)
  const message = str(r.message)
  const known = knownStatus(rawStatus)
  let status: string
  let passes: boolean
  let isKnown = true
  if (NOT_FOUND.test(message)) {
    status = 'UNKNOWN'
    passes = false
  } else if (typeof r.ok !== 'boolean') {
    if (known) {
      status = known
      passes = MARK_STATUS_TABLE[known].passes
    } else if (rawStatus) {
      status = rawStatus
      passes = true
      isKnown = false
    } else {
      // Neither a verdict nor a status: the code was not checked.
      status = 'NOT_CHECKED'
      passes = true
    }
  } else if (r.ok) {
    status = known ?? 'IN_CIRCULATION'
    passes = MARK_STATUS_TABLE[status as MarkStatus].passes
  } else {
    status = known && !MARK_STATUS_TABLE[known].passes ? known : !rawStatus && !message ? 'UNKNOWN' : 'REJECTED'
    passes = false
  }
  const defaultText = isKnown ? MARK_STATUS_TABLE[status as MarkStatus].text : `Неизвестный статус: ${status}`
  const verdict: MarkVerdict = {
    code,
    status,
    known: isKnown,
    passes,
    text: message || defaultText,
    serverMessage: message !== '',
    title: str(r.statusTitle) || defaultText,
  }
  const inn = str(r.ownerInn)
  if (inn) verdict.ownerInn = inn
  if (typeof r.ownedByUs === 'boolean') verdict.ownedByUs = r.ownedByUs
  return verdict
}

export function notCheckedVerdict(code: string): MarkVerdict {
  const { text } = MARK_STATUS_TABLE.NOT_CHECKED
  return { code, status: 'NOT_CHECKED', known: true, passes: true, text, title: text, serverMessage: false }
}

/** What the screen shows for one answer. */
export type MarkCheckReport =
  | { kind: 'refused'; message: string }
  | { kind: 'note'; message: string }
  | { kind: 'none' }

/**
 * Refused codes give "⚠️ <text>" of the first one; otherwise a note: the first
 * warning, else what the single result says, else how many marks are in circulation.
 */
export function reportFor(verdicts: readonly MarkVerdict[]): MarkCheckReport {
  if (verdicts.length === 0) return { kind: 'none' }
  const refusedOne = verdicts.find((v) => !v.passes)
  if (refusedOne) return { kind: 'refused', message: `⚠️ ${refusedOne.text}` }
  // A warning: a passing code about which the server said something of its own.
  const warning = verdicts.find((v) => v.status !== 'IN_CIRCULATION' && v.serverMessage)
  if (warning) return { kind: 'note', message: warning.text }
  const other = verdicts.find((v) => v.status !== 'IN_CIRCULATION')
  if (other) return { kind: 'note', message: `Честный Знак: ${other.title}` }
  if (verdicts.length === 1) {
    const v = verdicts[0]!
    if (v.ownedByUs === false)
      return { kind: 'note', message: `Честный Знак: марка в обороте, на балансе другой организации${v.ownerInn ? ` (ИНН ${v.ownerInn})` : ''}` }
    return { kind: 'note', message: `Честный Знак: марка в обороте${v.ownedByUs ? ', на вашем балансе' : ''}` }
  }
  const n = verdicts.length
  return { kind: 'note', message: `Честный Знак: ${n} ${ruPlural(n, 'марка', 'марки', 'марок')} в обороте` }
}

export interface MarkCheckerOptions {
  /** sends `checkMarks` {codes}; false when there is no channel */
  send(codes: string[]): boolean
  /** verdicts of one answer (or of codes that timed out) */
  onVerdicts(verdicts: MarkVerdict[]): void
  /** an answer with `error` and no results */
  onError(message: string): void
  setTimer?: (fn: () => void, ms: number) => ReturnType<typeof setTimeout>
  clearTimer?: (t: ReturnType<typeof setTimeout>) => void
}

export interface MarkChecker {
  queue(code: string): void
  /** a `checkMarks.result` push */
  answer(payload: unknown): void
  /** drops the batch and every wait (leaving the screen) */
  dispose(): void
  readonly waiting: number
}

export function createMarkChecker(o: MarkCheckerOptions): MarkChecker {
  const setTimer = o.setTimer ?? ((fn, ms) => setTimeout(fn, ms))
  const clearTimer = o.clearTimer ?? ((t) => clearTimeout(t))
  let batch: string[] = []
  let batchTimer: ReturnType<typeof setTimeout> | undefined
  /** codes sent and not answered yet */
  const pending = new Set<string>()
  const answerTimers = new Set<ReturnType<typeof setTimeout>>()

  function flush() {
    if (batchTimer !== undefined) clearTimer(batchTimer)
    batchTimer = undefined
    const codes = batch
    batch = []
    if (codes.length === 0) return
    o.send(codes)
    // Sent or not (no channel), a code without an answer in time is "not checked".
    for (const code of codes) pending.add(code)
    const t = setTimer(() => {
      answerTimers.delete(t)
      const late = codes.filter((c) => pending.delete(c))
      if (late.length) o.onVerdicts(late.map(notCheckedVerdict))
    }, ANSWER_WAIT_MS)
    answerTimers.add(t)
  }

  return {
    get waiting() {
      return pending.size + batch.length
    },
    queue(code) {
      batch.push(code)
      if (batch.length >= BATCH_MAX) flush()
      else if (batchTimer === undefined) batchTimer = setTimer(flush, BATCH_DELAY_MS)
    },
    answer(payload) {
      const p = typeof payload === 'object' && payload !== null ? (payload as Record<string, unknown>) : {}
      const results = Array.isArray(p.results) ? p.results : []
      const verdicts = results.map(normaliseMarkResult).filter((v): v is MarkVerdict => v !== null)
      for (const v of verdicts) pending.delete(v.code)
      if (verdicts.length === 0) {
        const error = str(p.error)
        if (error) o.onError(error)
        return
      }
      o.onVerdicts(verdicts)
    },
    dispose() {
      if (batchTimer !== undefined) clearTimer(batchTimer)
      batchTimer = undefined
      batch = []
      for (const t of answerTimers) clearTimer(t)
      answerTimers.clear()
      pending.clear()
    },
  }
}
