/**
 * The working state of one open document and everything a scan does to it.
 * The scan path is synchronous from the code to the shown outcome: match,
 * classify, count, write the draft, show the message and start the sound and
 * vibration — nothing on it waits. Server questions (unknown-code help, the
 * marking check, position edits) run beside it and never hold a scan back.
 */
import { computed, reactive, shallowRef, watch, type ComputedRef } from 'vue'
import type { Payload } from '../../core/envelope'
import { localReference, type LocalReference } from '../../reference/localReference'
import type { useDocumentStore } from '../documentStore'
import { positionStatus, type DocumentRecord, type PositionRecord } from '../records'
import { buildBarcodeIndex, chooseLine, matchScan, type BarcodeIndex } from './barcodeIndex'
import { nextCellsOrder, readCellsOrder, sortByCell, writeCellsOrder, type CellsOrder } from './cells'
import { CONTENTS_TEXTS, createContentsLoader, type ContentsSource } from './contentsLoading'
import { readDraft, spreadOverLines, writeDraft, type ShortfallEntry } from './draft'
import { createMarkChecker, reportFor, type MarkChecker, type MarkVerdict } from './markCheck'
import { markIdentity, tailStatus } from './markingCode'
import { createNamedTimers, createNotes, type Flash } from './noteTimers'
import { cleanScannedCode } from '../scanner/symbology'
import { excessRemoval } from '../completion/finishReview'
import { playOutcome, type OutcomeFeedback } from '../feedback/playOutcome'
import { isOzonPosting, postingOpenedHooks } from './ozonPosting'
import { createPositionEditor, EDITOR_TEXTS } from './positionEditor'
import { classifyAdd, classifyUndo, type OutcomeSound, type OutcomeVibration, type ScanFacts, type ScanOutcome } from './scanOutcome'
import { BARCODE_CHECK_TIMEOUT_MS, createUnknownCodeHelp, type UnknownCodeHelp } from './unknownCodeHelp'

export type { ContentsSource } from './contentsLoading'
export type { Flash } from './noteTimers'

export const TAIL_NOTE_GAP_MS = 30_000
export const AFTER_SCAN_MS = 1_500
export const AUTO_COMPLETE_MS = 400

export const PICKING_TEXTS = {
  ...CONTENTS_TEXTS,
  ...EDITOR_TEXTS,
  tailMissing:
    'Сканер передал код без криптохвоста. Настройте сканер, чтобы он передавал весь код маркировки — иначе Ozon и Честный Знак могут не принять код',
  undoBanner: '➖ Режим отмены — отсканируйте товар, чтобы убрать его из документа',
  undoTitle: 'Режим отмены: отсканируйте товар, чтобы убрать его',
  unsavedLeave: 'Есть несохраненные сканы: включите «Сохранять черновик» в настройках или завершите документ.',
} as const

/** What the session reaches outside itself. */
export interface PickingChannel {
  connected(): boolean
  request(name: string, payload: Payload, timeoutMs: number): Promise<Payload>
  command(name: string, payload: Payload, timeoutMs: number): Promise<Payload>
  send(name: string, payload: Payload): boolean
  onPush(name: string, handler: (payload: Payload) => void): () => void
}

export type PickingFeedback = OutcomeFeedback

export interface PickingCapabilities {
  checkMarksOnScan: boolean
  /** roles on: a done position reads "Собрано" instead of "Проверено" */
  rolesEnabled: boolean
  /** the account may edit document contents */
  canEdit: boolean
  /** marks of shipments sold to private persons are withdrawn from circulation */
  withdrawOnRetail?: boolean
}

export interface WorkPreferences {
  defaultTab: 'list' | 'scan'
  afterScan: 'card' | 'list'
  autoComplete: boolean
  saveDraft: boolean
}

export interface FinishRequest {
  /** started by auto-completion */
  auto: boolean
}

export interface PickingDeps {
  documents: ReturnType<typeof useDocumentStore>
  contents: ContentsSource
  channel: PickingChannel
  feedback: PickingFeedback
  work: () => WorkPreferences
  capabilities: () => PickingCapabilities
  demo: () => boolean
  /** the account's default cells order, used until this device chooses */
  defaultCellsOrder?: () => CellsOrder | null
  /** check mode of the two-person check: fresh contents, the collector's counts */
  checkMode?: () => boolean
  /** completion: the finish button, or auto-completion */
  onFinish?: (request: FinishRequest) => void
  /** the device's copy of the product reference (the installed one by default) */
  reference?: LocalReference
  now?: () => number
  log?: (line: string, ...rest: unknown[]) => void
}

