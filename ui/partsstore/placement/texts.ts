/** The texts of the placement screen: quantities, plural words and the last action's sentences. */
import { roundQty } from '../records'

/** At most 4 decimals like the data and the input, trailing zeros removed, never "-0". */
export function formatQty(n: number): string {
  const r = roundQty(n)
  return String(Object.is(r, -0) || r === 0 ? 0 : r).replace('.', ',')
}

/** The Russian plural form for `n`: one (1, 21), few (2–4, 22–24), many (0, 5–20, 25…). */
export function plural(n: number, one: string, few: string, many: string): string {
  const d = Math.abs(n) % 100
  if (d >= 11 && d <= 14) return many
  const u = d % 10
  if (u === 1) return one
  if (u >= 2 && u <= 4) return few
  return many
}

export interface SingleAction {
  kind: 'put' | 'take' | 'move'
  productId: number
  name: string
  internalBarcode: string
  price: number | null
  quantity: number
  /** the cell of a put or a take, the source of a move */
  cell: { id: number; path: string }
  /** the target of a move */
  to?: { id: number; path: string }
}

export interface MultiEntry {
  productId: number
  name: string
  internalBarcode: string
  price: number | null
  quantity: number
}

export type Action =
  | SingleAction
  | { kind: 'multi'; mode: 'put' | 'take'; entries: MultiEntry[]; cell: { id: number; path: string } }
  | { kind: 'group'; entries: MultiEntry[]; source: { id: number; path: string }; target: { id: number; path: string } }

export function actionText(a: Action): string {
  switch (a.kind) {
    case 'put':
      return `Положили ${formatQty(a.quantity)} шт „${a.name}“ в „${a.cell.path}“`
    case 'take':
      return `Взяли ${formatQty(a.quantity)} шт „${a.name}“ из „${a.cell.path}“`
    case 'move':
      return moveText(a.quantity, a.name, a.cell.path, a.to?.path ?? '')
    case 'multi': {
      const n = a.entries.length
      const word = plural(n, 'товар', 'товара', 'товаров')
      return a.mode === 'put' ? `Положили ${n} ${word} в «${a.cell.path}»` : `Забрали ${n} ${word} из «${a.cell.path}»`
    }
    case 'group': {
      const [only] = a.entries
      if (a.entries.length === 1 && only) return moveText(only.quantity, only.name, a.source.path, a.target.path)
      const n = a.entries.length
      return `Перенесено ${n} ${plural(n, 'позиции', 'позиции', 'позиций')} из ${a.source.path} в ${a.target.path}`
    }
  }
}

const moveText = (q: number, name: string, from: string, to: string) => `${formatQty(q)} шт. ${name} перенесено из ${from} в ${to}`

/** The run button of a group move. */
export const moveButtonText = (n: number) => `Переместить ${n} ${plural(n, 'позицию', 'позиции', 'позиций')}`

export const takenAllText = (q: number, name: string) =>
  `Забрано ${formatQty(q)} шт. «${name}». Товар теперь без ячейки: найдите его в «Товарах» (фильтр «Без ячейки») или отсканируйте штрихкод товара, чтобы положить в другую ячейку`
