import { describe, expect, it } from 'vitest'
import {
  dateText,
  displayNumber,
  matchesSearch,
  priceText,
  readTask,
  readTasks,
  shopChips,
  shopLabel,
  stageOf,
  waitSeconds,
  waitText,
  type WbTask,
} from './wbTask'

const task = (fields: Partial<WbTask> = {}): WbTask => ({ ...readTask({ id: 1 })!, ...fields })

describe('a Wildberries task as shown', () => {
  it.each<[number | null, string | null]>([
    [123456, '1234,56 ₽'],
    [0, '0,00 ₽'],
    [5, '0,05 ₽'],
    [-1, null],
    [null, null],
    [Number.NaN, null],
  ])('price %s kopecks → %s', (kopecks, shown) => {
    expect(priceText(kopecks)).toBe(shown)
  })

  it.each<[string, string, string, string]>([
    [' Confirm ', '', 'assembly', 'На сборке'],
    [' Confirm ', '   ', 'assembly', 'На сборке'],
    ['CONFIRM', 'WB-GI-1', 'supply', 'В поставке'],
    ['complete', '', 'done', 'Собрано'],
    ['cancel', '', 'cancel', 'Отменено'],
    ['Cancel_Carrier', 'WB-GI-1', 'cancel', 'Отменено'],
    ['declined', '', 'cancel', 'Отменено'],
    ['new', '', 'new', 'Новое'],
    ['sorted', '', 'new', 'Новое'],
    ['', '', 'new', 'Новое'],
  ])('status %j with supply %j is %s', (supplierStatus, supplyId, key, text) => {
    expect(stageOf({ supplierStatus, supplyId })).toEqual({ key, text })
  })

  it.each<[Partial<WbTask>, string]>([
    [{ id: 77, rid: ' 1234567 ', number: '99' }, '1234567'],
    [{ id: 77, rid: '  ', number: ' 99 ' }, '99'],
    [{ id: 77 }, '77'],
  ])('display number of %j is %s', (fields, shown) => {
    expect(displayNumber(task(fields))).toBe(shown)
  })

  it('shop label falls back to the seller id, then a dash', () => {
    expect([shopLabel(task({ shop: ' Лесная ' })), shopLabel(task({ sellerId: ' 42 ' })), shopLabel(task())]).toEqual(['Лесная', '42', '—'])
  })

  it('reads tasks defensively: no usable id, no task; numbers as text; absent texts empty, an absent price unknown', () => {
    const read = readTasks([{ id: '3100001207', article: 5 }, { id: 0 }, { id: -4 }, { rid: 'x' }, null, 'junk', { id: 1.5 }])
    expect(read).toEqual([
      { id: 3100001207, rid: '', number: '', article: '5', barcode: '', supplierStatus: '', supplyId: '', priceKopecks: null, createdAt: '', shop: '', sellerId: '' },
    ])
  })

  it('date: day, month and two-digit year, with the time when the text has one', () => {
    expect(dateText('2026-12-10')).toBe('10.12.26')
    expect(dateText(new Date(2026, 11, 10, 9, 5).toISOString())).toBe('10.12.26 09:05')
    expect(dateText('вчера')).toBe('вчера')
  })
})

describe('the task search', () => {
  const t = task({ id: 3100001207, number: 'A-77', article: '1234', barcode: '2040512345607' })
  it.each<[string, boolean]>([
    ['12-34', true],
    [' 1234 ', true],
    ['a77', true],
    ['a-77', true],
    ['310000', true],
    ['45607', true],
    ['', true],
    ['9999', false],
    ['12 34', false],
  ])('%j finds the task: %s', (query, found) => {
    expect(matchesSearch(t, query)).toBe(found)
  })
})

describe('the shop chips', () => {
  it('the answer’s shops by title, then shops seen only in tasks; none for one shop', () => {
    const shops = [
      { sellerId: '1', title: 'Основной', organizationName: 'ООО А' },
      { sellerId: '2', title: '', organizationName: 'ИП Б' },
      { sellerId: '3', title: '', organizationName: '' },
    ]
    const tasks = [task({ sellerId: '2' }), task({ sellerId: '9', shop: 'Старый' }), task({ sellerId: '8' })]
    expect(shopChips(shops, tasks).map((c) => c.title)).toEqual(['Основной', 'ИП Б', '3', 'Старый', '8'])
    expect(shopChips([shops[0]!], [task({ sellerId: '1' })])).toEqual([])
  })
})

describe('the wait after a rate limit', () => {
  it.each<[unknown, number, string]>([
    ['7.2', 8, 'через 8 с'],
    [7.2, 8, 'через 8 с'],
    [3, 3, 'через 3 с'],
    [undefined, 60, 'через минуту'],
    ['', 60, 'через минуту'],
    ['soon', 60, 'через минуту'],
    [0, 60, 'через минуту'],
    [-5, 60, 'через минуту'],
  ])('retryAfter %j → %s s', (retryAfter, seconds, text) => {
    expect(waitSeconds(retryAfter)).toBe(seconds)
    expect(waitText(waitSeconds(retryAfter))).toBe(text)
  })
})
