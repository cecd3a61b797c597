import { describe, expect, it } from 'vitest'
import { formatNumber, formatPrice, formatQuantity, parseNumber } from './numbers'

const N = '\u202F'

describe('numbers as Russian users read them', () => {
  it.each([
    [137.13, '137,13 ₽'],
    [1802.98, '1802,98 ₽'],
    [1890.5, '1890,50 ₽'],
    [12500, `12${N}500,00 ₽`],
    [1234567.891, `1${N}234${N}567,89 ₽`],
    [0, '0,00 ₽'],
    [0.005, '0,01 ₽'],
  ])('price %s', (n, text) => {
    expect(formatPrice(n)).toBe(text)
  })

  it.each([
    [3, 3, '3'],
    [2.5, 3, '2,5'],
    [1000, 3, '1000'],
    [0.1 + 0.2, 3, '0,3'],
    [1.23456, 4, '1,2346'],
    [25000.75, 3, `25${N}000,75`],
    [-2, 3, '-2'],
  ])('quantity %s (%s decimals)', (n, max, text) => {
    expect(formatQuantity(n, max)).toBe(text)
  })

  it('an impossible number is shown as nothing', () => {
    expect(formatNumber(Number.NaN, 2)).toBe('')
  })
})

describe('numbers as Russian users type them', () => {
  it.each([
    ['1 890,50', 2, { ok: true, value: 1890.5 }],
    ['1\u00A0890,50', 2, { ok: true, value: 1890.5 }],
    [`1${N}890.50`, 2, { ok: true, value: 1890.5 }],
    ['1\u2009890', 2, { ok: true, value: 1890 }],
    ['  137.13 ', 2, { ok: true, value: 137.13 }],
    ['0', 2, { ok: true, value: 0 }],
    ['2,5', 4, { ok: true, value: 2.5 }],
    ['', 2, { ok: false, reason: 'empty' }],
    ['  ', 2, { ok: false, reason: 'empty' }],
    ['-5', 2, { ok: false, reason: 'negative' }],
    ['−5', 2, { ok: false, reason: 'negative' }],
    ['1,890.50', 2, { ok: false, reason: 'invalid' }],
    ['1.2.3', 2, { ok: false, reason: 'invalid' }],
    ['12р', 2, { ok: false, reason: 'invalid' }],
    [',5', 2, { ok: false, reason: 'invalid' }],
    ['1,234', 2, { ok: false, reason: 'precision' }],
  ] as const)('%j with at most %s decimals', (raw, max, parsed) => {
    expect(parseNumber(raw, max)).toEqual(parsed)
  })
})
