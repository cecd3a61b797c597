import { describe, expect, it } from 'vitest'
import { localState, registrySummary, rowView, type RegistryRecord } from './registryView'

const NOW = Date.UTC(2026, 11, 10, 12, 0)
const DAY = 86_400_000
const OURS = { printerId: 'prn-1', name: 'raw', comment: 'у Иры' }
const rec = (over: Partial<RegistryRecord> = {}): RegistryRecord => ({
  printerId: 'prn-1',
  name: 'raw',
  comment: 'у Иры',
  format: { widthMm: 58.4, heightMm: 40 },
  purpose: 'label',
  lastSeenAt: NOW,
  ...over,
})

describe('the registry in the print settings', () => {
  it.each([
    [null, [], 'none', /^Удаленный принтер не включен/],
    [OURS, ['office'], 'warning', /^Зарегистрирован принтер «raw», но система его сейчас не видит/],
    [OURS, ['raw'], 'ok', /^Из МоегоСклада печатаем на «raw» — у Иры\.$/],
    [{ ...OURS, comment: '' }, ['raw'], 'ok', /^Из МоегоСклада печатаем на «raw»\.$/],
  ])('our state (%o, system printers %o)', (registered, printers, tone, text) => {
    const s = localState(registered, printers)
    expect(s.tone).toBe(tone)
    expect(s.text).toMatch(text)
  })

  it.each([
    [rec(), 'raw — у Иры · 58 × 40 мм · для этикеток', null],
    [rec({ name: '', comment: '', format: null, purpose: 'auto' }), 'Принтер prn-1', null],
    [rec({ purpose: 'a4', format: null }), 'raw — у Иры · для листов А4', null],
    [rec({ lastSeenAt: NOW - DAY + 1 }), expect.any(String), null],
    [rec({ lastSeenAt: NOW - DAY }), expect.any(String), 'последняя регистрация 1 день назад'],
    [rec({ lastSeenAt: NOW - 3 * DAY - 5 }), expect.any(String), 'последняя регистрация 3 дня назад'],
    [rec({ lastSeenAt: NOW - 11 * DAY }), expect.any(String), 'последняя регистрация 11 дней назад'],
    [rec({ lastSeenAt: NOW - 21 * DAY }), expect.any(String), 'последняя регистрация 21 день назад'],
    [rec({ lastSeenAt: NOW - 12 * DAY }), expect.any(String), 'последняя регистрация 12 дней назад'],
  ])('row %#', (record, title, note) => {
    expect(rowView(record, OURS, NOW)).toEqual({ printerId: 'prn-1', title, note, ours: true })
  })

  it.each([
    [[rec()], OURS, 'ok', /^Кабинет видит этот принтер/],
    [[rec({ printerId: 'prn-2' })], OURS, 'warning', /^Кабинет не видит наш принтер/],
    [[rec({ printerId: 'prn-2' })], null, 'none', /^В кабинете принтер зарегистрирован, но не с этого компьютера/],
    [[], OURS, 'warning', /^В кабинете нет ни одного принтера, хотя здесь регистрация есть/],
    [[], null, 'none', /^Удаленных принтеров нет/],
  ])('summary %#', (records, registered, tone, text) => {
    const s = registrySummary(records, registered)
    expect(s.tone).toBe(tone)
    expect(s.text).toMatch(text)
  })
})
