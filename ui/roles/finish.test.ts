import { describe, expect, it } from 'vitest'
import type { PositionRecord } from '../documents/records'
import {
  boxesError,
  finishDialogNeeded,
  finishDialogTexts,
  missingReasons,
  roleFinishButton,
  roleProgress,
  shortFinishAllowed,
  shortRowText,
} from './finish'

function pos(o: Partial<PositionRecord>): PositionRecord {
  return { assortmentId: 'p', name: 'Товар', code: '', barcodes: [], required: 2, checked: 0, status: 'pending', cell: '', ...o }
}

describe('progress with roles', () => {
  it('counts positions with something required and those the collector found none of; a confirmed reason is done', () => {
    const progress = roleProgress([
      { p: pos({ checked: 2 }) },
      { p: pos({ checked: 1 }) },
      { p: pos({ checked: 1 }), entry: { reason: 'брак', comment: '', confirmed: true } },
      { p: pos({ required: 0, checked: 0 }) },
      { p: pos({ required: 0, orderedQuantity: 2, collectedQuantity: 0, checked: 0 }) },
      { p: pos({ required: 0, orderedQuantity: 2, collectedQuantity: 0, checked: 1 }) },
    ])
    expect(progress).toEqual({ done: 3, total: 5, left: 2 })
  })
})

describe('the finish button', () => {
  const left = (n: number) => ({ done: 0, total: n, left: n })
  it.each<[string, Parameters<typeof roleFinishButton>[0], string, boolean]>([
    ['start pending', { role: 'collector', startPending: true, progress: { done: 2, total: 2, left: 0 }, shortAllowed: true }, 'Сначала начните сборку', false],
    ['collector, all done', { role: 'collector', startPending: false, progress: { done: 2, total: 2, left: 0 }, shortAllowed: false }, '✅ Завершить сборку', true],
    ['checker, all done', { role: 'checker', startPending: false, progress: { done: 2, total: 2, left: 0 }, shortAllowed: false }, '✅ Завершить проверку', true],
    ['collector, short allowed', { role: 'collector', startPending: false, progress: left(1), shortAllowed: true }, 'Завершить с недобором', true],
    ['checker, short allowed', { role: 'checker', startPending: false, progress: left(1), shortAllowed: true }, 'Завершить с расхождениями', true],
    ['1 left', { role: 'collector', startPending: false, progress: left(1), shortAllowed: false }, 'Осталась 1 позиция', false],
    ['2 left', { role: 'collector', startPending: false, progress: left(2), shortAllowed: false }, 'Осталось 2 позиции', false],
    ['5 left', { role: 'checker', startPending: false, progress: left(5), shortAllowed: false }, 'Осталось 5 позиций', false],
    ['11 left', { role: 'collector', startPending: false, progress: left(11), shortAllowed: false }, 'Осталось 11 позиций', false],
    ['21 left', { role: 'collector', startPending: false, progress: left(21), shortAllowed: false }, 'Осталась 21 позиция', false],
    ['nothing to pick', { role: 'collector', startPending: false, progress: { done: 0, total: 0, left: 0 }, shortAllowed: true }, '✅ Завершить сборку', false],
  ])('%s', (_n, o, label, enabled) => {
    expect(roleFinishButton(o)).toMatchObject({ label, enabled })
  })

  it.each<['collector' | 'checker', string[], boolean]>([
    ['collector', ['closeShort'], true],
    ['collector', ['control'], false],
    ['checker', ['control'], true],
    ['checker', [], false],
  ])('finishing short: %s with %o → %s', (role, perms, expected) => {
    expect(shortFinishAllowed(role, (p) => perms.includes(p))).toBe(expected)
  })
})

