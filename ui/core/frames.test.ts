import { describe, expect, it, vi } from 'vitest'
import { afterTwoFrames } from './frames'

describe('afterTwoFrames', () => {
  it('runs after the second frame, once', () => {
    vi.useFakeTimers()
    const frames: Array<() => void> = []
    const fn = vi.fn()
    afterTwoFrames(fn, (cb) => frames.push(cb), 100, () => false)
    frames.shift()!()
    expect(fn).not.toHaveBeenCalled()
    frames.shift()!()
    expect(fn).toHaveBeenCalledTimes(1)
    vi.advanceTimersByTime(1000)
    expect(fn).toHaveBeenCalledTimes(1)
    vi.useRealTimers()
  })

  it('falls back to a timer when no frame ever comes', () => {
    vi.useFakeTimers()
    const fn = vi.fn()
    afterTwoFrames(fn, () => {}, 100, () => false)
    vi.advanceTimersByTime(99)
    expect(fn).not.toHaveBeenCalled()
    vi.advanceTimersByTime(1)
    expect(fn).toHaveBeenCalledTimes(1)
    vi.useRealTimers()
  })

  it('does not wait for frames in a hidden document', () => {
    vi.useFakeTimers()
    const fn = vi.fn()
    afterTwoFrames(fn, () => {}, 100, () => true)
    vi.advanceTimersByTime(0)
    expect(fn).toHaveBeenCalledTimes(1)
    vi.useRealTimers()
  })
})
