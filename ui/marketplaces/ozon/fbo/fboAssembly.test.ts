import { describe, expect, it } from 'vitest'
import { assemblyPlan, assemblyScan, collectedCount, finishText, progressPercent, progressText, withoutBarcodeText } from './fboAssembly'
import type { FboItem } from './fboRecords'

const item = (name: string, barcode: string, quantity: number): FboItem => ({ sku: name, name, offerId: name, barcode, quantity, quant: 1 })
// Two rows share a barcode (summed to 3); one row cannot be scanned.
const plan = assemblyPlan([item('Мыло', '4600000000011', 2), item('Мыло в подарочной упаковке', '4600000000011', 1), item('Губка', 'OZN123', 1), item('', '', 4)])

describe('the assembly plan', () => {
  it('sums rows with one barcode and lists rows without one apart', () => {
    expect(plan.lines).toEqual([
      { barcode: '4600000000011', name: 'Мыло', total: 3 },
      { barcode: 'OZN123', name: 'Губка', total: 1 },
    ])
    expect(plan.withoutBarcode).toEqual([{ name: 'Товар без названия', quantity: 4 }])
    expect(withoutBarcodeText(plan.withoutBarcode[0]!)).toBe('без штрихкода — 4 шт')
    expect(plan.total).toBe(4)
  })
})

describe('one assembly scan', () => {
  it.each<[string, Record<string, number>, string, Partial<ReturnType<typeof assemblyScan>>]>([
    ['blank', {}, '  ', { kind: 'unreadable', message: 'Штрихкод не распознан', ok: false, sound: 'error' }],
    ['not in the supply', {}, '2000000000000', { kind: 'not-in-supply', message: 'В поставке нет товара с кодом 2000000000000', ok: false, sound: 'error', vibrate: 'error' }],
    ['progress', { '4600000000011': 1 }, '4600000000011', { kind: 'progress', message: 'Мыло: собрано 2 из 3', ok: true, collected: 2, sound: 'checked' }],
    ['the last piece of a line', { '4600000000011': 2 }, '4600000000011', { kind: 'line-done', message: 'Мыло: собрано 3 из 3', collected: 3, sound: 'success' }],
    ['already complete', { '4600000000011': 3 }, '4600000000011', { kind: 'complete', message: 'Мыло уже собран полностью', ok: false, collected: null, sound: 'tooMuch', vibrate: 'warning' }],
    ['typed on the Russian layout', {}, 'ЩЯТ123', { kind: 'line-done', message: 'Губка: собрано 1 из 1', barcode: 'OZN123' }],
  ])('%s', (_name, counts, code, expected) => {
    expect(assemblyScan(plan, counts, code)).toMatchObject(expected)
  })
})

describe('progress', () => {
  it('counts at most a line\'s total and says when the assembly is finished', () => {
    expect(collectedCount(plan, { '4600000000011': 5, OZN123: 0 })).toBe(3)
    expect(progressText(3, 4)).toBe('Собрано 3 из 4 шт')
    expect(progressPercent(3, 4)).toBe(75)
    expect(progressPercent(0, 0)).toBe(0)
    expect(finishText(4, 4)).toEqual({ ok: true, text: 'Сборка завершена: 4 из 4' })
    expect(finishText(3, 4)).toEqual({ ok: false, text: 'Собраны не все товары — можно вернуться к сборке или разложить по грузоместам' })
  })
})
