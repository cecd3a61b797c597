import { afterEach, describe, expect, it, vi } from 'vitest'
import { ACCESS_HINTS, type DocumentAccess } from './access'
import { AUTO_RELEASE_LOG, autoReleaseDue, autoStartWanted, releaseOnExitWanted, startAutoRelease } from './collectionTimers'
import { DEFAULT_ROLES_SETTINGS } from './rolesSettings'
import type { RoleState } from './roleState'

const MIN = 60_000
const NOW = 1_000 * MIN

describe('the automatic release', () => {
  it.each<[string, number, number, number, boolean]>([
    ['opened 31 min ago, last scan 29 min ago', NOW - 31 * MIN, NOW - 29 * MIN, 30, false],
    ['31 min after the last scan', NOW - 40 * MIN, NOW - 31 * MIN, 30, true],
    ['opened 31 min ago, no scan', NOW - 31 * MIN, 0, 30, true],
    ['exactly 30 min', NOW - 30 * MIN, 0, 30, true],
    ['opened 29 min ago, no scan', NOW - 29 * MIN, 0, 30, false],
    ['switched off', NOW - 600 * MIN, 0, 0, false],
  ])('%s → %s', (_n, openedAt, lastScanAt, minutes, due) => {
    expect(autoReleaseDue({ openedAt, lastScanAt, now: NOW, minutes })).toBe(due)
  })

  afterEach(() => vi.useRealTimers())

  it('checks every minute while watching; a failure is logged and tried again a minute later', async () => {
    vi.useFakeTimers()
    let now = NOW
    let watching = true
    const lines: string[] = []
    const release = vi.fn().mockRejectedValueOnce(new Error('timeout')).mockResolvedValue(undefined)
    const timer = startAutoRelease({
      watching: () => watching,
      openedAt: () => NOW - 20 * MIN,
      lastScanAt: () => 0,
      minutes: () => 30,
      now: () => now,
      release,
      log: (line) => lines.push(line),
    })
    await vi.advanceTimersByTimeAsync(9 * MIN)
    expect(release).not.toHaveBeenCalled()
    now += 10 * MIN
    await vi.advanceTimersByTimeAsync(MIN)
    expect(release).toHaveBeenCalledTimes(1)
    expect(lines[0]).toBe(AUTO_RELEASE_LOG)
    expect(lines[1]).toContain('попробуем через минуту')
    watching = false
    await vi.advanceTimersByTimeAsync(MIN)
    expect(release).toHaveBeenCalledTimes(1)
    watching = true
    await vi.advanceTimersByTimeAsync(MIN)
    expect(release).toHaveBeenCalledTimes(2)
    timer.stop()
    await vi.advanceTimersByTimeAsync(5 * MIN)
    expect(release).toHaveBeenCalledTimes(2)
  })
})

const collector: RoleState = { enabled: true, roles: ['collector'], activeRole: 'collector', permissions: [], isAdmin: false, selfId: 'me' }
const startable: DocumentAccess = { open: 'work', startFirst: false, canStart: true, canRelease: false, canReleaseOther: false, hint: '' }

describe('the automatic start and the release on exit', () => {
  it.each<[string, Partial<Parameters<typeof autoStartWanted>[0]>, boolean]>([
    ['a new document, collector, setting on', {}, true],
    ['setting off', { autoStartAssembly: false }, false],
    ['checker', { role: { ...collector, activeRole: 'checker' } }, false],
    ['already collecting', { doc: { stage: 'collecting', status: 'pending' } }, false],
    ['no stage', { doc: { status: 'pending' } }, false],
    ['access none', { access: { ...startable, open: 'none', canStart: false, hint: ACCESS_HINTS.notCollected } }, false],
  ])('auto start: %s', (_n, o, expected) => {
    expect(autoStartWanted({ autoStartAssembly: true, role: collector, doc: { stage: 'new', status: 'pending' }, access: startable, ...o })).toBe(expected)
  })

  it.each<[string, Partial<Parameters<typeof releaseOnExitWanted>[0]>, boolean]>([
    ['his own collection, setting on', {}, true],
    ['setting off', { settings: DEFAULT_ROLES_SETTINGS }, false],
    ['check mode', { checkMode: true }, false],
    ['someone else collects', { doc: { stage: 'collecting', status: 'pending', collector: { id: 'other', name: '' } } }, false],
    ['new', { doc: { stage: 'new', status: 'pending' } }, false],
  ])('release on exit: %s', (_n, o, expected) => {
    expect(
      releaseOnExitWanted({
        settings: { ...DEFAULT_ROLES_SETTINGS, releaseOnExit: true },
        role: collector,
        checkMode: false,
        doc: { stage: 'collecting', status: 'pending', collector: { id: 'me', name: '' } },
        ...o,
      }),
    ).toBe(expected)
  })
})
