/**
 * The device's copy of the account's product reference: opened and loaded
 * into the in-memory index once, kept current by synchronisation runs (one at
 * a time; a second call joins the running one), cleared when the account
 * changes or the capability goes away, and asked by the picking screen about
 * codes that are not in the document.
 */
import { createHooks } from '../core/hooks'
import { yieldToPage } from '../core/backgroundWork'
import type { Payload } from '../core/envelope'
import type { AssortmentDb, AssortmentMeta } from './assortmentDb'
import { DB_TEXTS, writeErrorText } from './dbTexts'
import type { LocalReference, ReferenceHit } from './localReference'
import { LookupIndex } from './lookupIndex'
import { assortmentStatusText, EMPTY_STATUS, type AssortmentStatus } from './statusText'
import type { AssortmentItem } from './syncAnswer'
import { runSync, type RunResult } from './syncRun'

export const OPT_IN_KEY = 'zorvik_assortment_on_device'
/** A run starts by itself after an identity check when the copy is empty or older than this. */
export const AUTO_SYNC_AFTER_MS = 15 * 60 * 1000

export const COPY_LOG = {
  capabilityOff: '[справочник] возможность выключена — убираем локальную копию',
  accountChanged: '[справочник] сменился аккаунт — локальную копию убираем',
  switchedOff: '[справочник] копия на устройстве выключена и удалена',
  syncFailed: '[справочник] подкачка не удалась:',
} as const

export interface ReferenceCopyDeps {
  openDb(): Promise<AssortmentDb>
  /** `assortmentSync` over the channel (30 s time-out) */
  ask(payload: Payload): Promise<Payload>
  /** inside the desktop host the copy is always on */
  desktop(): boolean
  storage?: Pick<Storage, 'getItem' | 'setItem' | 'removeItem'>
  now?: () => number
  wait?: (ms: number) => Promise<void>
  log?: (line: string) => void
  warn?: (line: string) => void
}

export interface PrepareFacts {
  /** the account's capability `assortmentSearch` */
  allowed: boolean
  /** the account id */
  scope: string
}

export interface ReferenceCopy extends LocalReference {
  ensureAssortmentLoaded(): Promise<void>
  findLocalAssortment(code: string): AssortmentItem | null
  syncAssortmentNow(options?: { full?: boolean }): Promise<RunResult>
  prepareAssortment(facts: PrepareFacts): Promise<void>
  /** prepares for the account and, when the copy is on and due, starts a run without waiting for it */
  afterIdentity(facts: PrepareFacts): Promise<void>
  clearAssortmentBase(): Promise<void>
  assortmentStatus(): AssortmentStatus
  assortmentStatusText(now?: number): string
  onStatus(hook: (s: AssortmentStatus) => void): () => void
  localCopyEnabled(): boolean
  localCopyOptedIn(): boolean
  setLocalCopyOptIn(on: boolean): Promise<void>
  close(): void
}

function defaultStorage(): ReferenceCopyDeps['storage'] {
  try {
    return typeof localStorage === 'undefined' ? undefined : localStorage
  } catch {
    return undefined
  }
}

