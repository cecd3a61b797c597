import { describe, expect, it } from 'vitest'
import { classifyAdd, classifyUndo, formatQuantity, manualFeedback, shownCode, type ScanFacts } from './scanOutcome'

const MARK = '0104601234567893215AbCdE'
const position = (checked: number, required = 5, extra: { markable?: boolean } = {}) => ({ name: 'Кружка', required, checked, ...extra })
const facts = (f: Partial<ScanFacts>): ScanFacts => ({
  code: '4601234567893',
  position: position(0),
  isMark: false,
  markCounted: false,
  positionHasMarks: false,
  contentsLoading: false,
  ozonPosting: false,
  ...f,
})

describe('classifying a scan that adds', () => {
  it.each<[string, Partial<ScanFacts>, string, string, number | null, string | null, string, string]>([
    ['no position, contents loading', { position: null, contentsLoading: true }, 'composition-loading', 'Состав документа еще загружается — отсканируйте через пару секунд', null, null, 'error', 'error'],
    ['no position, Ozon posting', { position: null, ozonPosting: true }, 'not-found', 'Нет в этом отправлении Ozon: 4601234567893', null, null, 'error', 'error'],
    ['no position', { position: null }, 'not-found', 'Нет в документе: 4601234567893', null, null, 'error', 'error'],
    ['a long code is cut in the message', { position: null, code: '123456789012345678901234' }, 'not-found', 'Нет в документе: 12345678901234567890…', null, null, 'error', 'error'],
    ['a counted mark again', { code: MARK, isMark: true, markCounted: true, positionHasMarks: true, position: position(1) }, 'duplicate-mark', 'Этот код уже сканировали: Кружка', null, null, 'error', 'error'],
    ['a plain barcode after a mark', { positionHasMarks: true, position: position(1) }, 'mark-required', 'Отсканируйте марку: Кружка', null, null, 'error', 'error'],
    ['the 6th of 5', { position: position(5) }, 'excess', '⚠️ Лишнее: Кружка', 6, null, 'tooMuch', 'warning'],
    ['an excess mark is counted with its mark', { code: MARK, isMark: true, position: position(5) }, 'excess', '⚠️ Лишнее: Кружка', 6, MARK, 'tooMuch', 'warning'],
    ['a mark on an unmarked product', { code: MARK, isMark: true, position: position(0, 5, { markable: false }) }, 'unmarked', '⚠️ Кружка: код не передадим — товар без маркировки', 1, MARK, 'checked', 'warning'],
    ['the last one', { position: position(4) }, 'done', '✅ Кружка (5/5)', 5, null, 'success', 'success'],
    ['one more', { position: position(1) }, 'progress', '✅ Кружка (2/5)', 2, null, 'checked', 'success'],
    ['a mark counts like a barcode and is kept', { code: MARK, isMark: true, position: position(1, 5, { markable: true }) }, 'progress', '✅ Кружка (2/5)', 2, MARK, 'checked', 'success'],
    ['a plain barcode counts normally before any mark exists', { position: position(0) }, 'progress', '✅ Кружка (1/5)', 1, null, 'checked', 'success'],
    [
      'a marked product by its plain barcode where codes are withdrawn',
      { position: position(0, 4, { markable: true }), withdrawsCodes: true },
      'no-code',
      '⚠️ Кружка (1/4): без кода маркировки — эту единицу не выведем из оборота',
      1,
      null,
      'checked',
      'warning',
    ],
    ['a marked product by its plain barcode where nothing is withdrawn', { position: position(0, 4, { markable: true }) }, 'progress', '✅ Кружка (1/4)', 1, null, 'checked', 'success'],
    ['a mark where codes are withdrawn counts as usual', { code: MARK, isMark: true, position: position(0, 4, { markable: true }), withdrawsCodes: true }, 'progress', '✅ Кружка (1/4)', 1, MARK, 'checked', 'success'],
    ['fractional quantities read with a comma', { position: position(1, 2.5) }, 'progress', '✅ Кружка (2/2,5)', 2, null, 'checked', 'success'],
  ])('%s', (_what, f, kind, message, checked, addMark, sound, vibrate) => {
    const o = classifyAdd(facts(f))
    expect(o).toEqual({
      kind,
      type: sound === 'error' ? 'error' : vibrate === 'warning' ? 'warning' : 'success',
      message,
      checked,
      addMark,
      removeMark: null,
      sound,
      vibrate,
    })
  })

  it('in check mode, a count above the collector\'s says by how much', () => {
    expect(classifyAdd(facts({ position: position(3), collectorCount: 2 })).message).toBe('✅ Кружка (4/5) · нашли на 2 больше, чем сборщик')
    expect(classifyAdd(facts({ position: position(1), collectorCount: 2 })).message).toBe('✅ Кружка (2/5)')
  })
})

describe('classifying a scan in undo mode', () => {
  it.each<[string, Partial<ScanFacts>, string, string, number | null, string | null, string, string]>([
    ['a mark not counted here', { code: MARK, isMark: true, position: position(2) }, 'unknown-mark', 'Этот код не сканировали: Кружка', null, null, 'error', 'error'],
    ['a plain barcode on a position with marks', { positionHasMarks: true, position: position(2) }, 'mark-required', 'Отсканируйте марку, которую нужно убрать: Кружка', null, null, 'error', 'error'],
    ['a plain barcode at count 0', { position: position(0) }, 'nothing-to-undo', 'Нечего убирать: Кружка', null, null, 'error', 'error'],
    ['a plain barcode', { position: position(3) }, 'undone', '➖ Убрано: Кружка', 2, null, 'checked', 'warning'],
    ['a counted mark', { code: MARK, isMark: true, markCounted: true, positionHasMarks: true, position: position(3) }, 'undone', '➖ Убрано: Кружка', 2, null, 'checked', 'warning'],
  ])('%s', (_what, f, kind, message, checked, _add, sound, vibrate) => {
    const o = classifyUndo(facts(f))
    expect(o).toMatchObject({ kind, message, checked, sound, vibrate, addMark: null })
  })

  it('takes out the counted mark', () => {
    expect(classifyUndo(facts({ code: MARK, isMark: true, markCounted: true, position: position(1) })).removeMark).toBe(MARK)
  })

  it('a code of no position is an ordinary scan', () => {
    expect(classifyUndo(facts({ position: null }))).toEqual(classifyAdd(facts({ position: null })))
  })
})

describe('texts and feedback', () => {
  it.each([
    ['12345678901234567890', '12345678901234567890'],
    ['123456789012345678901', '12345678901234567890…'],
  ])('shownCode(%s)', (code, shown) => {
    expect(shownCode(code)).toBe(shown)
  })

  it.each([
    [5, '5'],
    [2.5, '2,5'],
    [1.23456, '1,235'],
  ])('formatQuantity(%s) = %s', (n, text) => {
    expect(formatQuantity(n)).toBe(text)
  })

  it.each([
    ['excess', 'tooMuch', 'warning'],
    ['done', 'success', 'success'],
    ['partial', 'checked', 'success'],
    ['pending', 'checked', 'success'],
  ] as const)('a manual change to %s plays %s / %s', (status, sound, vibrate) => {
    expect(manualFeedback(status)).toEqual({ sound, vibrate })
  })
})
