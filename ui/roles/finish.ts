/**
 * Progress and finishing under the two-person check: which positions count
 * and are done, the finish button's label, whether the finish dialog is
 * needed, its texts for both roles, and the box count. Pure.
 */
import { ruPlural } from '../core/plural'
import type { PositionRecord } from '../documents/records'
import type { ShortfallEntry } from './shortfalls'
import { needsShortfall, orderedOf } from './shortfalls'
import type { WorkRole } from './roleState'

type ProgressPosition = Pick<
  PositionRecord,
  'checked' | 'required' | 'orderedQuantity' | 'collectedQuantity' | 'collectorShortfall'
>

/** Nothing to pick, but the collector found none of what was ordered: the checker must look for it. */
function collectorFoundNone(p: ProgressPosition): boolean {
  return p.collectedQuantity === 0 && orderedOf(p) > 0
}

/** The positions the progress counts: required > 0, and those the collector found none of while something was ordered. */
export function countsInProgress(p: ProgressPosition): boolean {
  return p.required > 0 || collectorFoundNone(p)
}

/** Done: counted to the requirement (for the found-none kind: anything counted), or the checker accepted the reason. */
export function positionDone(p: ProgressPosition, entry: ShortfallEntry | undefined): boolean {
  if (entry?.confirmed) return true
  if (p.required <= 0 && collectorFoundNone(p)) return p.checked > 0
  return p.checked >= p.required
}

export interface RoleProgress {
  done: number
  total: number
  left: number
}

export function roleProgress(
  positions: ReadonlyArray<{ p: ProgressPosition; entry?: ShortfallEntry }>,
): RoleProgress {
  let done = 0
  let total = 0
  for (const { p, entry } of positions) {
    if (!countsInProgress(p)) continue
    total++
    if (positionDone(p, entry)) done++
  }
  return { done, total, left: total - done }
}

export interface RoleFinishButton {
  label: string
  enabled: boolean
  complete: boolean
  /** why the button is grey, when the picker could not tell by himself */
  hint?: string
}

export const NO_SHORT_RIGHT = 'Завершить с недобором нельзя: у вас нет такого права. Досканируйте все или обратитесь к администратору.'

export const FINISH_LABELS = {
  startFirst: 'Сначала начните сборку',
  checkDone: '✅ Завершить проверку',
  collectDone: '✅ Завершить сборку',
  checkShort: 'Завершить с расхождениями',
  collectShort: 'Завершить с недобором',
} as const

/** "Осталась 1 позиция" / "Осталось 2 позиции" / "Осталось 5 позиций". */
export function positionsLeftText(n: number): string {
  return ruPlural(n, `Осталась ${n} позиция`, `Осталось ${n} позиции`, `Осталось ${n} позиций`)
}

/** The finish button: first match of start pending, all done, short finishing allowed, else what is left. */
export function roleFinishButton(o: { role: WorkRole; startPending: boolean; progress: RoleProgress; shortAllowed: boolean }): RoleFinishButton {
  const checker = o.role === 'checker'
  if (o.startPending) return { label: FINISH_LABELS.startFirst, enabled: false, complete: false }
  if (o.progress.left === 0)
    return { label: checker ? FINISH_LABELS.checkDone : FINISH_LABELS.collectDone, enabled: o.progress.total > 0, complete: true }
  if (o.shortAllowed) return { label: checker ? FINISH_LABELS.checkShort : FINISH_LABELS.collectShort, enabled: true, complete: false }
  return { label: positionsLeftText(o.progress.left), enabled: false, complete: false, hint: NO_SHORT_RIGHT }
}

/** Short finishing: the permission "closeShort", or a checker with "control". */
export function shortFinishAllowed(role: WorkRole, can: (permission: string) => boolean): boolean {
  return can('closeShort') || (role === 'checker' && can('control'))
}

export interface FinishDialogTexts {
  title: string
  lines: string[]
}

const endsInOne = (n: number) => n % 10 === 1 && n % 100 !== 11

/** The finish dialog's title and text. */
export function finishDialogTexts(o: {
  role: WorkRole
  short: number
  total: number
  reasonsRequired: boolean
  boxesRequired: boolean
  hasQuestions: boolean
}): FinishDialogTexts {
  const checker = o.role === 'checker'
  const lines: string[] = []
  let title: string
  if (o.short > 0 && checker) {
    title = 'Завершить проверку?'
    const word = endsInOne(o.short) ? 'позиции' : 'позициям'
    lines.push(
      `По ${o.short} ${word} из ${o.total} пересчитано меньше заказанного.` +
        (o.reasonsRequired ? ' Укажите причину у каждой.' : ' Причину можно указать.'),
    )
  } else if (o.short > 0) {
    title = 'Завершить с недобором?'
    const word = endsInOne(o.total) ? 'позиции' : 'позиций'
    lines.push(
      `Не собрано полностью: ${o.short} из ${o.total} ${word}.` +
        (o.reasonsRequired ? ' Укажите причину у каждой.' : ' Причину можно указать — так проще потом разобраться.'),
    )
  } else {
    title = checker ? 'Завершить проверку?' : 'Завершить документ?'
    lines.push(o.hasQuestions ? 'Ответьте на вопросы, чтобы завершить.' : 'Действие нельзя отменить.')
  }
  if (checker && o.boxesRequired) lines.push(BOX_TEXTS.required)
  return { title, lines }
}

/** The row of a short position: the collector's count, or for the checker the order, the collector and the check. */
export function shortRowText(p: Pick<PositionRecord, 'checked' | 'required' | 'orderedQuantity' | 'collectedQuantity'>, role: WorkRole): string {
  const ordered = orderedOf(p)
  if (role === 'checker') return `Заказано ${ordered}, сборщик насчитал ${p.collectedQuantity ?? 0}, проверено ${p.checked}`
  return `Собрано ${p.checked} из ${ordered}`
}

/** The finish dialog is needed with a role: short positions, or a checker who must give the box count. */
export function finishDialogNeeded(o: { role: WorkRole | null; short: number; boxesRequired: boolean }): boolean {
  if (o.role === null) return false
  return o.short > 0 || (o.role === 'checker' && o.boxesRequired)
}

export const BOX_TEXTS = {
  label: 'Сколько коробок?',
  required: 'Укажите, сколько получилось коробок.',
  invalid: 'Количество коробок — целое число больше нуля.',
} as const

export const BOXES_START = 1

/** A box count: a whole number above zero. */
export function boxesError(n: number): string {
  return Number.isInteger(n) && n > 0 ? '' : BOX_TEXTS.invalid
}

/** The short positions of the dialog and the keys among them still missing a required reason. */
export function shortRows<T extends ProgressPosition>(
  positions: ReadonlyArray<{ key: string; p: T }>,
  role: WorkRole,
): Array<{ key: string; p: T }> {
  return positions.filter(({ p }) => needsShortfall(p, role))
}

export function missingReasons(
  rows: ReadonlyArray<{ key: string }>,
  entries: Readonly<Record<string, ShortfallEntry>>,
  required: boolean,
): string[] {
  if (!required) return []
  return rows.filter(({ key }) => !(entries[key]?.reason ?? '').trim()).map(({ key }) => key)
}

/** A checker row he has neither confirmed nor disputed: marked, never blocking. */
export function unconfirmed(entry: ShortfallEntry | undefined): boolean {
  return !entry?.confirmed && !entry?.disputed
}
