import { afterEach, beforeEach, describe, expect, it } from 'vitest'
import { DEVICE_ID_FALLBACK, DEVICE_ID_KEY, getOrCreateDeviceId, resetDeviceIdCache } from './deviceId'
import { loadDeviceJwt, loadRefreshToken, saveDeviceJwt, clearDeviceJwt, useCredentialsBackend } from './credentials'
import { installFakeBridge, removeFakeBridge } from './testing/fakeBridge'

/** The host's key-value files, kept in memory behind the same bridge commands. */
function hostWithStores(files: Record<string, Record<string, unknown>>, opts: { refuseLoad?: boolean } = {}) {
  const rids: string[] = []
  installFakeBridge((cmd, args) => {
    if (cmd === 'plugin:store|load') {
      if (opts.refuseLoad) throw new Error('Не удалось открыть хранилище')
      rids.push(String(args.path))
      files[String(args.path)] ??= {}
      return rids.length - 1
    }
    const file = files[rids[Number(args.rid)]!]!
    const key = String(args.key)
    if (cmd === 'plugin:store|get') return { value: file[key] ?? null, exists: key in file }
    if (cmd === 'plugin:store|set') return void (file[key] = args.value)
    if (cmd === 'plugin:store|delete') return delete file[key]
    return null
  })
}

beforeEach(() => {
  localStorage.clear()
  resetDeviceIdCache()
  useCredentialsBackend(undefined)
})
afterEach(() => {
  removeFakeBridge()
  useCredentialsBackend(undefined)
})

describe('device identifier', () => {
  it('is made once and kept in ".device.dat"', async () => {
    const files: Record<string, Record<string, unknown>> = {}
    hostWithStores(files)
    const id = await getOrCreateDeviceId()
    expect(id).toMatch(/^[0-9a-f-]{36}$/)
    expect(files['.device.dat']).toEqual({ [DEVICE_ID_KEY]: id })
    resetDeviceIdCache()
    expect(await getOrCreateDeviceId()).toBe(id)
  })

  it('falls back to a fixed value when the store cannot be opened', async () => {
    hostWithStores({}, { refuseLoad: true })
    expect(await getOrCreateDeviceId()).toBe(DEVICE_ID_FALLBACK)
  })

  it('lives in local storage in a plain browser', async () => {
    const id = await getOrCreateDeviceId()
    expect(JSON.parse(localStorage.getItem('zv_device_id')!)).toBe(id)
  })
})

describe('credentials', () => {
  it('keep device_jwt in "credentials.dat" inside the host', async () => {
    const files: Record<string, Record<string, unknown>> = {}
    hostWithStores(files)
    await saveDeviceJwt('t-1')
    expect(files['credentials.dat']).toEqual({ device_jwt: 't-1' })
    expect(await loadDeviceJwt()).toBe('t-1')
    await clearDeviceJwt()
    expect(await loadDeviceJwt()).toBeNull()
  })

  it('read as null when the store fails, and a failed delete is ignored', async () => {
    hostWithStores({}, { refuseLoad: true })
    expect(await loadRefreshToken()).toBeNull()
    await expect(clearDeviceJwt()).resolves.toBeUndefined()
    await expect(saveDeviceJwt('x')).rejects.toThrow('Не удалось открыть хранилище')
  })
})