export interface Timeline {
  openedAt: number
  firstScanAt: number
  lastScanAt: number
  completedAt: number
  scans: number
}

export type PickingSession = ReturnType<typeof createPickingSession>

export function createPickingSession(deps: PickingDeps) {
  const now = deps.now ?? (() => Date.now())
  const log = deps.log ?? ((line: string, ...rest: unknown[]) => console.info(line, ...rest))
  const docs = deps.documents

  const state = reactive({
    documentId: '',
    type: '',
    /** contents are being fetched */
    loading: false,
    /** the shown positions came from the device cache */
    fromCache: false,
    /** positions are shown (cached, fetched, demo or already in memory) */
    shown: false,
    banner: '',
    /** what the empty list says */
    emptyText: '',
    flash: null as Flash | null,
    markNote: '',
    editNote: '',
    undoMode: false,
    tab: 'list' as 'scan' | 'list',
    focusedId: null as string | null,
    cellsOrder: '' as CellsOrder,
    /** scans were made while drafts are off */
    unsaved: false,
    /** positions with a count below the required quantity */
    incomplete: 0,
    /** bumped on every change of the counted state (for views that show it) */
    version: 0,
  })
  const timeline = reactive<Timeline>({ openedAt: 0, firstScanAt: 0, lastScanAt: 0, completedAt: 0, scans: 0 })
  // Counts, marks and shortfall entries are kept per line key (see barcodeIndex): a product may stand on several lines.
  /** line key → scanned marking codes */
  const marks = reactive<Record<string, string[]>>({})
  const shortfalls = reactive<Record<string, ShortfallEntry>>({})
  /** mark identity → line key */
  const markIndex = new Map<string, string>()
  /** line key → count: the counted truth, re-applied when fresh contents replace the shown ones */
  const counts = new Map<string, number>()
  const verdicts = new Map<string, MarkVerdict>()
  let index: BarcodeIndex<PositionRecord> = buildBarcodeIndex([])
  /** the position objects as the holder keeps them (reactive), by line key */
  let byKey = new Map<string, PositionRecord>()
  /** The line key of a shown position. */
  const keyOf = (p: PositionRecord): string => index.keys.get(p) ?? p.assortmentId
  let generation = 0
  let lastTailNote = -Infinity
  const timers = createNamedTimers<'afterScan' | 'autoComplete'>()
  const notes = createNotes(state)
  /** set by the view: the list scrolls to a position */
  const scrollRequest = shallowRef<{ id: string; n: number } | null>(null)
  let scrollSerial = 0
  let scanner: { reportResult(ok: boolean, message: string): void } | null = null
  let stopPush: () => void = () => {}
  let stopWatch: () => void = () => {}

  const doc = (): DocumentRecord | null => {
    const d = docs.currentDocument
    return d && d.id === state.documentId ? d : null
  }
  const products = computed<PositionRecord[]>(() => doc()?.products ?? [])
  const ordered: ComputedRef<PositionRecord[]> = computed(() => sortByCell(products.value, state.cellsOrder))
  const hasCells = computed(() => products.value.some((p) => p.cell !== ''))
  // `version` moves whenever the index is rebuilt, so the card never holds a replaced position.
  const focused = computed(() => (state.version >= 0 && state.focusedId ? (byKey.get(state.focusedId) ?? null) : null))
  const ozonPosting = computed(() => {
    const d = doc()
    return d ? isOzonPosting(d) : false
  })
  const canFinish = computed(() => state.shown && !state.loading && products.value.length > 0 && state.incomplete === 0)
  const checkMode = () => deps.checkMode?.() ?? false

  // ---- feedback

  function play(sound: OutcomeSound | null, vibrate: OutcomeVibration | null) {
    playOutcome(deps.feedback, sound, vibrate)
  }

  // ---- positions and counts

  /** Sets one position's count; keeps the holder's progress and the incomplete count in step. */
  function setCount(p: PositionRecord, n: number) {
    const d = doc()
    const wasDone = p.status === 'done' || p.status === 'excess'
    const wasIncomplete = p.checked < p.required
    p.checked = n
    p.status = positionStatus(n, p.required)
    if (n > 0) counts.set(keyOf(p), n)
    else counts.delete(keyOf(p))
    const isDone = p.status === 'done' || p.status === 'excess'
    if (d && wasDone !== isDone) d.checkedPositions += isDone ? 1 : -1
    if (wasIncomplete !== n < p.required) state.incomplete += wasIncomplete ? -1 : 1
    state.version++
  }

  /** Rebuilds the index and the derived counters from the positions now shown. */
  function reindex() {
    const list = products.value
    index = buildBarcodeIndex(list)
    byKey = index.positions as Map<string, PositionRecord>
    let incomplete = 0
    for (const p of list) if (p.checked < p.required) incomplete++
    state.incomplete = incomplete
    state.version++
  }

  /**
   * New positions replace the shown ones: the counts and marks made so far are
   * put back on them; those of positions that are gone are dropped.
   */
  function installPositions(list: PositionRecord[]): boolean {
    const d = doc()
    if (!d) return false
    d.products = list
    d.totalPositions = list.length
    d.checkedPositions = 0
    return reapplyCounts()
  }

  /** Puts the counts back on the positions shown; answers true when counts of vanished positions were dropped. */
  function reapplyCounts(): boolean {
    const d = doc()
    if (!d) return false
    reindex()
    const present = new Set(byKey.keys())
    let dropped = false
    for (const id of [...counts.keys()])
      if (!present.has(id)) {
        counts.delete(id)
        dropped = true
      }
    for (const id of Object.keys(marks)) if (!present.has(id)) delete marks[id]
    for (const [identity, id] of [...markIndex]) if (!present.has(id)) markIndex.delete(identity)
    let checkedPositions = 0
    let incomplete = 0
    for (const p of d.products) {
      const n = counts.get(keyOf(p)) ?? 0
      if (p.checked !== n) {
        p.checked = n
        p.status = positionStatus(n, p.required)
      }
      if (p.status === 'done' || p.status === 'excess') checkedPositions++
      if (p.checked < p.required) incomplete++
    }
    d.checkedPositions = checkedPositions
    state.incomplete = incomplete
    if (state.focusedId && !present.has(state.focusedId)) state.focusedId = null
    state.version++
    return dropped
  }

  // ---- draft

  function draftState() {
    const checked: Record<string, number> = {}
    for (const [id, n] of counts) checked[id] = n
    const m: Record<string, string[]> = {}
    for (const [id, list] of Object.entries(marks)) if (list.length) m[id] = [...list]
    const s: Record<string, ShortfallEntry> = {}
    for (const [id, e] of Object.entries(shortfalls)) s[id] = { ...e }
    return { checked, marks: m, shortfalls: s }
  }

  function saveDraft() {
    if (!deps.work().saveDraft) {
      state.unsaved = true
      return
    }
    if (!writeDraft(state.documentId, draftState(), now())) log('[DocumentWork] черновик не записался: хранилище переполнено')
  }

  function restoreDraft() {
    if (!deps.work().saveDraft) return
    const stored = readDraft(state.documentId, now())
    if (!stored) return
    // A draft from before counts were kept per line: each product's count is spread over its lines.
    const draft = stored.byLine
      ? stored
      : spreadOverLines(stored, (id) => index.lines.get(id)?.map((p) => ({ key: keyOf(p), required: p.required })))
    let markCount = 0
    for (const [key, n] of Object.entries(draft.checked)) if (byKey.has(key)) counts.set(key, n)
    for (const [key, list] of Object.entries(draft.marks)) {
      if (!byKey.has(key)) continue
      marks[key] = [...list]
      for (const code of list) markIndex.set(markIdentity(code), key)
      markCount += list.length
    }
    for (const [key, e] of Object.entries(draft.shortfalls ?? {})) if (byKey.has(key)) shortfalls[key] = { ...e }
    reapplyCounts()
    log(`[DocumentWork] восстановлено состояние: марок ${markCount}`)
  }

  // ---- the marking check and the unknown-code help

  const markChecker: MarkChecker = createMarkChecker({
    send: (codes) => deps.channel.send('checkMarks', { codes }),
    onVerdicts(list) {
      for (const v of list) verdicts.set(v.code, v)
      const report = reportFor(list)
      if (report.kind === 'refused') {
        notes.flash(report.message, 'warning')
        play('tooMuch', 'warning')
      } else if (report.kind === 'note') notes.markNote(report.message)
    },
    onError: (message) => notes.markNote(message),
  })

  const help: UnknownCodeHelp = createUnknownCodeHelp({
    ask: (barcode) => deps.channel.request('barcodeCheck', { barcode }, BARCODE_CHECK_TIMEOUT_MS),
    connected: () => deps.channel.connected(),
    generation: () => generation,
    show: (message) => notes.flash(message, 'error'),
    local: deps.reference ?? localReference,
  })

  // ---- the scan path

  function focus(id: string) {
    state.focusedId = id
    timers.clear('afterScan')
  }

  function requestScroll(id: string) {
    scrollRequest.value = { id, n: ++scrollSerial }
  }

  /** The counted line is the one shown: the card, the list row scrolled to. */
  function afterCount(p: PositionRecord) {
    const key = keyOf(p)
    state.focusedId = key
    timers.clear('afterScan')
    if (state.tab === 'list') requestScroll(key)
    else if (deps.work().afterScan === 'list')
      timers.later('afterScan', AFTER_SCAN_MS, () => {
        state.tab = 'list'
        requestScroll(key)
      })
  }

  function addMark(p: PositionRecord, code: string) {
    const key = keyOf(p)
    ;(marks[key] ??= []).push(code)
    markIndex.set(markIdentity(code), key)
    if (deps.capabilities().checkMarksOnScan) markChecker.queue(code)
    const tail = tailStatus(code)
    if (tail === 'missing') {
      const t = now()
      if (t - lastTailNote >= TAIL_NOTE_GAP_MS) {
        lastTailNote = t
        notes.markNote(PICKING_TEXTS.tailMissing)
      }
    } else if (tail === 'no-gs') log(`[scan] марка без разделителей GS, хвост распознан: ${code.slice(0, 31)}`)
  }

  function removeMark(id: string, identity: string) {
    const list = marks[id]
    if (list) {
      const at = list.findIndex((c) => markIdentity(c) === identity)
      if (at >= 0) {
        const [gone] = list.splice(at, 1)
        if (gone !== undefined) verdicts.delete(gone)
      }
      if (list.length === 0) delete marks[id]
    }
    markIndex.delete(identity)
  }

  /** One scanned code: classified, counted and answered before this returns. */
  function scan(scanned: string): ScanOutcome {
    // Every channel cleans its codes; a code handed in directly gets the same (a leading GS, an identifier).
    const raw = cleanScannedCode(scanned) || scanned
    const m = matchScan(index, raw)
    if (m.corrected) log(`[scan] раскладка исправлена: ${raw} → ${m.code}`)
    const identity = m.isMark ? markIdentity(m.code) : null
    const countedIn = identity ? markIndex.get(identity) : undefined
    // A product on several lines: the line that still needs items (see chooseLine).
    let p = m.position && chooseLine(index.lines.get(m.position.assortmentId) ?? [m.position], state.undoMode)
    // In undo mode a counted mark is taken off the line that holds it.
    if (state.undoMode && countedIn !== undefined) p = byKey.get(countedIn) ?? p
    const facts: ScanFacts = {
      code: m.code,
      position: p ? { name: p.name, required: p.required, checked: p.checked, markable: p.markable } : null,
      isMark: m.isMark,
      markCounted: countedIn !== undefined,
      positionHasMarks: p ? (marks[keyOf(p)]?.length ?? 0) > 0 : false,
      contentsLoading: state.loading && !state.shown,
      ozonPosting: ozonPosting.value,
      withdrawsCodes: deps.capabilities().withdrawOnRetail === true && state.type === 'shipment' && !ozonPosting.value,
    }
    if (p && checkMode() && p.collectedQuantity !== undefined) facts.collectorCount = p.collectedQuantity
    const undo = state.undoMode && p !== undefined
    const outcome = undo ? classifyUndo(facts) : classifyAdd(facts)
    applyOutcome(outcome, p ?? null, undo, m.code)
    return outcome
  }

  function applyOutcome(o: ScanOutcome, p: PositionRecord | null, undo: boolean, code: string) {
    // Any new scan, counted or refused, cancels the switch to the list.
    timers.clear('afterScan')
    notes.flash(o.message, o.type)
    scanner?.reportResult(o.type !== 'error', o.message)
    play(o.sound, o.vibrate)
    notes.clearMarkNote()
    generation++
    if (o.kind === 'not-found') void help.run(code, generation)
    if (o.checked === null || !p) return
    if (o.addMark) addMark(p, o.addMark)
    if (o.removeMark) removeMark(keyOf(p), markIdentity(o.removeMark))
    setCount(p, o.checked)
    afterCount(p)
    if (!undo) {
      const t = now()
      if (!timeline.firstScanAt) timeline.firstScanAt = t
      timeline.lastScanAt = t
      timeline.scans++
    }
    saveDraft()
    if (!undo) checkAutoComplete()
  }

  // ---- auto-completion and undo mode

  function checkAutoComplete() {
    if (!deps.work().autoComplete || !canFinish.value) return
    timers.later('autoComplete', AUTO_COMPLETE_MS, () => {
      if (deps.work().autoComplete && canFinish.value) deps.onFinish?.({ auto: true })
    })
  }

  function finish() {
    if (canFinish.value) deps.onFinish?.({ auto: false })
  }

  function toggleUndo() {
    state.undoMode = !state.undoMode
  }

  // ---- tabs, cards, cells order

  function setTab(tab: 'scan' | 'list') {
    state.tab = tab
    timers.clear('afterScan')
    if (tab === 'list' && state.focusedId) requestScroll(state.focusedId)
  }

  /** Moves the card by `step` in the shown order. */
  function moveCard(step: 1 | -1) {
    const list = ordered.value
    if (list.length === 0) return
    const at = state.focusedId ? list.findIndex((p) => keyOf(p) === state.focusedId) : -1
    const next = at < 0 ? (step > 0 ? 0 : list.length - 1) : Math.min(list.length - 1, Math.max(0, at + step))
    focus(keyOf(list[next]!))
  }

  /** A list row was tapped: its card on the scan tab. */
  function openCard(id: string) {
    focus(id)
    state.tab = 'scan'
  }

  function cycleCellsOrder() {
    state.cellsOrder = nextCellsOrder(state.cellsOrder)
    writeCellsOrder(state.cellsOrder)
  }

  // ---- position editing

  const editor = createPositionEditor({
    command: (name, payload, timeoutMs) => deps.channel.command(name, payload, timeoutMs),
    state,
    doc,
    index: () => index,
    counts,
    marks,
    shortfalls,
    markIndex,
    setCount,
    removeMark,
    reapply: reapplyCounts,
    notes,
    play,
    changed() {
      saveDraft()
      checkAutoComplete()
    },
  })

  // ---- opening and leaving

  function resetWork() {
    timers.clearAll()
    notes.clearAll()
    markChecker.dispose()
    help.reset()
    counts.clear()
    markIndex.clear()
    verdicts.clear()
    for (const k of Object.keys(marks)) delete marks[k]
    for (const k of Object.keys(shortfalls)) delete shortfalls[k]
    Object.assign(timeline, { openedAt: now(), firstScanAt: 0, lastScanAt: 0, completedAt: 0, scans: 0 })
    Object.assign(state, {
      loading: false,
      fromCache: false,
      shown: false,
      banner: '',
      emptyText: '',
      undoMode: false,
      focusedId: null,
      unsaved: false,
      incomplete: 0,
    })
    generation = 0
  }

  /** Positions became visible for the first time: index, draft. */
  function positionsShown() {
    state.shown = true
    reindex()
    // Positions kept in memory (demo mode) carry their counts; the draft, when there is one, wins.
    for (const p of products.value) if (p.checked > 0) counts.set(keyOf(p), p.checked)
    restoreDraft()
  }

  const loader = createContentsLoader({
    contents: deps.contents,
    state,
    doc,
    demo: deps.demo,
    checkMode,
    now,
    log,
    install: installPositions,
    reapply: reapplyCounts,
    firstShown: positionsShown,
    restoreDraft,
    saveDraft,
    reindex,
  })

  /**
   * Opens a document: the record must be the holder's current document. Shows
   * what is there at once (positions in memory, demo positions, the device
   * cache) and fetches fresh contents beside it.
   */
  async function open(record: DocumentRecord): Promise<void> {
    loader.cancel()
    stopWatch()
    resetWork()
    state.documentId = record.id
    state.type = record.type
    state.tab = deps.work().defaultTab
    const stored = readCellsOrder()
    state.cellsOrder = stored ?? deps.defaultCellsOrder?.() ?? ''
    if (docs.currentDocument !== record) docs.setCurrentDocument(record)
    // Whoever replaces the positions (a contents answer, an edit), the index follows at once.
    stopWatch = watch(
      () => doc()?.products,
      (list, old) => {
        // Counts of positions that are no longer in the document leave the draft too.
        if (list !== old && state.shown && reapplyCounts()) saveDraft()
      },
      { flush: 'sync' },
    )
    stopPush()
    stopPush = deps.channel.onPush('checkMarks.result', (p) => markChecker.answer(p))
    await loader.load()
    const opened = doc()
    if (opened && opened.id === record.id && isOzonPosting(opened)) postingOpenedHooks.run(opened)
  }

  /** Leaving the screen: timers, listeners and the marking batch go; outside demo mode the positions are emptied. */
  function close() {
    loader.cancel()
    timers.clearAll()
    notes.clearAll()
    markChecker.dispose()
    stopPush()
    stopPush = () => {}
    stopWatch()
    stopWatch = () => {}
    const d = doc()
    if (d && !deps.demo()) {
      d.products = []
      d.checkedPositions = 0
    }
  }

  /** What completion sends: counts, marks, shortfall entries, timeline, refused marks. */
  function snapshot() {
    const refused: Record<string, string> = {}
    for (const [code, v] of verdicts) if (!v.passes) refused[code] = v.text
    return { ...draftState(), timeline: { ...timeline }, refusedMarks: refused }
  }

  return {
    state,
    timeline,
    marks,
    shortfalls,
    products,
    ordered,
    focused,
    hasCells,
    ozonPosting,
    canFinish,
    scrollRequest,
    open,
    close,
    scan,
    increment: editor.increment,
    decrement: editor.decrement,
    toggleUndo,
    setTab,
    moveCard,
    focus,
    openCard,
    cycleCellsOrder,
    changeQuantity: editor.changeQuantity,
    deletePosition: editor.deletePosition,
    finish,
    snapshot,
    /** a refusal of the screen itself (not of a scan), shown where scan messages are */
    showNote: (text: string) => notes.flash(text, 'error'),
    /** a scan the screen does not take (the document is not this picker's now): said, with the error sound; nothing counts */
    refuseScan(text: string) {
      timers.clear('afterScan')
      notes.flash(text, 'error')
      scanner?.reportResult(false, text)
      play('error', 'error')
    },
    /** the scanner component that shows outcomes on its own surface */
    attachScanner(s: { reportResult(ok: boolean, message: string): void } | null) {
      scanner = s
    },
    isMarkCounted: (code: string) => markIndex.has(markIdentity(code)),
    /** a count set directly (the checker's "Сколько нашли"), kept in the draft */
    setCounted(id: string, n: number) {
      const p = byKey.get(id)
      if (!p) return
      setCount(p, Math.max(0, n))
      saveDraft()
    },
    /**
     * "Убрать лишнее": every line over its requirement goes back to it. Units
     * counted without a code go first, then the last scanned marks, so the
     * marks kept are those of the units that go out.
     */
    removeExcess() {
      let changed = false
      for (const p of products.value) {
        const key = keyOf(p)
        const list = marks[key] ?? []
        const drop = excessRemoval({ counted: p.checked, required: p.required, marks: list.length })
        if (drop.plain === 0 && drop.marks === 0) continue
        for (const code of list.slice(list.length - drop.marks)) removeMark(key, markIdentity(code))
        setCount(p, p.required)
        changed = true
      }
      if (changed) saveDraft()
    },
    /** the shortfall entries were changed from outside: the draft keeps them */
    saveShortfalls: () => saveDraft(),
    /** the line key of a shown position: what `focusedId`, `marks` and the edit operations use */
    keyOf,
    verdictOf: (code: string) => verdicts.get(code),
  }
}
