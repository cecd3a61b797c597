import { afterEach, describe, expect, it } from 'vitest'
import { BUILD_TARGET, BUILD_TARGET_LABEL, errorText, hostFlagSet, invoke, isCommandNotFound, isDesktopHost, pluginCommand } from './bridge'
import { impactFeedback } from './haptics'
import { installFakeBridge, removeFakeBridge } from './testing/fakeBridge'

afterEach(() => removeFakeBridge())

describe('desktop detection', () => {
  it('is a desktop host only with the injected object', () => {
    expect(isDesktopHost()).toBe(false)
    expect(hostFlagSet()).toBe(false)
    installFakeBridge()
    expect(isDesktopHost()).toBe(true)
    window.__ZORVIK_DESKTOP__ = true
    expect(hostFlagSet()).toBe(true)
  })

  it('is the desktop flavour', () => {
    expect(BUILD_TARGET).toBe('desktop')
    expect(BUILD_TARGET_LABEL).toBe('десктопная версия')
  })

  it('invoke without the host rejects; with it, forwards name and arguments', async () => {
    await expect(invoke('app_log_path')).rejects.toThrow()
    const { calls } = installFakeBridge(async () => '/x/startup.log')
    await expect(invoke('app_log_path')).resolves.toBe('/x/startup.log')
    expect(calls.map((c) => [c.cmd, c.args])).toEqual([['app_log_path', {}]])
    expect(pluginCommand('window', 'show')).toBe('plugin:window|show')
  })
})

describe('isCommandNotFound', () => {
  it.each([
    ['Command fetch_label not found', 'fetch_label', true],
    ['command FETCH_LABEL NOT FOUND', 'fetch_label', true],
    ['Command fetch_url not found', 'fetch_label', false],
    ['Command fetch_label not found: extra', 'fetch_label', false],
    [new Error('Command fetch_label not found'), 'fetch_label', true],
  ])('%s / %s', (err, cmd, expected) => {
    expect(isCommandNotFound(err, cmd)).toBe(expected)
  })

  it('shows plain strings unchanged', () => {
    expect(errorText('Принтер не найден')).toBe('Принтер не найден')
  })
})

describe('haptics', () => {
  it('swallows the desktop refusal', async () => {
    installFakeBridge(async () => {
      throw 'plugin:haptics|impact_feedback not allowed: the page has no permission for this command'
    })
    await expect(impactFeedback('light')).resolves.toBeUndefined()
  })
})
