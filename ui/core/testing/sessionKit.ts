/** A fresh session for a test: memory storage, a new Pinia, the stand-in's address, captured log lines. */
import { createPinia, setActivePinia } from 'pinia'
import { vi, type Mock } from 'vitest'
import { useCredentialsBackend } from '../credentials'
import { resetDeviceIdCache } from '../deviceId'
import { writeSavedAccounts, type SavedAccount } from '../savedAccounts'
import { configureSession, resetSession } from '../session'
import { setServerBaseUrl } from '../serviceUrl'
import { installMemoryStorage, type MemoryStorage } from './memoryStorage'

export interface SessionKit {
  storage: MemoryStorage
  navigate: Mock
  /** lines written to the application log */
  logLines: string[]
  /** lines written to the page console (info and warn) */
  consoleLines: string[]
}

export function freshSession(serviceUrl: string): SessionKit {
  const storage = installMemoryStorage()
  setActivePinia(createPinia())
  resetSession()
  setServerBaseUrl(serviceUrl)
  useCredentialsBackend(undefined)
  resetDeviceIdCache()
  const navigate = vi.fn()
  configureSession({ navigate, userAgent: () => 'vitest-agent', identityPauses: { retryMs: 50, recheckMs: 150 } })
  const logLines: string[] = []
  const consoleLines: string[] = []
  vi.spyOn(console, 'log').mockImplementation((...args: unknown[]) => {
    if (args[0] === '[журнал]') logLines.push(String(args[1]))
  })
  for (const level of ['info', 'warn'] as const)
    vi.spyOn(console, level).mockImplementation((...args: unknown[]) => consoleLines.push(args.map(String).join(' ')))
  return { storage, navigate, logLines, consoleLines }
}

export function endSession(): void {
  resetSession()
  setServerBaseUrl(undefined)
  vi.restoreAllMocks()
}

let added = 0

/** Saves quick-login accounts for the given tokens, oldest first. */
export function saveAccounts(...tokens: Array<{ token: string; refreshToken: string; name?: string }>): SavedAccount[] {
  const list = tokens.map((t, i): SavedAccount => ({
    id: `acc-${++added}`,
    addedAt: 1_000 + i,
    pin: String(100000 + added),
    deviceJwt: t.token,
    refreshToken: t.refreshToken,
    name: t.name ?? `Сотрудник ${added}`,
    settings: {},
  }))
  writeSavedAccounts(list)
  return list
}
