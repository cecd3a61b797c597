import { describe, expect, it } from 'vitest'
import {
  accountCopy,
  applyAccountCopy,
  applyDeviceRecord,
  defaultSettings,
  deviceRecord,
  mergeSettings,
  normaliseAutoRelease,
} from './settingsModel'

const desktop = defaultSettings({ desktopHost: true, touch: false })

describe('defaults', () => {
  it.each([
    [{ desktopHost: true, touch: true }, 'wedge'],
    [{ desktopHost: false, touch: true }, 'camera'],
    [{ desktopHost: false, touch: false }, 'manual'],
  ])('scanner mode for %o is %s', (env, mode) => {
    expect(defaultSettings(env).work.scannerMode).toBe(mode)
  })
})

describe('normalisation', () => {
  it.each([
    [{ work: { listAutoLoad: 300 } }, (s: typeof desktop) => s.work.listAutoLoad, 200],
    [{ work: { listAutoLoad: 500 } }, (s: typeof desktop) => s.work.listAutoLoad, 500],
    [{ work: { listAutoLoad: '500' } }, (s: typeof desktop) => s.work.listAutoLoad, 200],
    [{ work: { autoReleaseMinutes: 1000 } }, (s: typeof desktop) => s.work.autoReleaseMinutes, 600],
    [{ work: { autoReleaseMinutes: -5 } }, (s: typeof desktop) => s.work.autoReleaseMinutes, 30],
    [{ work: { autoReleaseMinutes: 12.6 } }, (s: typeof desktop) => s.work.autoReleaseMinutes, 13],
    [{ work: { autoReleaseMinutes: 'x' } }, (s: typeof desktop) => s.work.autoReleaseMinutes, 30],
    [{ work: { afterScan: 'table' } }, (s: typeof desktop) => s.work.afterScan, 'card'],
    [{ work: { afterScan: 'list' } }, (s: typeof desktop) => s.work.afterScan, 'list'],
    [{ sound: { volume: 3 } }, (s: typeof desktop) => s.sound.volume, 1],
    [{ sound: { volume: -1 } }, (s: typeof desktop) => s.sound.volume, 0],
    [{ sound: { volume: 'loud' } }, (s: typeof desktop) => s.sound.volume, 0.8],
    [{ print: { orientation: 'landscape' } }, (s: typeof desktop) => s.print.rotation, 90],
    [{ print: { rotation: 45, orientation: 'portrait' } }, (s: typeof desktop) => s.print.rotation, 0],
    [{ print: { rotation: 180, orientation: 'landscape' } }, (s: typeof desktop) => s.print.rotation, 180],
    [{ print: { rotation: 'x', orientation: 'sideways' } }, (s: typeof desktop) => s.print.rotation, 0],
    [{ themeMode: 'purple' }, (s: typeof desktop) => s.themeMode, 'system'],
    [{ uiScale: 0 }, (s: typeof desktop) => s.uiScale, 1],
    [{ uiScale: 1.25 }, (s: typeof desktop) => s.uiScale, 1.25],
  ])('%j', (partial, pick, expected) => {
    expect(pick(mergeSettings(desktop, partial))).toBe(expected)
  })

  it('leaves absent groups and keys alone and ignores junk', () => {
    const s = mergeSettings(desktop, { work: { saveDraft: false }, nonsense: 1 })
    expect(s.work.saveDraft).toBe(false)
    expect(s.work.listAutoLoad).toBe(200)
    expect(s.sound).toEqual(desktop.sound)
    expect(mergeSettings(desktop, null)).toBe(desktop)
    expect(normaliseAutoRelease(600)).toBe(600)
  })

  it.each([
    ['a whole cell', { id: 4, name: 'Стол', path: ['Стол'], zoneName: 'Склад' }, { id: 4, name: 'Стол', path: ['Стол'], zoneName: 'Склад' }],
    ['no id', { name: 'Стол' }, null],
    ['a text', '4', null],
    ['cleared', null, null],
    ['junk inside', { id: 4, name: 7, path: ['A', 3] }, { id: 4, name: '', path: ['A'], zoneName: '' }],
  ])('the desk cell: %s', (_, radioDeskCell, expected) => {
    const withDesk = mergeSettings(desktop, { work: { radioDeskCell: { id: 9, name: 'X', path: [], zoneName: '' } } })
    expect(mergeSettings(withDesk, { work: { radioDeskCell } }).work.radioDeskCell).toEqual(expected)
  })
})

describe('the device record under "work"', () => {
  it('round-trips with print and crypto inside', () => {
    const changed = mergeSettings(desktop, {
      work: { listAutoLoad: 1000, defaultTab: 'scan' },
      print: { printerName: 'Godex', widthMm: 75 },
      crypto: { thumbprint: 'AB' },
      themeMode: 'dark',
      sound: { enabled: false, volume: 0.3 },
    })
    const record = deviceRecord(changed)
    expect(record.listAutoLoad).toBe(1000)
    expect((record.print as { printerName: string }).printerName).toBe('Godex')
    expect(applyDeviceRecord(desktop, JSON.parse(JSON.stringify(record)))).toEqual(changed)
  })

  it('an unreadable record keeps every default', () => {
    for (const junk of [undefined, null, 'text', 42, []]) expect(applyDeviceRecord(desktop, junk)).toEqual(desktop)
  })
})

describe('per-account copy', () => {
  it('two employees keep their own volume, theme and tabs', () => {
    const anna = accountCopy(mergeSettings(desktop, { sound: { volume: 0.2 }, themeMode: 'dark', work: { defaultTab: 'scan' } }))
    const boris = accountCopy(mergeSettings(desktop, { sound: { volume: 0.9 } }))
    let s = applyAccountCopy(desktop, anna)
    expect([s.sound.volume, s.themeMode, s.work.defaultTab]).toEqual([0.2, 'dark', 'scan'])
    s = applyAccountCopy(s, boris)
    expect([s.sound.volume, s.themeMode, s.work.defaultTab]).toEqual([0.9, 'system', 'list'])
  })

  it('takes defaultTab and afterScan only when present', () => {
    const s0 = mergeSettings(desktop, { work: { defaultTab: 'scan', afterScan: 'list' } })
    const s = applyAccountCopy(s0, { sound: { enabled: true, volume: 0.5 } })
    expect([s.work.defaultTab, s.work.afterScan, s.sound.volume]).toEqual(['scan', 'list', 0.5])
  })
})
