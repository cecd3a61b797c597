import { describe, expect, it } from 'vitest'
import type { PositionRecord } from '../documents/records'
import { positionNote } from './positionNotes'
import { DEFAULT_ROLES_SETTINGS } from './rolesSettings'
import {
  carriedDispute,
  checkerPrefill,
  confirmReason,
  defaultReason,
  disputeReason,
  needsShortfall,
  parseFoundCount,
  reasonInput,
  roleItemFields,
  shortfallCardTitle,
  withDefaultReasons,
} from './shortfalls'

function pos(o: Partial<PositionRecord>): PositionRecord {
  return { assortmentId: 'p', name: 'Товар', code: '', barcodes: [], required: 3, checked: 0, status: 'pending', cell: '', ...o }
}

describe('shortfall entries', () => {
  it.each<[string, Partial<PositionRecord>, 'collector' | 'checker', boolean]>([
    ['collector, counted less', { checked: 2 }, 'collector', true],
    ['collector, counted all', { checked: 3 }, 'collector', false],
    ['checker, collector short by count', { checked: 3, collectedQuantity: 2 }, 'checker', true],
    ['checker, collector gave a reason', { checked: 3, collectedQuantity: 3, collectorShortfall: { reason: 'брак', comment: '' } }, 'checker', true],
    ['checker found some but not all', { checked: 1, collectedQuantity: 3 }, 'checker', true],
    ['checker found none, collector was complete', { checked: 0, collectedQuantity: 3 }, 'checker', false],
    ['checker found all', { checked: 3, collectedQuantity: 3 }, 'checker', false],
    ['checker, ordered differs from required', { checked: 2, required: 2, orderedQuantity: 3, collectedQuantity: 2 }, 'checker', true],
  ])('%s', (_n, o, r, expected) => {
    expect(needsShortfall(pos(o), r)).toBe(expected)
  })

  it.each<[string[], string]>([
    [['нет на складе', 'не нашел', 'брак'], 'не нашел'],
    [['нет на складе', '  Не Нашёл '], '  Не Нашёл '],
    [['брак', 'пересорт'], 'брак'],
    [[], ''],
  ])('the default reason of %o is %o (ё read as е)', (reasons, expected) => {
    expect(defaultReason(reasons)).toBe(expected)
  })

  it('a collector who skips reasons gets the default reason on every short position, a given reason stays', () => {
    const reasons = ['нет на складе', 'брак', 'не нашел']
    const out = withDefaultReasons({ b: { reason: 'брак', comment: '' }, c: { reason: ' ', comment: 'угол помят' } }, ['a', 'b', 'c'], reasons)
    expect(out).toEqual({
      a: { reason: 'не нашел', comment: '' },
      b: { reason: 'брак', comment: '' },
      c: { reason: 'не нашел', comment: 'угол помят' },
    })
    expect(withDefaultReasons({}, ['a'], [])).toEqual({})
  })

  it.each<[string, Partial<typeof DEFAULT_ROLES_SETTINGS>, 'collector' | 'checker', boolean, string, ReturnType<typeof reasonInput>]>([
    ['a list, optional', { shortfallReasons: ['брак'] }, 'collector', false, '', { kind: 'select', label: 'Причина (по желанию)', options: ['брак'] }],
    ['a list, required', { shortfallReasons: ['брак'], shortfallReasonRequired: true }, 'checker', false, '', { kind: 'select', label: 'Причина', options: ['брак'] }],
    ['a chosen reason no longer listed stays first', { shortfallReasons: ['брак'] }, 'checker', false, 'сломан', { kind: 'select', label: 'Причина (по желанию)', options: ['сломан', 'брак'] }],
    ['no list, required: free text', { shortfallReasonRequired: true }, 'collector', false, '', { kind: 'text', label: 'Причина недобора', max: 80 }],
    ['no list, optional: nothing', {}, 'collector', false, '', { kind: 'none' }],
    ['a collector who skips reasons', { shortfallReasons: ['брак'], shortfallReasonRequired: true }, 'collector', true, '', { kind: 'none' }],
    ['a checker is never skipped', { shortfallReasons: ['брак'] }, 'checker', true, '', { kind: 'select', label: 'Причина (по желанию)', options: ['брак'] }],
  ])('reason input: %s', (_n, s, r, skips, chosen, expected) => {
    expect(reasonInput({ ...DEFAULT_ROLES_SETTINGS, ...s }, r, skips, chosen)).toEqual(expected)
  })

  it('the checker starts from his own dispute, else from the collector; confirming needs a reason or a comment', () => {
    const collector = { reason: 'нет на складе', comment: 'ячейка пуста' }
    expect(checkerPrefill({ collectorShortfall: collector })).toEqual(collector)
    expect(checkerPrefill({ collectorShortfall: collector, checkerShortfall: { reason: '', comment: '', disputed: true } })).toEqual({ reason: '', comment: '', disputed: true })
    expect(checkerPrefill({})).toEqual({ reason: '', comment: '' })
    expect(confirmReason({ reason: 'брак', comment: '', disputed: true })).toEqual({ reason: 'брак', comment: '', confirmed: true })
    expect(confirmReason({ reason: ' ', comment: '' })).toBeNull()
    expect(disputeReason()).toEqual({ reason: '', comment: '', disputed: true })
    expect(shortfallCardTitle({ reason: '', comment: '', disputed: true })).toBe('Причина недобора · спор')
    expect(shortfallCardTitle({ reason: 'брак', comment: '', confirmed: true })).toBe('Причина недобора · принята')
  })

  it.each<[string, number, number | string]>([
    ['2', 3, 2],
    ['0', 3, 0],
    ['1,5', 3, 1.5],
    ['2.125', 3, 2.125],
    ['2.1255', 3, 'Сколько нашли — число от 0 до 3'],
    ['4', 3, 'Сколько нашли — число от 0 до 3'],
    ['-1', 3, 'Сколько нашли — число от 0 до 3'],
    ['', 3, 'Сколько нашли — число от 0 до 3'],
  ])('"Сколько нашли" %o of %d', (text, ordered, expected) => {
    const r = parseFoundCount(text, ordered)
    expect(r.ok ? r.count : r.error).toBe(expected)
  })

  it.each<[string, number, number, Parameters<typeof roleItemFields>[2], ReturnType<typeof roleItemFields>]>([
    ['no entry', 3, 3, undefined, { ordered: 3 }],
    ['short with a reason', 1, 3, { reason: 'брак', comment: '' }, { ordered: 3, shortfall: { reason: 'брак', comment: '' } }],
    ['short with a comment only', 1, 3, { reason: '', comment: 'в пути' }, { ordered: 3, shortfall: { reason: '', comment: 'в пути' } }],
    ['short without text', 1, 3, { reason: '', comment: '' }, { ordered: 3 }],
    ['a dispute with a reason', 1, 3, { reason: 'пересорт', comment: '', disputed: true }, { ordered: 3, shortfall: { reason: 'пересорт', comment: '', disputed: true } }],
    ['a dispute without reason or comment', 1, 3, { reason: '', comment: '', disputed: true }, { ordered: 3, disputed: true }],
    ['a dispute on a complete position', 3, 3, { reason: 'брак', comment: '', disputed: true }, { ordered: 3, disputed: true }],
    ['the checker confirms the reason', 2, 3, { reason: 'брак', comment: '', confirmed: true }, { ordered: 3, shortfall: { reason: 'брак', comment: '', confirmed: true } }],
  ])('completion item: %s', (_n, counted, ordered, entry, expected) => {
    expect(roleItemFields(counted, ordered, entry)).toEqual(expected)
  })

  it('a dispute the server holds is carried when the checker left the position alone', () => {
    const p = { checkerShortfall: { reason: '', comment: '', disputed: true } }
    expect(carriedDispute(p, undefined)).toEqual({ reason: '', comment: '', disputed: true })
    expect(carriedDispute(p, { reason: 'брак', comment: '', confirmed: true })).toEqual({ reason: 'брак', comment: '', confirmed: true })
    expect(carriedDispute({}, undefined)).toBeUndefined()
  })
})

