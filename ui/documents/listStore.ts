/**
 * The "documentList" holder: loading the list of one type page by page within
 * a budget, the shared load view every screen reads, the cached-first display,
 * the reload policy and the menu's preload.
 */
import { defineStore } from 'pinia'
import { reactive, ref } from 'vue'
import { isDemoMode } from '../core/session'
import { readQueue } from '../core/sendQueue'
import { useSettingsStore } from '../core/settings'
import { readCompletedMarks, unmarkCompleted } from './completedMarks'
import { readCachedList, writeCachedList } from './dataCache'
import { getDocumentList, type DocumentListResult } from './documentRequests'
import { useDocumentStore } from './documentStore'
import { confirmedFirst, marksToDrop, mergePage, prune } from './listMerge'
import { EMPTY_FIRST_PAGE_NOTE, failedAfterPagesNote, listTarget } from './listTexts'
import { prefetchContents } from './prefetch'
export type ListPhase = 'loading' | 'done' | 'limit' | 'failed' | 'empty' | 'cancelled'

/** What the screens show of a list load. */
export interface ListLoadView {
  type: string
  phase: ListPhase
  loaded: number
  total?: number
  target?: number
  more: boolean
  note: string
  running: boolean
  error: string
}

export interface LoadOptions {
  stage?: string[]
  onFirstPage?: () => void
}

/** A reload is skipped while the last first page is younger than this. */
export const RELOAD_FRESH_MS = 30_000
export const PRELOAD_EVERY_MS = 30_000
export const PRELOAD_TYPE = 'shipment'
/** a role switch reloads the list once the choice has settled */
export const ROLE_SWITCH_DEBOUNCE_MS = 250

interface LoadSession {
  id: number
  type: string
  stage: string[]
  seen: Set<string>
  firstPageReceived: boolean
  nextOffset: number | null
  knownAtStart: number
  total?: number
  onFirstPage?: () => void
}

