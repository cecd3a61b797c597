import { describe, expect, it } from 'vitest'
import { HOLD_CAP_MS, holdBackgroundWork, holdLeft, yieldToPage } from './backgroundWork'

describe('background work held for scanner input', () => {
  it('waits out a hold, extends it with later keys and never waits past the cap', () => {
    const t = 1_000_000_000_000
    expect(holdLeft(t, t)).toBe(0)
    holdBackgroundWork(60, t)
    expect(holdLeft(t + 10, t + 10)).toBe(50)
    // a shorter hold never cuts a longer one short
    holdBackgroundWork(5, t + 20)
    expect(holdLeft(t + 20, t + 20)).toBe(40)
    holdBackgroundWork(60, t + 50)
    expect(holdLeft(t + 50, t + 10)).toBe(60)
    // keys that keep coming: a yield that started at t + 10 goes on at t + 10 + cap all the same
    holdBackgroundWork(60, t + 100)
    expect(holdLeft(t + 100, t + 10)).toBe(t + 10 + HOLD_CAP_MS - (t + 100))
    expect(holdLeft(t + 10 + HOLD_CAP_MS, t + 10)).toBe(0)
    expect(holdLeft(t + 200, t + 200)).toBe(0)
  })

  it('yields to the next task', async () => {
    const order: string[] = []
    const y = yieldToPage().then(() => order.push('after yield'))
    await Promise.resolve()
    order.push('microtask')
    await y
    expect(order).toEqual(['microtask', 'after yield'])
  })
})
