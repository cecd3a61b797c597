import { describe, expect, it } from 'vitest'
import { normaliseDocument, type DocumentRecord } from './records'
import { looksLikeNumber, matchesByCode, matchesSearch, outsideStatusesNote, searchKey } from './search'

const doc = (number: string, extra: Record<string, unknown> = {}): DocumentRecord =>
  normaliseDocument({ id: `d-${number}`, type: 'order', number, counterparty: 'ООО «Северный Ветер»', ...extra })!

describe('the list search', () => {
  it.each([
    ['00123', '123', true],
    ['123', '00123', true],
    ['0', '000', true],
    ['123;456', '456', true],
    ['123; 456', '123', true],
    ['123;456', '789', false],
    ['12', '123', false],
  ])('by code: %s against number %s → %s', (text, number, hit) => {
    expect(matchesByCode(doc(number), text)).toBe(hit)
  })

  it('matches order codes without regard to case, and number or counterparty by containment', () => {
    const d = doc('00045', { searchCodes: ['WB-77001'] })
    expect(matchesByCode(d, 'wb-77001')).toBe(true)
    expect(matchesSearch(d, 'ветер')).toBe(true)
    expect(matchesSearch(d, '004')).toBe(true)
    expect(matchesSearch(d, 'Ромашка')).toBe(false)
    expect(matchesSearch(d, '  ')).toBe(true)
  })

  it.each([
    ['123', true],
    ['ЗК-0012', true],
    ['12 3', false],
    ['1\t2', false],
    ['абв', false],
    ['', false],
    ['1'.repeat(40), true],
    ['1'.repeat(41), false],
  ])('%j looks like a number for MoySklad: %s', (text, yes) => {
    expect(looksLikeNumber(text)).toBe(yes)
  })

  it('asks once per number, leading zeros aside', () => {
    expect(searchKey('00123')).toBe(searchKey('123'))
  })

  it('explains a document outside the statuses, with and without a state name, and with roles', () => {
    expect(outsideStatusesNote('77', 'Отменен', 'Отгрузка', false)).toBe(
      'Документ №77 есть в МоемСкладе, но его статус «Отменен» не входит в статусы для сборки. Статусы настраиваются в МоемСкладе: Приложения → Зорвик → Настройки → Документы → «Отгрузка», пункт «Статусы документа…, при выборе которых потребуется проверка»',
    )
    expect(outsideStatusesNote('77', '', 'Отгрузка', false)).toContain('но его статус не входит')
    expect(outsideStatusesNote('77', 'Новый', 'Отгрузка', true)).toBe(
      'Статус «Новый» не отмечен в списке статусов проверки виджета (Приложения → Зорвик → Настройки → Документы → «Отгрузка»). Отметьте его там, и документ появится в списке.',
    )
  })
})
