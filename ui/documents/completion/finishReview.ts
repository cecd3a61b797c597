/**
 * What is asked before a result goes out when it holds more than was ordered,
 * or — on a document whose marks are withdrawn — units of a marked line that
 * were counted without a marking code. Excess is never finished silently:
 * the picker removes it or keeps it knowingly; units without a code are named
 * with their count, since no code of theirs leaves circulation. Pure.
 */
import { ruPlural } from '../../core/plural'
import { formatQuantity } from '../picking/scanOutcome'

export interface ReviewLine {
  /** the line key of the picking screen */
  key: string
  name: string
  counted: number
  required: number
  /** marking codes counted on the line */
  marks: number
  /** the product carries marking codes */
  markable: boolean
}

export interface FinishReview {
  title: string
  /** "<name>: <counted> из <required>" per line over the order */
  excess: Array<{ key: string; text: string }>
  /** "<name>: <n> ед. без кода маркировки — из оборота не выведем" per marked line */
  noCode: Array<{ key: string; text: string }>
  /** units counted without a code, all lines together */
  noCodeUnits: number
}

export const REVIEW_TEXTS = {
  excessTitle: 'Больше, чем заказано',
  excessLead: 'По этим позициям насчитано больше заказанного. Лишнее уйдет покупателю и будет в документе.',
  noCodeTitle: 'Не у всех единиц есть код маркировки',
  removeExcess: 'Убрать лишнее',
  keepExcess: 'Оставить как есть',
  proceed: 'Завершить',
  cancel: 'Отмена',
} as const

/** "<n> ед. без кода маркировки — из оборота не выведем" for the whole result. */
export function noCodeSummary(units: number): string {
  return `${formatQuantity(units)} ${ruPlural(units, 'единица', 'единицы', 'единиц')} без кода маркировки: из оборота ${units % 10 === 1 && units % 100 !== 11 ? 'ее' : 'их'} не выведем.`
}

/** The units of a marked line counted without a code (whole units; a weighed line has none). */
export function unitsWithoutCode(l: Pick<ReviewLine, 'counted' | 'marks' | 'markable'>): number {
  if (!l.markable) return 0
  return Math.max(0, Math.floor(l.counted) - l.marks)
}

/** The question before finishing; null when there is nothing to ask. */
export function finishReview(lines: readonly ReviewLine[], withdrawsCodes: boolean): FinishReview | null {
  const excess = lines
    .filter((l) => l.counted > l.required)
    .map((l) => ({ key: l.key, text: `${l.name}: ${formatQuantity(l.counted)} из ${formatQuantity(l.required)}` }))
  const noCode: FinishReview['noCode'] = []
  let noCodeUnits = 0
  if (withdrawsCodes)
    for (const l of lines) {
      const n = unitsWithoutCode(l)
      if (n === 0) continue
      noCodeUnits += n
      noCode.push({ key: l.key, text: `${l.name}: ${formatQuantity(n)} ед. без кода маркировки — из оборота не выведем` })
    }
  if (excess.length === 0 && noCode.length === 0) return null
  return { title: excess.length ? REVIEW_TEXTS.excessTitle : REVIEW_TEXTS.noCodeTitle, excess, noCode, noCodeUnits }
}

/**
 * "Убрать лишнее" on one line: how many units without a code and how many
 * marks (the last scanned) go, so that the count is the ordered one again.
 * Units without a code go first: a kept unit keeps its code, and no code of
 * a removed unit is withdrawn.
 */
export function excessRemoval(l: Pick<ReviewLine, 'counted' | 'required' | 'marks'>): { plain: number; marks: number } {
  const over = Math.max(0, l.counted - l.required)
  if (over === 0) return { plain: 0, marks: 0 }
  const plain = Math.min(over, Math.max(0, Math.floor(l.counted) - l.marks))
  return { plain, marks: Math.min(l.marks, Math.ceil(over - plain)) }
}
