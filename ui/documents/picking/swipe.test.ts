import { describe, expect, it } from 'vitest'
import { swipeDirection } from './swipe'

describe('card swipe', () => {
  it.each([
    ['left by 40 px: the next card', -40, 5, 'next'],
    ['right by 60 px: the previous card', 60, -10, 'previous'],
    ['39 px is too short', -39, 0, null],
    ['more vertical than horizontal is a scroll', -50, 60, null],
    ['as much vertical as horizontal is not a swipe', 45, 45, null],
  ] as const)('%s', (_what, dx, dy, expected) => {
    expect(swipeDirection(dx, dy)).toBe(expected)
  })
})
