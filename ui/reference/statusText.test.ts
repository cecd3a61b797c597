import { describe, expect, it } from 'vitest'
import { ageText, assortmentStatusText, EMPTY_STATUS, groupDigits, sizeText, type AssortmentStatus } from './statusText'

const NOW = Date.UTC(2026, 11, 11, 12, 0, 0)
const MIN = 60_000
const s = (patch: Partial<AssortmentStatus>): AssortmentStatus => ({ ...EMPTY_STATUS, ...patch })

describe('status text', () => {
  it.each([
    ['waiting, under 90 s', s({ waitingSec: 89, syncing: true }), 'Справочник загружается, ждем очереди — еще меньше минуты'],
    ['waiting, minutes', s({ waitingSec: 300, syncing: true }), 'Справочник загружается, ждем очереди — еще 5 мин'],
    ['syncing into an empty copy', s({ syncing: true }), 'Загружаем справочник…'],
    ['syncing over a copy', s({ syncing: true, count: 12_345 }), 'Обновляем справочник, пока в нем 12\u00a0345 товаров'],
    ['failed over a copy', s({ error: 'справочник не ответил', count: 21 }), 'Обновить не удалось: справочник не ответил. Работаем по прежней копии, в ней 21 товар'],
    ['failed, nothing loaded', s({ error: 'локальная база не открылась' }), 'Справочник не загружен: локальная база не открылась'],
    ['empty', s({}), 'Справочник еще не загружен — нажмите «Обновить справочник»'],
    ['loaded', s({ count: 3, bytes: 1536, lastSyncAt: NOW - 5 * MIN }), '3 товара, 1,5 КБ, обновлен 5 мин назад'],
    ['loaded, no sync time', s({ count: 100_000, bytes: 31_457_280 }), '100\u00a0000 товаров, 30 МБ, обновлен время неизвестно'],
  ])('%s', (_what, status, text) => {
    expect(assortmentStatusText(status, NOW)).toBe(text)
  })

  it.each([
    [NOW - 59_999, 'только что'],
    [NOW - MIN, '1 мин назад'],
    [NOW - 59 * MIN, '59 мин назад'],
    [NOW - 60 * MIN, '1 ч назад'],
    [NOW - 24 * 60 * MIN, 'вчера'],
    [NOW - 48 * 60 * MIN, '2 дн назад'],
    [NOW + MIN, 'только что'],
  ])('age of a copy synchronised at %i', (at, text) => {
    expect(ageText(at, NOW)).toBe(text)
  })

  it.each([
    [0, '0 Б'],
    [1023, '1\u00a0023 Б'],
    [1024 * 850, '850 КБ'],
    [1024 * 1024 * 12.44, '12,4 МБ'],
  ])('size %i', (bytes, text) => {
    expect(sizeText(bytes)).toBe(text)
  })

  it.each([
    [0, '0'],
    [999, '999'],
    [1000, '1\u00a0000'],
    [1234567, '1\u00a0234\u00a0567'],
  ])('digits of %i', (n, text) => {
    expect(groupDigits(n)).toBe(text)
  })
})
