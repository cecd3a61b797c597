/**
 * Conflicting rows of an import on the screen: the line that says what a row
 * collides with, and the choices sent with the run (only rows the user
 * decided; the rest stay untouched by the service).
 */
import type { ImportConflict, ImportResolution } from './records'

const price = (n: number | undefined) => (n === undefined ? '—' : String(n).replace('.', ','))

/** What a conflicting row collides with, as one line. */
export function conflictText(c: ImportConflict): string {
  const head = `Строка ${c.line}: «${c.name}»`
  if (c.kind === 'barcode_taken') return `${head} — штрихкод ${c.barcode} уже у товара «${c.otherName}»`
  if (c.kind === 'barcode_repeated') return `${head} — штрихкод ${c.barcode} уже в строке ${c.otherLine} у «${c.otherName}»`
  return `${head} — цена ${price(c.price)}, а в строке ${c.otherLine} — ${price(c.otherPrice)}`
}

/** The labels of the two choices: for a shared barcode, the rows are one product or the row is left out. */
export const RESOLUTION_LABELS: Readonly<Record<ImportResolution, string>> = Object.freeze({
  same: 'Это тот же товар',
  skip: 'Пропустить строку',
})

/** The choices for the conflicts still listed (a choice for a row no longer in conflict is dropped). */
export function resolutionsFor(conflicts: readonly ImportConflict[], chosen: Readonly<Record<number, ImportResolution>>): Record<number, ImportResolution> {
  const out: Record<number, ImportResolution> = {}
  for (const c of conflicts) {
    const r = chosen[c.line]
    if (r) out[c.line] = r
  }
  return out
}

/** How many listed conflicts still wait for the user's word. */
export function undecidedCount(conflicts: readonly ImportConflict[], chosen: Readonly<Record<number, ImportResolution>>): number {
  return conflicts.filter((c) => !chosen[c.line]).length
}
