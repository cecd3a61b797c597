import { describe, expect, it } from 'vitest'
import { DEFAULT_ROLES_SETTINGS, normaliseRolesSettings, prepareRolesSettings, SUGGESTED_REASONS, type RolesSettings } from './rolesSettings'

const draft = (o: Partial<RolesSettings>): RolesSettings => ({ ...DEFAULT_ROLES_SETTINGS, ...o })

describe('roles settings', () => {
  it('missing or malformed keys take their defaults; reasons are trimmed texts', () => {
    expect(normaliseRolesSettings(undefined)).toEqual(DEFAULT_ROLES_SETTINGS)
    expect(DEFAULT_ROLES_SETTINGS).toMatchObject({ collectorCanRelease: true, collectorCanFinishShort: true, reopenVisibleInApp: true, requireBoxes: false })
    expect(
      normaliseRolesSettings({ requireBoxes: true, collectorCanRelease: 'no', shortfallReasons: [' брак ', 7, '', 'пересорт'], releaseReasons: 'x' }),
    ).toEqual({ ...DEFAULT_ROLES_SETTINGS, requireBoxes: true, shortfallReasons: ['брак', 'пересорт'] })
  })

  it('saving trims, drops blanks and duplicates ignoring case, and marks the settings configured', () => {
    const r = prepareRolesSettings(draft({ shortfallReasons: [' Брак', 'брак ', '', 'Пересорт'], releaseReasons: ['обед', 'ОБЕД'] }))
    expect(r).toEqual({ ok: true, settings: draft({ shortfallReasons: ['Брак', 'Пересорт'], releaseReasons: ['обед'], configured: true }) })
  })

  const many = (n: number) => Array.from({ length: n }, (_, i) => `причина ${i}`)
  it.each<[string, Partial<RolesSettings>, string | null]>([
    ['50 reasons', { shortfallReasons: many(50) }, null],
    ['51 reasons', { shortfallReasons: many(51) }, 'Причин не больше 50'],
    ['51 spellings of 50 reasons', { shortfallReasons: [...many(50), 'ПРИЧИНА 3'] }, null],
    ['a reason of 100 characters', { shortfallReasons: ['я'.repeat(100)] }, null],
    ['a reason of 101 characters', { shortfallReasons: ['я'.repeat(101)] }, 'Причина не длиннее 100 знаков'],
    ['51 release reasons', { releaseReasons: many(51) }, 'Причин снятия не больше 50'],
    ['a release reason of 101 characters', { releaseReasons: ['я'.repeat(101)] }, 'Причина снятия не длиннее 100 знаков'],
    ['required reasons, empty list', { shortfallReasonRequired: true, shortfallReasons: ['  '] }, 'Причина обязательна, а список причин пуст — добавьте хотя бы одну'],
    ['required reasons with the suggested ones', { shortfallReasonRequired: true, shortfallReasons: [...SUGGESTED_REASONS] }, null],
  ])('limits: %s', (_n, o, error) => {
    const r = prepareRolesSettings(draft(o))
    expect(r.ok ? null : r.error).toBe(error)
  })
})
