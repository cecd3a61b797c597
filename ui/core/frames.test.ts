import { describe, expect, it, vi } from 'vitest'
import { afterTwoFrames } from './frames'

describe('afterTwoFrames', () => {
  it('runs after the second frame, once', () => {
    vi.useFakeTimers()
    const frames: Array<() => void> = []
    const fn = vi.fn()
    afterTwoFrames(fn, (cb) => frames.push(cb))
    frames.shift()!()
    expect(fn).not.toHaveBeenCalled()
    frames.shift()!()
    expect(fn).toHaveBeenCalledTimes(1)
    vi.advanceTimersByTime(1000)
    expect(fn).toHaveBeenCalledTimes(1)
    vi.useRealTimers()
  })

  it('falls back to a timer when no frame ever comes (hidden window)', () => {
    vi.useFakeTimers()
    const fn = vi.fn()
    afterTwoFrames(fn, () => {})
    expect(fn).not.toHaveBeenCalled()
    vi.advanceTimersByTime(100)
    expect(fn).toHaveBeenCalledTimes(1)
    vi.useRealTimers()
  })
})
