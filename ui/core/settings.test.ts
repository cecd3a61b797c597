import { beforeEach, describe, expect, it, vi } from 'vitest'
import { createPinia, setActivePinia } from 'pinia'
import { useSettingsStore, type SettingsBackend } from './settings'
import { createAccountSettingsLoader, ACCOUNT_SETTINGS_FAILED } from './accountSettings'

function memoryBackend(initial?: unknown): SettingsBackend & { saved: unknown[] } {
  const saved: unknown[] = []
  let value = initial
  return {
    saved,
    read: async () => value,
    write: async (r) => {
      value = JSON.parse(JSON.stringify(r))
      saved.push(value)
    },
  }
}

beforeEach(() => {
  setActivePinia(createPinia())
  document.documentElement.removeAttribute('data-theme')
})

describe('settings holder', () => {
  it('loads, normalises and saves the device record', async () => {
    const s = useSettingsStore()
    const backend = memoryBackend({ listAutoLoad: 300, autoReleaseMinutes: 1000, themeMode: 'dark', uiScale: 1.2 })
    s.useBackend(backend)
    await s.loadDeviceSettings()
    expect(s.work.listAutoLoad).toBe(200)
    expect(s.work.autoReleaseMinutes).toBe(600)
    expect(document.documentElement.dataset.theme).toBe('dark')
    expect(document.documentElement.style.getPropertyValue('--ui-zoom')).toBe('1.2')
    s.applySettings({ work: { autoReleaseMinutes: -5 } })
    expect(await s.saveDeviceSettings()).toBe(true)
    expect((backend.saved[0] as { autoReleaseMinutes: number }).autoReleaseMinutes).toBe(30)
  })

  it('an unreadable device store keeps every default', async () => {
    const s = useSettingsStore()
    const defaults = JSON.parse(JSON.stringify(s.state))
    s.useBackend({ read: () => Promise.reject(new Error('corrupt')), write: async () => {} })
    await s.loadDeviceSettings()
    expect(s.state).toEqual(defaults)
    expect(document.documentElement.dataset.theme).toMatch(/light|dark/)
  })

  it('a failed save answers false', async () => {
    const s = useSettingsStore()
    s.useBackend({ read: async () => undefined, write: () => Promise.reject(new Error('disk full')) })
    expect(await s.saveDeviceSettings()).toBe(false)
  })
})

describe('account-wide settings', () => {
  it('concurrent callers share one fetch and the block is normalised', async () => {
    const fetcher = vi.fn(async () => ({ settings: { cellsDefaultSort: 'desc', cellsStockDisplay: 'odd', keepScreenOn: '1' } }))
    const loader = createAccountSettingsLoader(fetcher)
    const [a, b] = await Promise.all([loader.get(), loader.get()])
    expect(fetcher).toHaveBeenCalledTimes(1)
    expect(a).toBe(b)
    expect([a.cellsDefaultSort, a.cellsStockDisplay, a.keepScreenOn]).toEqual(['desc', null, true])
    await loader.get()
    expect(fetcher).toHaveBeenCalledTimes(1)
  })

  it('keeps one block per account: another account asks again and gets its own, the first keeps its own', async () => {
    let account = 'token-anna'
    const blocks: Record<string, unknown> = {
      'token-anna': { settings: { cellsStockDisplay: 'both' } },
      'token-oleg': { settings: { cellsStockDisplay: 'cell' } },
    }
    const fetcher = vi.fn(async () => blocks[account])
    const loader = createAccountSettingsLoader(fetcher, undefined, () => account)
    expect((await loader.get()).cellsStockDisplay).toBe('both')
    account = 'token-oleg'
    expect((await loader.get()).cellsStockDisplay).toBe('cell')
    account = 'token-anna'
    expect((await loader.get()).cellsStockDisplay).toBe('both')
    expect(fetcher).toHaveBeenCalledTimes(2)
    loader.remember({ cellsStockDisplay: 'warehouse' })
    expect((await loader.get()).cellsStockDisplay).toBe('warehouse')
  })

  it('a failure is logged and the defaults stay', async () => {
    const warn = vi.fn()
    const loader = createAccountSettingsLoader(() => Promise.reject(new Error('timeout')), warn)
    const got = await loader.get()
    expect(got.cellsDefaultSort).toBeNull()
    expect(got.keepScreenOn).toBe(false)
    expect(warn).toHaveBeenCalledWith(ACCOUNT_SETTINGS_FAILED, expect.any(Error))
  })
})
