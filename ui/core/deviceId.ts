/**
 * The device identifier: a random UUID kept under "zv_device_id" in the host
 * store ".device.dat" (local storage in a plain browser), made on first use.
 */
import { isDesktopHost } from './bridge'
import { HostStore } from './hostStore'
import { readLocal, writeLocal } from './localStore'
import { randomId } from './randomId'

export const DEVICE_FILE = '.device.dat'
export const DEVICE_ID_KEY = 'zv_device_id'
/** used when the host store cannot be opened */
export const DEVICE_ID_FALLBACK = 'zv-device-fallback-v1'

let pending: Promise<string> | undefined

async function fromHost(): Promise<string> {
  let store: HostStore
  try {
    store = await HostStore.load(DEVICE_FILE)
  } catch {
    return DEVICE_ID_FALLBACK
  }
  try {
    const id = await store.get<unknown>(DEVICE_ID_KEY)
    if (typeof id === 'string' && id !== '') return id
  } catch {
    // an unreadable value is replaced below
  }
  const id = randomId()
  await store.set(DEVICE_ID_KEY, id).catch(() => {})
  return id
}

function fromBrowser(): string {
  const id = readLocal<unknown>(DEVICE_ID_KEY)
  if (typeof id === 'string' && id !== '') return id
  const fresh = randomId()
  writeLocal(DEVICE_ID_KEY, fresh)
  return fresh
}

export function getOrCreateDeviceId(): Promise<string> {
  pending ??= isDesktopHost() ? fromHost() : Promise.resolve(fromBrowser())
  return pending
}

/** Forgets the remembered value (tests). */
export function resetDeviceIdCache(): void {
  pending = undefined
}
