import { describe, expect, it } from 'vitest'
import { ProgressMeter, progressPercent } from './progress'

describe('progressPercent', () => {
  it.each([
    [0, 1000, 0],
    [999, 1000, 99],
    [1000, 1000, 100],
    [1500, 1000, 100],
    [10, null, null],
    [10, 0, null],
  ])('%i of %s → %s', (received, total, percent) => {
    expect(progressPercent(received, total)).toBe(percent)
  })
})

describe('ProgressMeter', () => {
  it('publishes the first chunk, each whole percent and every 256 KiB', () => {
    const seen: Array<number | null> = []
    const meter = new ProgressMeter((p) => seen.push(p))
    meter.started(10_000_000)
    for (let i = 0; i < 100; i++) meter.chunk(10_000) // 1 MB in 10 kB chunks: 0..10 %
    expect(seen).toEqual([0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10])
  })

  it('without a length publishes null, on the first chunk and every 256 KiB', () => {
    const seen: Array<number | null> = []
    const meter = new ProgressMeter((p) => seen.push(p))
    meter.started(null)
    for (let i = 0; i < 64; i++) meter.chunk(16_384) // 1 MiB
    expect(seen).toEqual([null, null, null, null])
  })
})
