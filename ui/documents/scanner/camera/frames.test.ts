import { describe, expect, it } from 'vitest'
import { cropCentre, downscale, frameAttempts, rotateFrame, type Frame } from './frames'

/** A 3 × 2 frame whose pixels carry their own number in the red channel. */
function numbered(w = 3, h = 2): Frame {
  const data = new Uint8ClampedArray(w * h * 4)
  for (let i = 0; i < w * h; i++) data.set([i + 1, 0, 0, 255], i * 4)
  return { data, width: w, height: h }
}
const reds = (f: Frame) => {
  const rows: number[][] = []
  for (let y = 0; y < f.height; y++) rows.push(Array.from({ length: f.width }, (_, x) => f.data[(y * f.width + x) * 4]!))
  return rows
}

describe('frame variants', () => {
  // 1 2 3
  // 4 5 6
  it.each([
    [90, [[4, 1], [5, 2], [6, 3]]],
    [270, [[3, 6], [2, 5], [1, 4]]],
    [180, [[6, 5, 4], [3, 2, 1]]],
  ] as const)('turns clockwise by %s°', (turn, expected) => {
    expect(reds(rotateFrame(numbered(), turn))).toEqual(expected)
  })

  it('crops the middle 90 %', () => {
    const f = numbered(10, 10)
    const c = cropCentre(f)
    expect([c.width, c.height]).toEqual([9, 9])
    expect(reds(c)[0]![0]).toBe(1)
    expect(reds(cropCentre(numbered(20, 20)))[0]![0]).toBe(22)
  })

  it('tries the frame, 90°, 270°, 180°, the middle half and it at 90°; fewer for a decoder that turns frames itself', () => {
    const f = numbered(20, 10)
    const shapes = (rotates: boolean) => [...frameAttempts(f, rotates)].map((a) => `${a.width}x${a.height}`)
    expect(shapes(false)).toEqual(['20x10', '10x20', '10x20', '20x10', '10x5', '5x10'])
    expect(shapes(true)).toEqual(['20x10', '10x5'])
  })

  it('keeps every attempt on a full-HD frame within 1280 pixels: the whole frame halved, the middle at full detail', () => {
    const hd: Frame = { data: new Uint8ClampedArray(1920 * 1080 * 4), width: 1920, height: 1080 }
    expect([...frameAttempts(hd, true)].map((a) => `${a.width}x${a.height}`)).toEqual(['960x540', '960x540'])
  })

  it('averages each block when it makes a frame smaller', () => {
    // 4 × 2 red levels 10 20 30 40 / 50 60 70 80, halved: (10+20+50+60)/4 and (30+40+70+80)/4.
    const data = new Uint8ClampedArray(4 * 2 * 4)
    ;[10, 20, 30, 40, 50, 60, 70, 80].forEach((v, i) => data.set([v, 0, 0, 255], i * 4))
    const half = downscale({ data, width: 4, height: 2 }, 2)
    expect([half.width, half.height]).toEqual([2, 1])
    expect(reds(half)).toEqual([[35, 55]])
    const same = { data, width: 4, height: 2 }
    expect(downscale(same, 4)).toBe(same)
  })
})
