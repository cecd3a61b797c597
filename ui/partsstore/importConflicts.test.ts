import { describe, expect, it } from 'vitest'
import { conflictText, resolutionsFor, undecidedCount } from './importConflicts'
import { normaliseImportResult, type ImportConflict } from './records'

const taken: ImportConflict = { line: 2, kind: 'barcode_taken', name: 'Прокладка клапанной крышки', barcode: '4607000100055', otherName: 'Лампа H7 №06', otherLine: 0 }
const repeated: ImportConflict = { line: 5, kind: 'barcode_repeated', name: 'Щетка', barcode: '4601234567893', otherName: 'Свеча', otherLine: 3 }
const price: ImportConflict = { line: 4, kind: 'price_differs', name: 'Свеча', barcode: '4601234567893', otherName: 'Свеча', otherLine: 3, price: 120.5, otherPrice: 100 }

describe('conflicting import rows', () => {
  it.each<[ImportConflict, string]>([
    [taken, 'Строка 2: «Прокладка клапанной крышки» — штрихкод 4607000100055 уже у товара «Лампа H7 №06»'],
    [repeated, 'Строка 5: «Щетка» — штрихкод 4601234567893 уже в строке 3 у «Свеча»'],
    [price, 'Строка 4: «Свеча» — цена 120,5, а в строке 3 — 100'],
  ])('%#: %s', (c, text) => {
    expect(conflictText(c)).toBe(text)
  })

  it('sends the choices of listed rows only and counts the rows still waiting', () => {
    const chosen = { 2: 'same', 9: 'skip' } as const
    expect(resolutionsFor([taken, repeated], chosen)).toEqual({ 2: 'same' })
    expect(undecidedCount([taken, repeated], chosen)).toBe(1)
  })

  it('reads conflicts from a result, dropping what is no conflict', () => {
    const r = normaliseImportResult({ conflicts: [taken, { ...repeated, kind: 'other' }, { kind: 'barcode_taken' }, 'x'], conflictsSkipped: 1 })
    expect(r.conflicts).toEqual([taken])
    expect(r).toMatchObject({ conflictsSkipped: 1, conflictsMerged: 0 })
  })
})
