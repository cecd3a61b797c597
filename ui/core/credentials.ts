/**
 * The credentials store: "device_jwt" and "refresh_token" in the host's
 * key-value file "credentials.dat", or in local storage in a plain browser.
 * A failed read yields null; a failed delete is ignored.
 */
import { isDesktopHost } from './bridge'
import { HostStore } from './hostStore'
import { readLocal, removeLocal, writeLocal } from './localStore'

export const CREDENTIALS_FILE = 'credentials.dat'
const DEVICE_JWT = 'device_jwt'
const REFRESH_TOKEN = 'refresh_token'

export interface CredentialsBackend {
  get(key: string): Promise<unknown>
  set(key: string, value: string): Promise<void>
  delete(key: string): Promise<void>
}

export function hostCredentials(): CredentialsBackend {
  let store: Promise<HostStore> | undefined
  const open = () => {
    store ??= HostStore.load(CREDENTIALS_FILE).catch((err: unknown) => {
      store = undefined // the next call tries again
      throw err
    })
    return store
  }
  return {
    get: async (key) => (await open()).get(key),
    set: async (key, value) => (await open()).set(key, value),
    delete: async (key) => {
      await (await open()).delete(key)
    },
  }
}

export function browserCredentials(): CredentialsBackend {
  return {
    get: async (key) => readLocal(key),
    set: async (key, value) => {
      if (!writeLocal(key, value)) throw new Error('хранилище браузера переполнено')
    },
    delete: async (key) => removeLocal(key),
  }
}

let backend: CredentialsBackend | undefined

/** Tests (and a future platform) may put another store in place. */
export function useCredentialsBackend(b: CredentialsBackend | undefined): void {
  backend = b
}

function store(): CredentialsBackend {
  return (backend ??= isDesktopHost() ? hostCredentials() : browserCredentials())
}

async function read(key: string): Promise<string | null> {
  try {
    const v = await store().get(key)
    return typeof v === 'string' && v !== '' ? v : null
  } catch {
    return null
  }
}

async function remove(key: string): Promise<void> {
  try {
    await store().delete(key)
  } catch {
    // nothing to undo: the value stays unreadable to us either way
  }
}

export const saveDeviceJwt = (token: string) => store().set(DEVICE_JWT, token)
export const loadDeviceJwt = () => read(DEVICE_JWT)
export const clearDeviceJwt = () => remove(DEVICE_JWT)
export const saveRefreshToken = (token: string) => store().set(REFRESH_TOKEN, token)
export const loadRefreshToken = () => read(REFRESH_TOKEN)
export const clearRefreshToken = () => remove(REFRESH_TOKEN)
