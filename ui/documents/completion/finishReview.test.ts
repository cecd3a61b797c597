import { describe, expect, it } from 'vitest'
import { excessRemoval, finishReview, noCodeSummary, REVIEW_TEXTS, type ReviewLine } from './finishReview'

const line = (key: string, counted: number, required: number, marks = 0, markable = marks > 0): ReviewLine => ({ key, name: `Товар ${key}`, counted, required, marks, markable })

describe('the question before finishing', () => {
  it.each<[string, ReviewLine[], boolean, ReturnType<typeof finishReview>]>([
    ['everything as ordered', [line('a', 4, 4, 4), line('b', 2, 2)], true, null],
    ['short lines are not asked about here', [line('a', 3, 4, 3)], true, null],
    [
      'one excess mark',
      [line('a', 5, 4, 5), line('b', 2, 2)],
      true,
      { title: REVIEW_TEXTS.excessTitle, excess: [{ key: 'a', text: 'Товар a: 5 из 4' }], noCode: [], noCodeUnits: 0 },
    ],
    [
      'excess of a plain product, codes not withdrawn',
      [line('b', 3, 2)],
      false,
      { title: REVIEW_TEXTS.excessTitle, excess: [{ key: 'b', text: 'Товар b: 3 из 2' }], noCode: [], noCodeUnits: 0 },
    ],
    [
      'a marked unit counted by its barcode where codes are withdrawn',
      [line('a', 4, 4, 3)],
      true,
      { title: REVIEW_TEXTS.noCodeTitle, excess: [], noCode: [{ key: 'a', text: 'Товар a: 1 ед. без кода маркировки — из оборота не выведем' }], noCodeUnits: 1 },
    ],
    ['the same where nothing is withdrawn', [line('a', 4, 4, 3)], false, null],
    ['a marked line counted only by barcode', [line('a', 2, 2, 0, true)], true, { title: REVIEW_TEXTS.noCodeTitle, excess: [], noCode: [{ key: 'a', text: 'Товар a: 2 ед. без кода маркировки — из оборота не выведем' }], noCodeUnits: 2 }],
    [
      'the EAN first, then every mark: over the order and one unit without a code',
      [line('a', 5, 4, 4)],
      true,
      {
        title: REVIEW_TEXTS.excessTitle,
        excess: [{ key: 'a', text: 'Товар a: 5 из 4' }],
        noCode: [{ key: 'a', text: 'Товар a: 1 ед. без кода маркировки — из оборота не выведем' }],
        noCodeUnits: 1,
      },
    ],
  ])('%s', (_name, lines, withdraws, expected) => {
    expect(finishReview(lines, withdraws)).toEqual(expected)
  })

  it.each<[string, ReviewLine, { plain: number; marks: number }]>([
    ['nothing over', line('a', 4, 4, 4), { plain: 0, marks: 0 }],
    ['one mark over: the last mark goes', line('a', 5, 4, 5), { plain: 0, marks: 1 }],
    ['a unit without a code goes before any mark', line('a', 5, 4, 4), { plain: 1, marks: 0 }],
    ['two over, one of them without a code', line('a', 6, 4, 5), { plain: 1, marks: 1 }],
    ['a plain product', line('b', 3, 1), { plain: 2, marks: 0 }],
  ])('removing the excess: %s', (_name, l, expected) => {
    expect(excessRemoval(l)).toEqual(expected)
  })

  it('names the units without a code in one sentence', () => {
    expect(noCodeSummary(1)).toBe('1 единица без кода маркировки: из оборота ее не выведем.')
    expect(noCodeSummary(3)).toBe('3 единицы без кода маркировки: из оборота их не выведем.')
  })
})