describe('the finish dialog', () => {
  const base = { reasonsRequired: false, boxesRequired: false, hasQuestions: false }
  it.each<[string, Parameters<typeof finishDialogTexts>[0], string, string[]]>([
    ['collector, 1 of 1', { ...base, role: 'collector', short: 1, total: 1 }, 'Завершить с недобором?', ['Не собрано полностью: 1 из 1 позиции. Причину можно указать — так проще потом разобраться.']],
    ['collector, 1 of 2', { ...base, role: 'collector', short: 1, total: 2 }, 'Завершить с недобором?', ['Не собрано полностью: 1 из 2 позиций. Причину можно указать — так проще потом разобраться.']],
    ['collector, 2 of 5, reasons required', { ...base, role: 'collector', short: 2, total: 5, reasonsRequired: true }, 'Завершить с недобором?', ['Не собрано полностью: 2 из 5 позиций. Укажите причину у каждой.']],
    ['collector, 3 of 11', { ...base, role: 'collector', short: 3, total: 11 }, 'Завершить с недобором?', ['Не собрано полностью: 3 из 11 позиций. Причину можно указать — так проще потом разобраться.']],
    ['collector, 5 of 21', { ...base, role: 'collector', short: 5, total: 21 }, 'Завершить с недобором?', ['Не собрано полностью: 5 из 21 позиции. Причину можно указать — так проще потом разобраться.']],
    ['checker, 1 of 5', { ...base, role: 'checker', short: 1, total: 5 }, 'Завершить проверку?', ['По 1 позиции из 5 пересчитано меньше заказанного. Причину можно указать.']],
    ['checker, 2 of 5, reasons required', { ...base, role: 'checker', short: 2, total: 5, reasonsRequired: true }, 'Завершить проверку?', ['По 2 позициям из 5 пересчитано меньше заказанного. Укажите причину у каждой.']],
    ['checker, 5 of 21', { ...base, role: 'checker', short: 5, total: 21 }, 'Завершить проверку?', ['По 5 позициям из 21 пересчитано меньше заказанного. Причину можно указать.']],
    ['checker, 11 of 21', { ...base, role: 'checker', short: 11, total: 21 }, 'Завершить проверку?', ['По 11 позициям из 21 пересчитано меньше заказанного. Причину можно указать.']],
    ['checker, 21 of 30, boxes', { ...base, role: 'checker', short: 21, total: 30, boxesRequired: true }, 'Завершить проверку?', ['По 21 позиции из 30 пересчитано меньше заказанного. Причину можно указать.', 'Укажите, сколько получилось коробок.']],
    ['checker, nothing short, boxes', { ...base, role: 'checker', short: 0, total: 3, boxesRequired: true }, 'Завершить проверку?', ['Действие нельзя отменить.', 'Укажите, сколько получилось коробок.']],
    ['collector, nothing short, questions', { ...base, role: 'collector', short: 0, total: 3, hasQuestions: true }, 'Завершить документ?', ['Ответьте на вопросы, чтобы завершить.']],
  ])('%s', (_n, o, title, lines) => {
    expect(finishDialogTexts(o)).toEqual({ title, lines })
  })

  it('rows, when it is needed, boxes and missing reasons', () => {
    expect(shortRowText(pos({ checked: 1, required: 3 }), 'collector')).toBe('Собрано 1 из 3')
    expect(shortRowText(pos({ checked: 1, required: 2, orderedQuantity: 3, collectedQuantity: 2 }), 'checker')).toBe('Заказано 3, сборщик насчитал 2, проверено 1')
    expect(finishDialogNeeded({ role: 'checker', short: 0, boxesRequired: true })).toBe(true)
    expect(finishDialogNeeded({ role: 'collector', short: 0, boxesRequired: true })).toBe(false)
    expect(finishDialogNeeded({ role: 'collector', short: 1, boxesRequired: false })).toBe(true)
    expect(finishDialogNeeded({ role: null, short: 3, boxesRequired: true })).toBe(false)
    expect([boxesError(1), boxesError(0), boxesError(1.5)]).toEqual(['', 'Количество коробок — целое число больше нуля.', 'Количество коробок — целое число больше нуля.'])
    const rows = [{ key: 'a' }, { key: 'b' }, { key: 'c' }]
    expect(missingReasons(rows, { a: { reason: 'брак', comment: '' }, b: { reason: ' ', comment: 'x' } }, true)).toEqual(['b', 'c'])
    expect(missingReasons(rows, {}, false)).toEqual([])
  })
})
