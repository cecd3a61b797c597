/**
 * Editing a position of the document: the quantity field's rules, the
 * confirmation of a quantity above the order, what a new quantity does to
 * the counted items and marks, and the texts of every refusal.
 */
import { RefusalError } from '../../core/requests'
import { refusalText } from './refusalText'
import { formatQuantity } from './scanOutcome'

export const REASON_MAX = 200
export const QUANTITY_MAX = 1_000_000

export const EDIT_TEXTS = {
  offlineHint: 'Правка состава только при связи',
  noAnswer: 'Нет ответа. Проверьте связь и повторите.',
  forbidden: 'Вашей роли нельзя править состав документа. Обратитесь к администратору.',
  unsupported: 'Состав этого документа править нельзя: отправления Ozon не правятся.',
  notFound: 'Такой позиции в документе уже нет. Обновите документ.',
  msError: 'МойСклад не принял правку. Попробуйте еще раз.',
  invalid: 'Сервер не принял количество. Проверьте число.',
  confirmRequired: 'Нужно подтвердить количество больше заказанного.',
} as const

export type QuantityCheck = { ok: true; value: number } | { ok: false; error: string }

/** The "Новое количество" field: blanks removed, a comma read as the decimal point. */
export function validateQuantity(input: string): QuantityCheck {
  const text = input.replace(/\s+/g, '').replace(',', '.')
  if (text === '') return { ok: false, error: 'Введите количество' }
  if (!/^[-+]?(\d+(\.\d*)?|\.\d+)$/.test(text)) return { ok: false, error: 'Количество — число, например 5 или 2,5' }
  const value = Number(text)
  if (!Number.isFinite(value)) return { ok: false, error: 'Количество — число, например 5 или 2,5' }
  if (value <= 0) return { ok: false, error: 'Количество должно быть больше нуля. Чтобы убрать товар, удалите позицию' }
  const decimals = text.includes('.') ? text.split('.')[1]!.replace(/0+$/, '').length : 0
  if (decimals > 3) return { ok: false, error: 'Не больше 3 знаков после запятой' }
  if (value > QUANTITY_MAX) return { ok: false, error: 'Слишком большое количество' }
  return { ok: true, value }
}

/** "Заказано <old>, поставить <new>?" */
export function confirmOverText(ordered: number, next: number): string {
  return `Заказано ${formatQuantity(ordered)}, поставить ${formatQuantity(next)}?`
}

export interface QuantityChange {
  required: number
  checked: number
  marks: string[]
  /** the marks taken off the end */
  removedMarks: string[]
  orderedQuantity?: number
  note: string
}

/**
 * A new quantity for a position: a count above it is cut down, marks beyond
 * it are removed from the end; `orderedQuantity` follows when it was set.
 */
export function applyNewQuantity(
  p: { name: string; checked: number; orderedQuantity?: number },
  marks: readonly string[],
  quantity: number,
): QuantityChange {
  const checked = Math.min(p.checked, quantity)
  // Marks never outnumber the count.
  const keep = Math.min(marks.length, Math.floor(checked))
  const change: QuantityChange = {
    required: quantity,
    checked,
    marks: marks.slice(0, keep),
    removedMarks: marks.slice(keep),
    note: checked < p.checked ? `Отсканированное по «${p.name}» уменьшено до ${formatQuantity(checked)}` : `Количество по «${p.name}» изменено`,
  }
  if (p.orderedQuantity !== undefined) change.orderedQuantity = quantity
  return change
}

/** The text of a failed quantity change or deletion. */
export function editErrorText(err: unknown): string {
  if (!(err instanceof RefusalError)) return EDIT_TEXTS.noAnswer
  const { code, message } = err.info
  switch (code) {
    case 'forbidden':
      return EDIT_TEXTS.forbidden
    case 'unsupported':
      return EDIT_TEXTS.unsupported
    case 'not-found':
      return EDIT_TEXTS.notFound
    case 'ms-error':
      return message && message !== code ? `МойСклад не принял правку: ${message}` : EDIT_TEXTS.msError
    case 'invalid':
      return message && message !== code ? message : EDIT_TEXTS.invalid
    case 'confirm-required':
      return EDIT_TEXTS.confirmRequired
    default:
      return refusalText(err.info)
  }
}

/**
 * The line keys that change when the document's lines change (a product on
 * several lines is keyed "id", "id#2", …, so when one line goes the later
 * ones move up a key): old key → new key, for lines still there only.
 */
export function lineKeyMoves<P>(before: ReadonlyMap<P, string>, after: ReadonlyMap<P, string>): Map<string, string> {
  const moves = new Map<string, string>()
  for (const [line, key] of before) {
    const to = after.get(line)
    if (to !== undefined && to !== key) moves.set(key, to)
  }
  return moves
}
