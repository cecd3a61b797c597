/**
 * The Ozon store ("ozon"): the FBS shipment documents of the Ozon page, the
 * postings with their label links, busy flags, the last note and one
 * rate-limit pause for every Ozon request (kept by the core), the filters of
 * the page, and the label steps the picking screen calls (prefetch on
 * opening, print after assembly) and `labelReady.push`.
 */
import { defineStore } from 'pinia'
import { computed, ref } from 'vue'
import type { Payload } from '../../core/envelope'
import { isTimeout } from '../../core/requests'
import { useSettingsStore } from '../../core/settings'
import { useSaveSettings } from '../../core/settings/useSaveSettings'
import { readCompletedMarks } from '../../documents/completedMarks'
import { DocumentListError, getDocumentList } from '../../documents/documentRequests'
import { useDocumentStore } from '../../documents/documentStore'
import type { DocumentRecord } from '../../documents/records'
import { createOzonCore, type AssemblyOptions, type OzonDeps, type PrintResult, type ProductLine } from './ozonCore'
import { isRateLimited, listPauseText, postingIn, staleText } from './ozonLogic'
import { ozonDeps } from './ozonDeps'
import { postingOf, readStatusFilter, shownRows, storeChips, type StatusFilter } from './ozonRows'

export interface ListProblem {
  text: string
  /** offer the way to the Ozon shops */
  settings: boolean
}

export const NO_INTEGRATION = 'Подключите магазин Ozon в настройках'
export const LIST_SERVER_SILENT = 'Сервер не ответил. Попробуйте обновить позже'
/** the FBS list is loaded again on opening when older than this */
export const LIST_FRESH_MS = 120_000
/** the refresh button rests this long after an FBS load */
export const REFRESH_REST_MS = 60_000
/** a prefetch of the same document is not repeated within this */
export const PREFETCH_REST_MS = 60_000

