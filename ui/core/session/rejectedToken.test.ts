import { describe, expect, it } from 'vitest'
import { isTokenRefusal, restartPauseMs } from './rejectedToken'

describe('which connect error is a refused token', () => {
  it.each([
    { message: 'auth: token expired', refused: true },
    { message: 'Auth: session revoked', refused: true },
    { message: 'unauthorized', refused: true },
    { message: 'xhr poll error', refused: false },
    { message: 'timeout', refused: false },
    { message: '', refused: false },
    { message: undefined, refused: false },
  ])('$message → $refused', ({ message, refused }) => {
    expect(isTokenRefusal(message)).toBe(refused)
  })
})

describe('the pause before an anonymous restart', () => {
  it.each([
    { restarts: 0, pause: 0 },
    { restarts: 1, pause: 0 },
    { restarts: 2, pause: 1_000 },
    { restarts: 3, pause: 2_000 },
    { restarts: 6, pause: 16_000 },
    { restarts: 7, pause: 30_000 },
    { restarts: 40, pause: 30_000 },
  ])('restart №$restarts waits $pause ms', ({ restarts, pause }) => {
    expect(restartPauseMs(restarts)).toBe(pause)
  })
})