export const useDocumentListStore = defineStore('documentList', () => {
  const view = reactive<ListLoadView>({ type: '', phase: 'done', loaded: 0, more: false, note: '', running: false, error: '' })
  /** time of the cached list on screen (null: what is shown came from the server) */
  const cachedAt = ref<number | null>(null)
  const cachedType = ref('')
  /** when the last first page of each type arrived */
  const lastFirstPageAt = reactive<Record<string, number>>({})

  let generation = 0
  let session: LoadSession | undefined
  let running: { type: string; promise: Promise<ListLoadView> } | undefined
  let lastPreloadAt = -Infinity
  /** empty first pages in a row, per type */
  const emptyStreak = new Map<string, number>()

  const docs = () => useDocumentStore()
  const shownOf = (type: string) => docs().documents.filter((d) => d.type === type)

  function setView(patch: Partial<ListLoadView>) {
    Object.assign(view, patch)
  }

  function snapshot(): ListLoadView {
    return { ...view }
  }

  function finish(s: LoadSession, phase: ListPhase, patch: Partial<ListLoadView> = {}): ListLoadView {
    // A load overtaken by a newer one leaves the view to that one.
    if (s.id !== generation) return { ...view, phase: 'cancelled', running: false }
    setView({ phase, running: false, more: false, ...patch })
    return snapshot()
  }

  async function runSession(s: LoadSession): Promise<ListLoadView> {
    const budget = useSettingsStore().work.listAutoLoad
    const runStart = s.seen.size
    setView({
      type: s.type,
      phase: 'loading',
      running: true,
      more: false,
      note: '',
      error: '',
      loaded: s.seen.size,
      total: s.total,
      target: listTarget(s.total, runStart, budget),
    })
    while (s.nextOffset !== null) {
      if (s.id !== generation) return finish(s, 'cancelled')
      if (!s.firstPageReceived) s.knownAtStart = shownOf(s.type).length
      const offset = s.nextOffset
      let page: DocumentListResult
      try {
        page = await getDocumentList(s.type, { stage: s.stage, offset, maxPages: 1 })
      } catch (err) {
        if (s.id !== generation) return finish(s, 'cancelled')
        const text = err instanceof Error ? err.message : String(err)
        if (s.firstPageReceived) return finish(s, 'failed', { note: failedAfterPagesNote(s.seen.size), more: true })
        return finish(s, 'failed', { error: text })
      }
      if (s.id !== generation) return finish(s, 'cancelled')
      const first = !s.firstPageReceived
      if (first) {
        const streak = emptyStreak.get(s.type) ?? 0
        if (page.items.length === 0) {
          emptyStreak.set(s.type, streak + 1)
          // One empty first page while documents are shown is taken for a hiccup; the next one is believed.
          if (s.knownAtStart > 0 && streak === 0) return finish(s, 'empty', { note: EMPTY_FIRST_PAGE_NOTE })
        } else emptyStreak.set(s.type, 0)
      }
      s.firstPageReceived = true
      if (page.total !== undefined) s.total = page.total
      for (const d of page.items) s.seen.add(d.id)
      const last = page.nextOffset === undefined || page.nextOffset <= offset
      let merged = mergePage(shownOf(s.type), page.items)
      if (last) merged = prune(merged, s.seen)
      dropStaleMarks(page, s.stage.length > 0)
      docs().replaceTypeDocuments(s.type, merged)
      if (!isDemoMode() && (s.seen.size > 0 || s.knownAtStart === 0)) writeCachedList(s.type, confirmedFirst(merged))
      if (first) {
        lastFirstPageAt[s.type] = Date.now()
        if (cachedType.value === s.type) cachedAt.value = null
        if (page.ozonConfigured !== undefined) docs().ozonConfigured = page.ozonConfigured
        if (!isDemoMode()) void prefetchContents(page.items)
        try {
          s.onFirstPage?.()
        } catch (err) {
          console.error('[документ] onFirstPage упал:', err)
        }
      }
      s.nextOffset = last ? null : page.nextOffset!
      setView({ loaded: s.seen.size, total: s.total, target: listTarget(s.total, runStart, budget) })
      if (last) return finish(s, 'done', { total: s.total })
      if (s.seen.size - runStart >= budget) return finish(s, 'limit', { more: true })
    }
    return finish(s, 'done')
  }

  /** Completed-here marks give way to a server that still lists the document as open (see listMerge). */
  function dropStaleMarks(page: DocumentListResult, stagesAsked: boolean) {
    const marks = readCompletedMarks(Date.now())
    if (Object.keys(marks).length === 0) return
    const queued = new Set(readQueue(Date.now()).map((e) => e.documentId))
    const drop = marksToDrop(page.items, marks, queued, stagesAsked, Date.now())
    if (drop.length === 0) return
    for (const id of drop) unmarkCompleted(id)
    console.info(`[документ] сервер числит несобранными, снимаю отметку «собран здесь»: ${drop.join(', ')}`)
  }

  function track(type: string, promise: Promise<ListLoadView>): Promise<ListLoadView> {
    const entry = { type, promise }
    running = entry
    void promise.finally(() => {
      if (running === entry) running = undefined
    })
    return promise
  }

  /** Loads the list of `type` from the start, up to the budget; a newer load cancels this one. */
  function loadDocumentList(type: string, options: LoadOptions = {}): Promise<ListLoadView> {
    generation += 1
    session = {
      id: generation,
      type,
      stage: options.stage ?? [],
      seen: new Set(),
      firstPageReceived: false,
      nextOffset: 0,
      knownAtStart: 0,
      onFirstPage: options.onFirstPage,
    }
    return track(type, runSession(session))
  }

  /** Continues the last load with a new budget (the "Загрузить еще" button). */
  function loadMoreDocuments(): Promise<ListLoadView> {
    const s = session
    if (running) return running.promise
    if (!s || s.id !== generation || s.nextOffset === null) return Promise.resolve(snapshot())
    return track(s.type, runSession(s))
  }

  function cancelDocumentListLoad() {
    generation += 1
    // A cancelled load must not be joined: the screen opened again would wait on a load that shows nothing.
    running = undefined
    if (view.running) setView({ phase: 'cancelled', running: false })
  }

  /** Shows the cached list of `type`, every document unconfirmed; answers the cache time or null. */
  function showCachedDocuments(type: string): number | null {
    const entry = readCachedList(type, Date.now())
    if (!entry || entry.data.length === 0) return null
    docs().replaceTypeDocuments(
      type,
      entry.data.map((d) => ({ ...d, products: [], unconfirmed: true })),
    )
    cachedAt.value = entry.cachedAt
    cachedType.value = type
    return entry.cachedAt
  }

  /** A reload of `type`: joins a running load of that type, is skipped while the last first page is fresh unless forced. */
  function reload(type: string, options: { force?: boolean } = {}): Promise<ListLoadView> {
    if (running?.type === type) return running.promise
    const last = lastFirstPageAt[type]
    if (!options.force && last !== undefined && Date.now() - last < RELOAD_FRESH_MS) return Promise.resolve(snapshot())
    return loadDocumentList(type)
  }

  /** The list screen opens: join a running load of its type, or show the cache first and reload. */
  function enterList(type: string): Promise<ListLoadView> {
    if (running?.type === type) return running.promise
    if (!isDemoMode() && shownOf(type).length === 0) showCachedDocuments(type)
    else if (cachedType.value !== type) cachedAt.value = null
    return reload(type)
  }

  /** The menu opens: the shipment list is loaded ahead, at most every 30 s and never beside another load. */
  function preload(): Promise<ListLoadView> | undefined {
    if (running) return undefined
    if (Date.now() - lastPreloadAt < PRELOAD_EVERY_MS) return undefined
    lastPreloadAt = Date.now()
    return loadDocumentList(PRELOAD_TYPE)
  }

  let roleSwitchTimer: ReturnType<typeof setTimeout> | undefined
  /** The role was switched: the list of `type` is loaded again (forced) once the switching has settled. */
  function reloadAfterRoleSwitch(type: string): void {
    clearTimeout(roleSwitchTimer)
    roleSwitchTimer = setTimeout(() => void reload(type, { force: true }), ROLE_SWITCH_DEBOUNCE_MS)
  }

  /** A first page has arrived in the current load (the search may ask the server from then on). */
  function firstPageArrived(type: string): boolean {
    return session?.type === type && session.firstPageReceived
  }

  function sessionSeen(): number {
    return session?.seen.size ?? 0
  }

  function isRunning(type?: string): boolean {
    return running !== undefined && (type === undefined || running.type === type)
  }

  return {
    view,
    cachedAt,
    cachedType,
    lastFirstPageAt,
    loadDocumentList,
    loadMoreDocuments,
    cancelDocumentListLoad,
    showCachedDocuments,
    reload,
    enterList,
    preload,
    reloadAfterRoleSwitch,
    firstPageArrived,
    sessionSeen,
    isRunning,
  }
})

// The module operations under their own names.
export const loadDocumentList = (type: string, options?: LoadOptions) => useDocumentListStore().loadDocumentList(type, options)
export const loadMoreDocuments = () => useDocumentListStore().loadMoreDocuments()
export const cancelDocumentListLoad = () => useDocumentListStore().cancelDocumentListLoad()
export const showCachedDocuments = (type: string) => useDocumentListStore().showCachedDocuments(type)
export const listLoadView = (): ListLoadView => ({ ...useDocumentListStore().view })