export const useOzonStore = defineStore('ozon', () => {
  const settings = useSettingsStore()
  const docs = useDocumentStore()
  /** bumped whenever the core changed something the screens show */
  const rev = ref(0)
  const now = ref(Date.now())
  const loading = ref(false)
  const loaded = ref(false)
  const stale = ref(false)
  const problem = ref<ListProblem | null>(null)
  const storeFilter = ref('')
  const query = ref('')
  /** what a relay in progress says (the other computer's stages) */
  const progress = ref('')
  /** the last label failed for want of a printer set up (here or on the other computer): the note offers the print settings */
  const offerSettings = ref(false)
  const prefetched = new Map<string, number>()

  const deps: OzonDeps = {
    ask: (name, payload) => ozonDeps().ask(name, payload),
    sleep: (s) => ozonDeps().sleep(s),
    now: () => ozonDeps().now(),
    failureText: (err) => ozonDeps().failureText(err),
    print: async (posting, answer, copies) => {
      offerSettings.value = false
      // A relayed label whose outcome comes after the wait (the other computer was away) says it then.
      const later = (r: PrintResult) => {
        core.note = r.text
        offerSettings.value = r.openSettings === true
        rev.value += 1
      }
      const result = await ozonDeps().print(posting, answer, copies, (text) => (progress.value = text), later)
      progress.value = ''
      if (result.openSettings) offerSettings.value = true
      return result
    },
  }
  const core = createOzonCore(deps)

  async function run<T>(step: () => Promise<T>): Promise<T> {
    try {
      return await step()
    } finally {
      rev.value += 1
      now.value = deps.now()
    }
  }

  const note = computed(() => (rev.value, core.note))
  const busy = computed(() => (rev.value, new Set(core.busy)))
  const postings = computed(() => (rev.value, new Map(core.postings)))
  const pauseLeft = computed(() => (rev.value, now.value, core.pauseLeft()))
  const restLeft = computed(() => {
    const at = docs.ozonLoadedAt
    return at === null ? 0 : Math.max(0, Math.ceil((at + REFRESH_REST_MS - now.value) / 1000))
  })
  const waitLeft = computed(() => Math.max(pauseLeft.value, restLeft.value))
  const refreshText = computed(() => (loading.value ? 'Обновляем…' : waitLeft.value > 0 ? `Обновить через ${waitLeft.value} с` : 'Обновить'))

  const statusFilter = computed<StatusFilter>(() => readStatusFilter(settings.work.ozonStatusFilter))
  const schemes = computed(() => settings.work.ozonSchemes)
  const chips = computed(() => storeChips(docs.ozonDocuments))
  const shown = computed(() => shownRows(docs.ozonDocuments, { status: statusFilter.value, store: storeFilter.value, query: query.value }))

  function tick(at: number = deps.now()) {
    now.value = at
  }

  async function setStatusFilter(value: StatusFilter) {
    await useSaveSettings()({ work: { ozonStatusFilter: value } })
  }

  async function toggleScheme(scheme: 'fbs' | 'fbo') {
    const next = { ...schemes.value, [scheme]: !schemes.value[scheme] }
    await useSaveSettings()({ work: { ozonSchemes: next } })
  }

  /** Documents completed here count as collected until the server says so too. */
  function withMarks(list: DocumentRecord[]): DocumentRecord[] {
    const marks = readCompletedMarks()
    return list.map((d) => (marks[d.id] && d.status !== 'completed' ? { ...d, status: 'completed' as const } : d))
  }

  function registerAll(list: readonly DocumentRecord[]) {
    for (const d of list) core.register(d.id, postingOf(d))
  }

  /** Loads the FBS list and matches the postings (`force`: the refresh button; else at most every 5 minutes). */
  async function loadFbs(force: boolean): Promise<void> {
    tick()
    if (loading.value) return
    if (core.paused()) {
      core.note = listPauseText(core.pauseLeft())
      rev.value += 1
      return
    }
    loading.value = true
    try {
      const result = await getDocumentList('shipment', { source: 'ozon' })
      const list = withMarks(result.items)
      docs.ozonDocuments = list
      docs.ozonLoadedAt = deps.now()
      if (result.ozonConfigured !== undefined) docs.ozonConfigured = result.ozonConfigured
      registerAll(list)
      problem.value = result.ozonConfigured === false ? { text: NO_INTEGRATION, settings: true } : null
      stale.value = result.stale === true
      if (stale.value) {
        const at = Date.parse(result.staleLoadedAt ?? '')
        core.note = staleText(Number.isFinite(at) ? at : deps.now(), deps.now())
        // A stale list means Ozon is limiting requests: the pause starts as for a limited answer.
        core.startPause({})
      } else if (force || settings.work.ozonAutoLoad) {
        await run(() => core.loadPostings(force, list.map(postingOf).filter((k) => k !== '')))
      }
    } catch (err) {
      problem.value = listProblem(err)
      if (err instanceof DocumentListError && isRateLimited({ errorCode: err.errorCode, error: err.message })) {
        problem.value = { text: listPauseText(core.startPause({ retryAfter: err.retryAfter })), settings: false }
      }
    } finally {
      loading.value = false
      loaded.value = true
      rev.value += 1
    }
  }

  function listProblem(err: unknown): ListProblem {
    if (err instanceof DocumentListError && err.errorCode === 'no-integration') return { text: err.message && err.message !== 'no-integration' ? err.message : NO_INTEGRATION, settings: true }
    if (isTimeout(err)) return { text: LIST_SERVER_SILENT, settings: false }
    return { text: err instanceof Error ? err.message : String(err), settings: false }
  }

  /** Opening the page: the list is loaded when older than two minutes or stale. */
  async function open(): Promise<void> {
    const at = docs.ozonLoadedAt
    if (at === null || stale.value || deps.now() - at > LIST_FRESH_MS) await loadFbs(false)
  }

  function patchDocument(id: string, change: Partial<DocumentRecord>) {
    docs.ozonDocuments = docs.ozonDocuments.map((d) => (d.id === id ? { ...d, ...change } : d))
    const cur = docs.currentDocument
    if (cur && cur.id === id) Object.assign(cur, change)
  }

  function findDocument(id: string): DocumentRecord | undefined {
    return docs.ozonDocuments.find((d) => d.id === id) ?? (docs.currentDocument?.id === id ? docs.currentDocument : undefined) ?? docs.documents.find((d) => d.id === id)
  }

  /** Product labels of a completed Ozon document: one per position, copies = its required quantity. */
  function productLines(doc: DocumentRecord | undefined): ProductLine[] {
    if (!settings.print.ozonAutoPrintProducts || !doc || doc.source !== 'ozon') return []
    return doc.products.map((p) => ({ sku: p.assortmentId, name: p.name, copies: Math.max(1, p.required) }))
  }

  function assembly(doc: DocumentRecord | undefined): AssemblyOptions {
    return { autoPrint: settings.print.ozonAutoPrint, products: productLines(doc), documentId: doc?.id ?? '' }
  }

  /** "Собрано в Ozon" / "Передать к отгрузке": hands the posting over, then its label. */
  async function ship(doc: DocumentRecord): Promise<boolean> {
    const number = postingOf(doc)
    core.register(doc.id, number)
    const p = run(() => core.ship(doc.id, number, assembly(findDocument(doc.id) ?? doc)))
    rev.value += 1
    const shipped = await p
    if (shipped) patchDocument(doc.id, { ozonStatus: 'awaiting_deliver' })
    return shipped
  }

  /** "🏷 Этикетка": the posting label, asked and printed again on request. */
  async function printLabel(doc: DocumentRecord): Promise<void> {
    const number = postingOf(doc)
    core.register(doc.id, number)
    await run(() => core.label(number, true, true))
  }

  /** After a completion sent here: the label (and product labels) of an Ozon posting. */
  async function afterCompletion(documentId: string, documentNumber: string): Promise<void> {
    const doc = findDocument(documentId)
    const number = (doc && postingOf(doc)) || postingIn(documentNumber)
    if (number === '' || (doc && doc.source !== 'ozon' && postingIn(documentNumber) === '')) return
    core.register(documentId, number)
    patchDocument(documentId, { status: 'completed' })
    await run(() => core.afterAssembly(number, assembly(doc)))
  }

  /** Opening an Ozon document: its label is fetched ahead (never printed) when printing is likely. */
  async function prefetch(doc: DocumentRecord, printable: boolean): Promise<void> {
    const number = postingOf(doc)
    if (number === '' || !printable) return
    if (!settings.print.labelsPrinted && !settings.print.ozonAutoPrint) return
    const last = prefetched.get(doc.id)
    if (last !== undefined && deps.now() - last < PREFETCH_REST_MS) return
    prefetched.set(doc.id, deps.now())
    core.register(doc.id, number)
    const known = core.postings.get(number)
    if (known && known.labelUrl !== '') return
    if (!known && !(await run(() => core.loadPostings(false)))) return
    if (!core.postings.has(number)) return
    await run(() => core.label(number, false))
  }

  function labelReady(push: Payload): Promise<unknown> {
    return run(() => core.labelReady(push))
  }

  function reset() {
    docs.ozonDocuments = []
    docs.ozonLoadedAt = null
    problem.value = null
    loaded.value = false
  }

  return {
    rev, now, loading, loaded, stale, problem, storeFilter, query, progress, offerSettings,
    note, busy, postings, pauseLeft, waitLeft, refreshText, statusFilter, schemes, chips, shown,
    tick, setStatusFilter, toggleScheme, loadFbs, open, ship, printLabel, afterCompletion, prefetch, labelReady, reset,
    /** the core, for the parts of the page that share its pause (FBO) */
    core,
  }
})
