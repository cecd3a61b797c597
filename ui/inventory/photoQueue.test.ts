import { describe, expect, it } from 'vitest'
import { afterAttempt, photosDue, refusedFileName, waitingFor, type WaitingPhoto } from './photoQueue'

const photo = (key: string, over: Partial<WaitingPhoto> = {}): WaitingPhoto => ({
  key, accountId: 'acc', sessionId: 5, scanUid: `unit-${key}`, bytes: new Uint8Array([1]), type: 'image/jpeg', addedAt: 10, attempts: 0, lastAttemptAt: 0, ...over,
})

describe('photos waiting on the device', () => {
  const now = 100_000
  it.each([
    ['never tried', photo('a'), true],
    ['refused for good', photo('a', { refused: 'нет' }), false],
    ['under way', photo('busy'), false],
    ['its unit still waits in the scan queue', photo('a', { scanUid: 'queued' }), false],
    ['tried once, 1 s ago', photo('a', { attempts: 1, lastAttemptAt: now - 1000 }), true],
    ['tried three times, 4 s ago', photo('a', { attempts: 3, lastAttemptAt: now - 4000 }), false],
    ['tried six times, 59 s ago', photo('a', { attempts: 6, lastAttemptAt: now - 59_000 }), false],
    ['tried six times, 60 s ago', photo('a', { attempts: 6, lastAttemptAt: now - 60_000 }), true],
  ])('%s: due %s', (_, p, due) => {
    expect(photosDue([p], { nowMs: now, unitWaiting: (u) => u === 'queued', busy: new Set(['busy']) })).toHaveLength(due ? 1 : 0)
  })

  it('go oldest first; an attempt ends a photo, marks it refused or counts it', () => {
    expect(photosDue([photo('b', { addedAt: 20 }), photo('a', { addedAt: 10 })], { nowMs: now, unitWaiting: () => false, busy: new Set() }).map((p) => p.key)).toEqual(['a', 'b'])
    expect(afterAttempt(photo('a'), { kind: 'sent' }, now)).toBeNull()
    expect(afterAttempt(photo('a'), { kind: 'refused', reason: 'Фото пустое' }, now)).toMatchObject({ refused: 'Фото пустое', attempts: 1 })
    expect(afterAttempt(photo('a', { attempts: 2 }), { kind: 'unreached' }, now)).toMatchObject({ attempts: 3, lastAttemptAt: now })
  })

  it('count for their unit unless refused, and are saved under a readable name', () => {
    expect(waitingFor([photo('a', { scanUid: 'u' }), photo('b', { scanUid: 'u', refused: 'нет' }), photo('c')], 'u')).toBe(1)
    expect(refusedFileName({ scanUid: '0f8e2c1a-aaaa', addedAt: 1765400000000, type: 'image/png' })).toBe('foto-0f8e2c1a-1765400000000.png')
  })
})