export function createReferenceCopy(deps: ReferenceCopyDeps): ReferenceCopy {
  const now = deps.now ?? (() => Date.now())
  const wait = deps.wait ?? ((ms: number) => new Promise<void>((r) => setTimeout(r, ms)))
  const log = deps.log ?? ((line: string) => console.info(line))
  const warn = deps.warn ?? ((line: string) => console.warn(line))
  const storage = deps.storage ?? defaultStorage()
  const index = new LookupIndex()
  const meta: AssortmentMeta = { lastSyncAt: null, lastFullSyncAt: null, since: null, scope: null }
  const statusHooks = createHooks<[AssortmentStatus]>('справочник')
  let status: AssortmentStatus = { ...EMPTY_STATUS }
  let opened: Promise<AssortmentDb | null> | null = null
  let db: AssortmentDb | null = null
  // Bumped by every clear: a run that started before stops writing.
  let epoch = 0
  let running: Promise<RunResult> | null = null
  // Lookups and runs wait for the latest preparation, so a lookup after another account signed in never sees the old copy.
  let gate: Promise<void> = Promise.resolve()
  // The account of the latest identity check, for a copy switched on later.
  let account: PrepareFacts | null = null

  function setStatus(patch: Partial<AssortmentStatus>): void {
    status = { ...status, ...patch, count: index.count, bytes: index.bytes }
    statusHooks.run(status)
  }

  function ensureAssortmentLoaded(): Promise<void> {
    opened ??= (async () => {
      try {
        const d = await deps.openDb()
        Object.assign(meta, await d.readMeta())
        await d.loadAll((chunk) => index.put(chunk))
        db = d
        setStatus({ lastSyncAt: meta.lastSyncAt, error: null })
        return d
      } catch (err) {
        console.warn('[справочник] локальная база:', err)
        index.clear()
        setStatus({ error: DB_TEXTS.notOpened })
        return null
      }
    })()
    return opened.then(() => undefined)
  }

  async function clearNow(): Promise<void> {
    epoch += 1
    // The running run stops at its next step; the next call starts a fresh one for what the copy is now.
    running = null
    index.clear()
    Object.assign(meta, { lastSyncAt: null, lastFullSyncAt: null, since: null, scope: null })
    setStatus({ lastSyncAt: null, error: null, waitingSec: null })
    await db?.clear()
  }

  /** Runs `job` after every preparation or clear queued before it. */
  function gated(job: () => Promise<void>): Promise<void> {
    const next = gate.then(job)
    gate = next.catch((err) => console.warn('[справочник]', err))
    return next
  }

  async function prepareNow({ allowed, scope }: PrepareFacts): Promise<void> {
    await ensureAssortmentLoaded()
    if (!db) return
    if (!allowed) {
      if (index.count > 0) {
        log(COPY_LOG.capabilityOff)
        await clearNow()
      }
      return
    }
    if (meta.scope !== scope) {
      if (meta.scope !== null || index.count > 0) log(COPY_LOG.accountChanged)
      await clearNow()
      await db.writeMeta({ scope })
      meta.scope = scope
    }
  }

  function syncAssortmentNow(options: { full?: boolean } = {}): Promise<RunResult> {
    if (running) return running
    const run: Promise<RunResult> = (async () => {
      await gate
      await ensureAssortmentLoaded()
      const store = db
      if (!store) return { kind: 'failed', error: DB_TEXTS.notOpened } as const
      const mine = epoch
      setStatus({ syncing: true, error: null })
      const result = await runSync(
        {
          ask: deps.ask,
          store,
          index,
          meta,
          wait,
          breathe: yieldToPage,
          now,
          current: () => epoch === mine,
          onWaiting: (sec) => setStatus({ waitingSec: sec }),
          writeError: writeErrorText,
          warn,
        },
        options.full === true,
      ).catch((err: unknown): RunResult => ({ kind: 'failed', error: writeErrorText(err) }))
      if (result.kind === 'failed') warn(`${COPY_LOG.syncFailed} ${result.error}`)
      if (result.kind === 'dropped') {
        if (running === null) setStatus({ syncing: false, waitingSec: null })
      }
      else setStatus({ syncing: false, waitingSec: null, lastSyncAt: meta.lastSyncAt, error: result.kind === 'failed' ? result.error : null })
      return result
    })().finally(() => {
      if (running === run) running = null
    })
    running = run
    return run
  }

  function localCopyOptedIn(): boolean {
    try {
      return storage?.getItem(OPT_IN_KEY) === '1'
    } catch {
      return false
    }
  }

  function localCopyEnabled(): boolean {
    return deps.desktop() || localCopyOptedIn()
  }

  function findLocalAssortment(code: string): AssortmentItem | null {
    return index.find(code)
  }

  async function afterIdentity(facts: PrepareFacts): Promise<void> {
    account = facts
    if (!localCopyEnabled()) return
    await gated(() => prepareNow(facts))
    if (!facts.allowed || !db) return
    const due = index.count === 0 || meta.lastSyncAt === null || now() - meta.lastSyncAt >= AUTO_SYNC_AFTER_MS
    if (due) void syncAssortmentNow()
  }

  return {
    ensureAssortmentLoaded,
    findLocalAssortment,
    async lookup(code: string): Promise<ReferenceHit | null> {
      if (!localCopyEnabled()) return null
      await gate
      await ensureAssortmentLoaded()
      const hit = findLocalAssortment(code)
      return hit ? { name: hit.name, article: hit.article, code: hit.code } : null
    },
    syncAssortmentNow,
    prepareAssortment: (facts) => gated(() => prepareNow(facts)),
    afterIdentity,
    clearAssortmentBase: () => gated(clearNow),
    assortmentStatus: () => status,
    assortmentStatusText: (at = now()) => assortmentStatusText(status, at),
    onStatus: (hook) => statusHooks.add(hook),
    localCopyEnabled,
    localCopyOptedIn,
    async setLocalCopyOptIn(on) {
      try {
        if (on) storage?.setItem(OPT_IN_KEY, '1')
        else storage?.removeItem(OPT_IN_KEY)
      } catch {
        // a storage that refuses keeps the copy as it was
      }
      if (deps.desktop()) return
      if (on) {
        // Switched on: the copy is prepared for the signed-in account and fetched at once.
        if (account) await afterIdentity(account)
        return
      }
      await gated(async () => {
        await ensureAssortmentLoaded()
        await clearNow()
        log(COPY_LOG.switchedOff)
      })
    },
    close() {
      epoch += 1
      db?.close()
    },
  }
}
