/**
 * Classification of one scan: what it means for the document (counted,
 * refused, excess, undone), the message the picker sees, and the sound and
 * vibration that go with it. Pure: the caller gathers the facts, applies the
 * outcome and plays it.
 */
import { formatQuantity as formatCoreQuantity } from '../../core/numbers'

export type OutcomeKind =
  | 'composition-loading'
  | 'not-found'
  | 'duplicate-mark'
  | 'mark-required'
  | 'excess'
  | 'unmarked'
  | 'no-code'
  | 'done'
  | 'progress'
  | 'unknown-mark'
  | 'nothing-to-undo'
  | 'undone'

export type OutcomeType = 'success' | 'warning' | 'error'
export type OutcomeSound = 'success' | 'checked' | 'tooMuch' | 'error'
export type OutcomeVibration = 'success' | 'warning' | 'error'

export interface ScanOutcome {
  kind: OutcomeKind
  type: OutcomeType
  message: string
  /** the new count, or null when nothing changes */
  checked: number | null
  /** the marking code to add to the position's marks */
  addMark: string | null
  /** the marking code to take out of the position's marks */
  removeMark: string | null
  sound: OutcomeSound
  vibrate: OutcomeVibration
}

/** What the classification needs to know about the matched position. */
export interface ScanPosition {
  name: string
  required: number
  checked: number
  markable?: boolean
}

export interface ScanFacts {
  /** the code after layout correction */
  code: string
  position: ScanPosition | null
  isMark: boolean
  /** the mark's identity is already counted in this document */
  markCounted: boolean
  /** the matched position already has marks */
  positionHasMarks: boolean
  /** contents still loading and nothing cached shown */
  contentsLoading: boolean
  ozonPosting: boolean
  /** check mode: the collector's count for the position (undefined when unknown) */
  collectorCount?: number
  /** the document's marks are withdrawn from circulation (a retail shipment of such an account) */
  withdrawsCodes?: boolean
}

const CODE_SHOWN = 20

/** Codes longer than 20 characters are cut to 20 and "…". */
export function shownCode(code: string): string {
  return code.length > CODE_SHOWN ? code.slice(0, CODE_SHOWN) + '…' : code
}

/** A quantity as the picker reads it: at most 3 decimals, decimal comma. */
export function formatQuantity(n: number): string {
  return formatCoreQuantity(n, 3)
}

function outcome(
  kind: OutcomeKind,
  type: OutcomeType,
  message: string,
  sound: OutcomeSound,
  vibrate: OutcomeVibration,
  checked: number | null = null,
  marks: { add?: string; remove?: string } = {},
): ScanOutcome {
  return { kind, type, message, checked, addMark: marks.add ?? null, removeMark: marks.remove ?? null, sound, vibrate }
}

const refused = (kind: OutcomeKind, message: string) => outcome(kind, 'error', message, 'error', 'error')

/** A scan that adds (the normal mode). First matching rule wins. */
export function classifyAdd(f: ScanFacts): ScanOutcome {
  const p = f.position
  if (!p) {
    if (f.contentsLoading) return refused('composition-loading', 'Состав документа еще загружается — отсканируйте через пару секунд')
    if (f.ozonPosting) return refused('not-found', `Нет в этом отправлении Ozon: ${shownCode(f.code)}`)
    return refused('not-found', `Нет в документе: ${shownCode(f.code)}`)
  }
  if (f.isMark && f.markCounted) return refused('duplicate-mark', `Этот код уже сканировали: ${p.name}`)
  if (!f.isMark && f.positionHasMarks) return refused('mark-required', `Отсканируйте марку: ${p.name}`)
  const next = p.checked + 1
  const mark = f.isMark ? { add: f.code } : {}
  if (next > p.required) return outcome('excess', 'warning', `⚠️ Лишнее: ${p.name}`, 'tooMuch', 'warning', next, mark)
  if (f.isMark && p.markable === false)
    return outcome('unmarked', 'warning', `⚠️ ${p.name}: код не передадим — товар без маркировки`, 'checked', 'warning', next, mark)
  let message = `✅ ${p.name} (${formatQuantity(next)}/${formatQuantity(p.required)})`
  if (f.collectorCount !== undefined && next > f.collectorCount)
    message += ` · нашли на ${formatQuantity(next - f.collectorCount)} больше, чем сборщик`
  // A marked unit counted by its plain barcode goes out without a code: never in silence where codes are withdrawn.
  if (!f.isMark && p.markable === true && f.withdrawsCodes)
    return outcome(
      'no-code',
      'warning',
      `⚠️ ${p.name} (${formatQuantity(next)}/${formatQuantity(p.required)}): без кода маркировки — эту единицу не выведем из оборота`,
      'checked',
      'warning',
      next,
    )
  if (next === p.required) return outcome('done', 'success', message, 'success', 'success', next, mark)
  return outcome('progress', 'success', message, 'checked', 'success', next, mark)
}

/**
 * A scan in undo mode. A code that matches no position is an ordinary scan;
 * otherwise a counted mark is taken out, a plain barcode takes one item off.
 */
export function classifyUndo(f: ScanFacts): ScanOutcome {
  const p = f.position
  if (!p) return classifyAdd(f)
  if (f.isMark && !f.markCounted) return refused('unknown-mark', `Этот код не сканировали: ${p.name}`)
  if (!f.isMark && f.positionHasMarks) return refused('mark-required', `Отсканируйте марку, которую нужно убрать: ${p.name}`)
  if (!f.isMark && p.checked <= 0) return refused('nothing-to-undo', `Нечего убирать: ${p.name}`)
  const mark = f.isMark ? { remove: f.code } : {}
  return outcome('undone', 'warning', `➖ Убрано: ${p.name}`, 'checked', 'warning', Math.max(0, p.checked - 1), mark)
}

/** The sound and vibration of a manual count change follow the position's new status. */
export function manualFeedback(status: 'pending' | 'partial' | 'done' | 'excess'): { sound: OutcomeSound; vibrate: OutcomeVibration } {
  if (status === 'excess') return { sound: 'tooMuch', vibrate: 'warning' }
  if (status === 'done') return { sound: 'success', vibrate: 'success' }
  return { sound: 'checked', vibrate: 'success' }
}
