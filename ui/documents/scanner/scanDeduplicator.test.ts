import { describe, expect, it } from 'vitest'
import { createScanDeduplicator, type ScanChannel } from './scanDeduplicator'

describe('the cross-channel duplicate rule', () => {
  it.each<[string, Array<[number, string, ScanChannel]>, boolean[]]>([
    ['native 300 ms after the wedge is the same scan', [[0, 'A1', 'wedge'], [300, 'A1', 'native']], [true, false]],
    ['native 800 ms after the wedge is a second scan', [[0, 'A1', 'wedge'], [800, 'A1', 'native']], [true, true]],
    ['the same channel twice counts twice', [[0, 'A1', 'wedge'], [100, 'A1', 'wedge']], [true, true]],
    ['another code from the other channel counts', [[0, 'A1', 'wedge'], [100, 'B2', 'native']], [true, true]],
    ['a dropped duplicate does not restart the window', [[0, 'A1', 'native'], [500, 'A1', 'wedge'], [900, 'A1', 'wedge']], [true, false, true]],
  ])('%s', (_what, scans, expected) => {
    let now = 0
    const lines: string[] = []
    const d = createScanDeduplicator(() => now, (l) => lines.push(l))
    const got = scans.map(([at, code, channel]) => {
      now = at
      return d.accept(code, channel)
    })
    expect(got).toEqual(expected)
    expect(lines).toHaveLength(expected.filter((x) => !x).length)
  })

  it('says which channel took the code', () => {
    const lines: string[] = []
    const d = createScanDeduplicator(() => 0, (l) => lines.push(l))
    d.accept('A1', 'wedge')
    d.accept('A1', 'native')
    expect(lines).toEqual(['[scanner] дубль native — код уже принят каналом wedge, пропускаем'])
  })
})