describe('notes per position', () => {
  it.each<[string, Partial<PositionRecord>, 'collector' | 'checker', boolean, ReturnType<typeof positionNote>]>([
    ['checker, the collector was short with a reason', { checked: 2, collectedQuantity: 2, collectorShortfall: { reason: 'нет на складе', comment: 'ячейка пуста' } }, 'checker', true, { text: 'Сборщик насчитал 2 · причина: нет на складе: ячейка пуста', tone: 'warn' }],
    ['checker found more than the collector', { checked: 3, collectedQuantity: 2 }, 'checker', true, { text: 'Сборщик насчитал 2 · нашли на 1 больше, чем сборщик', tone: 'info' }],
    ['checker found more than ordered', { checked: 5, collectedQuantity: 3 }, 'checker', true, { text: 'Сборщик насчитал 3 · нашли на 2 больше, чем сборщик', tone: 'bad' }],
    ['the collector found none', { checked: 0, collectedQuantity: 0 }, 'checker', true, { text: 'Сборщик насчитал 0', tone: 'bad' }],
    ['the collector was complete', { checked: 1, collectedQuantity: 3 }, 'checker', true, null],
    ['not in check mode', { checked: 0, collectedQuantity: 0 }, 'checker', false, null],
    ['collector: the checker disputes with a reason', { checkedQuantity: 1, checkerShortfall: { reason: 'пересорт', comment: 'другой цвет', disputed: true } }, 'collector', false, { text: 'Контролер не согласен: нашли 1, причина — пересорт: другой цвет', tone: 'warn' }],
    ['collector: a bare dispute', { checkedQuantity: 0, checkerShortfall: { reason: '', comment: '', disputed: true } }, 'collector', false, { text: 'Контролер не согласен: нашли 0', tone: 'warn' }],
  ])('%s', (_n, o, r, check, expected) => {
    expect(positionNote(pos(o), r, check)).toEqual(expected)
  })
})
