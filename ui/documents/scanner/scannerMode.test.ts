import { describe, expect, it } from 'vitest'
import { defaultScannerMode, normalizeCaptureMode, normalizeScannerMode } from './scannerMode'

const desktopAgent = 'Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/605.1.15 (KHTML, like Gecko) Version/60.5 Safari/605.1.15'
const android = 'Mozilla/5.0 (Linux; Android 11; TC21) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/120.0 Mobile Safari/537.36'

describe('the default scanner mode', () => {
  it.each([
    ['inside the desktop host', { insideHost: true, userAgent: desktopAgent, maxTouchPoints: 0, innerWidth: 1100 }, 'wedge'],
    ['a terminal browser', { insideHost: false, userAgent: android, maxTouchPoints: 5, innerWidth: 480 }, 'camera'],
    ['an iPad by its agent', { insideHost: false, userAgent: 'Mozilla/5.0 (iPad; CPU OS 17_0)', maxTouchPoints: 5, innerWidth: 1366 }, 'camera'],
    ['a narrow touch screen', { insideHost: false, userAgent: desktopAgent, maxTouchPoints: 10, innerWidth: 1199 }, 'camera'],
    ['a wide touch screen', { insideHost: false, userAgent: desktopAgent, maxTouchPoints: 10, innerWidth: 1200 }, 'manual'],
    ['a desktop browser', { insideHost: false, userAgent: desktopAgent, maxTouchPoints: 0, innerWidth: 800 }, 'manual'],
  ])('%s → %s', (_what, traits, mode) => {
    expect(defaultScannerMode(traits)).toBe(mode)
  })

  it('keeps known stored values and replaces the rest', () => {
    expect(normalizeScannerMode('camera', 'wedge')).toBe('camera')
    expect(normalizeScannerMode('laser', 'wedge')).toBe('wedge')
    expect(normalizeCaptureMode('manual')).toBe('manual')
    expect(normalizeCaptureMode(undefined)).toBe('auto')
  })
})
