import { describe, expect, it } from 'vitest'
import { isOffline, OFFLINE_AFTER_MS } from './offline'

const NOW = 1_000_000

describe('offline', () => {
  it.each([
    ['a connected channel, though the browser says there is no network (a server on the local network)', false, true, null, false],
    ['a connected channel and the network', true, true, null, false],
    ['no network and no channel', false, false, NOW, true],
    ['the channel dropped a moment ago', true, false, NOW - OFFLINE_AFTER_MS, false],
    ['the channel dropped longer ago than that', true, false, NOW - OFFLINE_AFTER_MS - 1, true],
    ['never connected yet', true, false, null, false],
  ])('%s', (_what, browserOnline, connected, disconnectedAt, expected) => {
    expect(isOffline(browserOnline, connected, disconnectedAt, NOW)).toBe(expected)
  })
})
