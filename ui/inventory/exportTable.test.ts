import { describe, expect, it } from 'vitest'
import { readTable } from '../partsstore/csvTable'
import { exportAllCsv, exportCsv, exportFileName, photoFolder, safeCell, scanTime } from './exportTable'
import { normaliseScan, normaliseSession, type Scan } from './records'

const scan = (over: Record<string, unknown>): Scan => normaliseScan({ scanUid: `u-${Math.random()}`, code: 'C', source: 'scanner', qty: 1, scannedAt: '2026-01-01T10:00:00Z', userId: 5, ...over })!

describe('export table', () => {
  it('the scan time reads as the local clock, day first', () => {
    const at = new Date(2026, 0, 2, 3, 4, 5)
    expect(scanTime(at.toISOString())).toBe('02.01.2026 03:04:05')
    expect([scanTime(''), scanTime('вчера')]).toEqual(['', 'вчера'])
  })

  it.each([
    ['=HYPERLINK("x")', '\'=HYPERLINK("x")'],
    ['+7', "'+7"],
    ['-1', "'-1"],
    ['@SUM(A1)', "'@SUM(A1)"],
    ['\t=1+1', "'\t=1+1"],
    ['\r=1+1', "'\r=1+1"],
    ['\tтекст', "'\tтекст"],
    [' =1', ' =1'],
    ['4601234567890', '4601234567890'],
    [12, '12'],
    [-3, '-3'],
  ])('%s in a cell reads %s', (v, out) => expect(safeCell(v)).toBe(out))

  it('rows by scan id (without id last), quoted fields, CR LF, formula cells neutralised', () => {
    const text = exportCsv([
      scan({ id: 9, code: '=1+1', note: 'a;b "c"', qty: 0, userName: 'Оля', match: { kind: 'product', id: 1, name: 'Болт' }, photos: 2, unitNo: '17' }),
      scan({ id: null, code: 'X', source: 'camera', deviceName: 'ТСД-2' }),
      scan({ id: 3, code: 'Y', source: 'manual', registry: { state: 'named', gtin: '046', name: 'Гайка', brand: '' } }),
    ])
    expect(text.endsWith('\r\n')).toBe(true)
    expect(text.split('\r\n')).toHaveLength(5)
    const rows = readTable(text)
    expect(rows[0]).toHaveLength(15)
    expect(rows.slice(1).map((r) => [r[0], r[1], r[4], r[5], r[6], r[9], r[10], r[12], r[13], r[14]])).toEqual([
      ['1', 'Y', '5', 'Вручную', '1', '046', 'Гайка', '', '0', ''],
      ['17', "'=1+1", 'Оля', 'Сканер', '1', '', '', 'a;b "c"', '2', '000017-11'],
      ['3', 'X', 'ТСД-2', 'Камера', '1', '', '', '', '0', ''],
    ])
  })

  it.each([
    [{ unitNo: 'U-42', id: 7, code: 'AB/12 3' }, '000042-AB123'],
    [{ id: 7, code: 'Код-1_x' }, '000007-Код-1_x'],
    [{ id: null, code: '///' }, '000000-nekod'],
    [{ id: 1, code: 'x'.repeat(60) }, `000001-${'x'.repeat(48)}`],
  ])('photo folder of %o', (s, folder) => expect(photoFolder(s as never)).toBe(folder))

  it('all sessions put name, start and close in front; file names carry the date', () => {
    const session = normaliseSession({ id: 4, name: 'Склад', startedAt: '2026-03-05T07:08:00', closedAt: null })!
    const rows = readTable(exportAllCsv([{ session, scans: [scan({ id: 1 })] }]))
    expect(rows[0]!.slice(0, 4)).toEqual(['Инвентаризация', 'Начата', 'Закрыта', '№'])
    expect(rows[1]!.slice(0, 4)).toEqual(['Склад', '05.03.2026 07:08', '', '1'])
    expect(exportFileName(new Date(2026, 0, 9))).toBe('inventarizaciya-09.01.2026.csv')
    expect(exportFileName(new Date(2026, 11, 31), true)).toBe('inventarizacii-31.12.2026.csv')
  })
})
