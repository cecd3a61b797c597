import { describe, expect, it } from 'vitest'
import { checkDecision, type CheckReason, type UpdatePhase } from './checkPolicy'

const MIN = 60_000

describe('checkDecision', () => {
  it.each<[string, CheckReason, UpdatePhase, boolean, number | null, 'skip' | 'join' | 'run']>([
    ['the first check', 'screen', 'idle', false, null, 'run'],
    ['a focus check 4 minutes after the last', 'focus', 'idle', false, 4 * MIN, 'skip'],
    ['a focus check 5 minutes after the last', 'focus', 'idle', false, 5 * MIN, 'run'],
    ['a manual check 4 minutes after the last', 'manual', 'idle', false, 4 * MIN, 'run'],
    ['a screen check 59 seconds after the last', 'screen', 'idle', false, 59_000, 'skip'],
    ['a timer check 29 minutes after the last', 'timer', 'idle', false, 29 * MIN, 'skip'],
    ['a timer check 30 minutes after the last', 'timer', 'idle', false, 30 * MIN, 'run'],
    ['any check while a check runs', 'manual', 'idle', true, 0, 'join'],
    ['a manual check while downloading', 'manual', 'downloading', false, 60 * MIN, 'skip'],
    ['a focus check while an update is ready', 'focus', 'ready', false, 60 * MIN, 'skip'],
    ['a manual check while an update is ready', 'manual', 'ready', false, 60 * MIN, 'skip'],
    ['a manual check after an error', 'manual', 'error', false, 0, 'run'],
  ])('%s', (_name, reason, phase, busy, since, decision) => {
    const now = 100 * MIN
    expect(checkDecision(reason, { phase, busy, lastStartedAt: since === null ? null : now - since }, now)).toBe(decision)
  })
})
