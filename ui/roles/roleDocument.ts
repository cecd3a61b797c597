/**
 * The roles on the document screen: check mode, the access of the open
 * document and its stage details, the stage bar's actions, the automatic
 * start (once per opened document), the automatic release every minute, the
 * release on leaving, the finish button's label, the finish dialog's part and
 * what the completion carries (role, boxes, ordered quantities, shortfalls).
 */
import { computed, onBeforeUnmount, onMounted, ref, watch } from 'vue'
import { RefusalError } from '../core/requests'
import { useSettingsStore } from '../core/settings'
import { refusalText } from '../documents/picking/refusalText'
import { ACTION_FAILED } from './actionTexts'
import { screenAccess, stageFromDetails, type ScreenAccess } from './screenAccess'
import type { PositionRecord, DocumentRecord } from '../documents/records'
import { canReopen, documentAccess, isCheckMode } from './access'
import { autoReleasedText, autoStartWanted, collectingHere, releaseOnExitWanted, startAutoRelease } from './collectionTimers'
import { createDocumentActions } from './documentActions'
import { roleFinishButton, shortFinishAllowed, type RoleFinishButton } from './finish'
import { positionNote, type PositionNote } from './positionNotes'
import { createRoleFinish, type RoleFinish } from './roleFinish'
import { useSelf, useStageActions } from './roleList'
import { useRolesStore } from './rolesStore'
import type { WorkRole } from './roleState'
import { reasonWithComment } from './positionNotes'
import { orderedOf, roleItemFields, SHORTFALL_TEXTS, shortfallCardTitle, type RoleItemFields, type ShortfallEntry } from './shortfalls'
import type { StageDetails } from './stageDetails'
import { documentStage } from './stages'

/** What the roles need of the picking session. */
export interface RoleSessionView {
  positions(): PositionRecord[]
  keyOf(p: PositionRecord): string
  marksOf(key: string): number
  shortfalls: Record<string, ShortfallEntry>
  /** "Сколько нашли": the count of a line set directly */
  setCount(key: string, count: number): void
  /** the shortfall entries changed: the draft is written */
  saveShortfalls(): void
  openedAt(): number
  lastScanAt(): number
}

export interface RoleDocumentDeps {
  doc(): DocumentRecord | null
  session: RoleSessionView
  /** back to the list (after a release, an automatic one too, or a reopen) */
  backToList(): void
  /** something else runs on the screen (a dialog, an edit): the automatic release waits */
  busy(): boolean
  log?(line: string, err?: unknown): void
}

export function useRoleDocument(deps: RoleDocumentDeps) {
  const roles = useRolesStore()
  const settings = useSettingsStore()
  const stageActions = useStageActions()
  const self = useSelf()
  const log = deps.log ?? ((line: string, err?: unknown) => (err === undefined ? console.info(line) : console.warn(line, err)))

  const on = computed(() => roles.enabled)
  const role = computed<WorkRole>(() => roles.role)
  const checkMode = computed(() => {
    const d = deps.doc()
    return d !== null && isCheckMode(d, roles.roleState)
  })
  const access = computed(() => {
    const d = deps.doc()
    return d ? documentAccess(d, roles.roleState, roles.rolesSettings) : null
  })
  const reopen = computed(() => {
    const d = deps.doc()
    return d !== null && canReopen(d, roles.roleState, roles.rolesSettings)
  })
  const details = ref<StageDetails | null>(null)
  /** opened by address: the document's stage is being asked before anything counts */
  const stageLoading = ref(false)
  /** a start refused on this screen ("taken", "wrong-stage"): its text */
  const refusal = ref('')

  const actions = createDocumentActions({
    actions: stageActions,
    settings: () => roles.rolesSettings,
    reloadList: () => {},
    released: () => deps.backToList(),
    reopened: () => deps.backToList(),
    refused: (doc, info, text) => {
      if (doc.id === deps.doc()?.id && (info.code === 'taken' || info.code === 'wrong-stage')) refusal.value = text
    },
  })

  async function loadDetails() {
    const d = deps.doc()
    if (!on.value || !d) return
    try {
      details.value = await stageActions.loadDocumentStage(d)
    } catch (err) {
      // Without details the header simply has no stage text.
      details.value = null
      log('[документ] этап документа не загрузился:', err)
    }
  }

  /**
   * A document opened by address alone (a link, the Ozon page) has no stage:
   * it is asked first and goes through the same access as a card — the hint
   * when it may not be opened, the start first when it must be started.
   * Without an answer the screen works as it would without roles.
   */
  async function learnStage(id: string) {
    stageLoading.value = true
    try {
      await loadDetails()
      const d = deps.doc()
      if (!d || d.id !== id || !details.value) return
      if (d.stage === undefined) Object.assign(d, stageFromDetails(details.value, self()))
    } finally {
      stageLoading.value = false
    }
    const d = deps.doc()
    if (d && d.id === id && access.value?.startFirst && documentStage(d) === 'new' && !checkMode.value) {
      startedFor = id
      await actions.start(d)
    }
  }

  // Once per opened document: the details (the stage first when it is unknown), and the automatic start.
  let startedFor = ''
  function opened(id: string | undefined) {
    details.value = null
    refusal.value = ''
    takeOverAsked.value = false
    if (!id) return
    const d = deps.doc()
    if (on.value && d && d.stage === undefined) {
      void learnStage(id).then(() => autoStart(id))
      return
    }
    void loadDetails()
    void autoStart(id)
  }

  // ---- what the screen allows, and an administrator's takeover

  const screen = computed<ScreenAccess>(() => {
    const d = deps.doc()
    if (!d || !on.value) return screenAccess({ doc: { status: 'pending' }, role: { ...roles.roleState, enabled: false }, settings: roles.rolesSettings })
    return screenAccess({
      doc: d,
      role: roles.roleState,
      settings: roles.rolesSettings,
      stageLoading: stageLoading.value,
      refusal: refusal.value,
      takenOverBy: roles.takenOver[d.id],
    })
  })
  const takeOverAsked = ref(false)
  const takeOverError = ref('')

  function askTakeOver() {
    takeOverError.value = ''
    takeOverAsked.value = true
  }

  async function confirmTakeOver() {
    const d = deps.doc()
    if (!d || actions.state.busy) return
    actions.state.busy = true
    takeOverError.value = ''
    try {
      await stageActions.startDocument(d, { takeOver: true })
      refusal.value = ''
      roles.forgetTakenOver(d.id)
      takeOverAsked.value = false
      void loadDetails()
    } catch (err) {
      takeOverError.value = err instanceof RefusalError ? refusalText(err.info) : ACTION_FAILED
    } finally {
      actions.state.busy = false
    }
  }
  // The screen's document is known once it is mounted; another one may be opened on the same screen.
  onMounted(() => opened(deps.doc()?.id))
  watch(() => deps.doc()?.id, opened)
  watch(
    () => deps.doc()?.stage,
    (stage, old) => {
      if (stage !== old && old !== undefined) void loadDetails()
    },
  )

  async function autoStart(id: string) {
    const d = deps.doc()
    if (!d || startedFor === id || !access.value) return
    if (!autoStartWanted({ autoStartAssembly: settings.work.autoStartAssembly, role: roles.roleState, doc: d, access: access.value })) return
    startedFor = id
    await actions.start(d)
  }

  /** The document must be started before anything counts. */
  const startPending = computed(() => {
    const d = deps.doc()
    return !!d && on.value && !checkMode.value && documentStage(d) === 'new' && access.value?.startFirst === true
  })

  // ---- the automatic release and the release on leaving

  const mine = () => {
    const d = deps.doc()
    return !!d && !checkMode.value && collectingHere(d, roles.roleState)
  }
  const timer = startAutoRelease({
    watching: () => on.value && mine() && !deps.busy() && !actions.state.busy,
    openedAt: () => deps.session.openedAt(),
    lastScanAt: () => deps.session.lastScanAt(),
    minutes: () => settings.work.autoReleaseMinutes,
    now: () => Date.now(),
    release: async () => {
      const d = deps.doc()
      if (!d) return
      await stageActions.releaseDocument(d, { auto: true })
      roles.listNotice = autoReleasedText(settings.work.autoReleaseMinutes)
      deps.backToList()
    },
    log,
  })

  let left = false
  /** Leaving the screen: with `releaseOnExit` this employee's collection is released. */
  function leaving() {
    if (left) return
    left = true
    timer.stop()
    const d = deps.doc()
    if (!d || !releaseOnExitWanted({ settings: roles.rolesSettings, role: roles.roleState, checkMode: checkMode.value, doc: d })) return
    stageActions.releaseDocument(d, { auto: true }).catch((err) => log('[документ] снять при выходе не удалось:', err))
  }
  onBeforeUnmount(leaving)

  // ---- finishing

  const finish: RoleFinish = createRoleFinish({
    role: () => role.value,
    settings: () => roles.rolesSettings,
    collectorSkips: () => settings.work.collectorSkipsShortfall,
    positions: () =>
      deps.session.positions().map((p) => {
        const key = deps.session.keyOf(p)
        return { key, p, byMarks: deps.session.marksOf(key) > 0 }
      }),
    entries: deps.session.shortfalls,
    setCount: (key, n) => deps.session.setCount(key, n),
    changed: () => deps.session.saveShortfalls(),
  })

  /** The finish button with roles; null without them (the plain button applies). */
  const button = computed<RoleFinishButton | null>(() => {
    if (!on.value) return null
    const b = roleFinishButton({
      role: role.value,
      startPending: startPending.value,
      progress: finish.progress.value,
      shortAllowed: shortFinishAllowed(role.value, roles.can),
    })
    // A screen that may not work finishes nothing.
    return screen.value.readOnly ? { ...b, enabled: false } : b
  })

  const noteOf = (p: PositionRecord): PositionNote | null => (on.value ? positionNote(p, role.value, checkMode.value) : null)

  /** The card's shortfall: "Причина недобора" (· спор / · принята) with its text, or what the server asked for. */
  function shortfallOf(p: PositionRecord, reasonAsked: boolean): { title: string; text: string } | null {
    if (!on.value) return null
    const entry = deps.session.shortfalls[deps.session.keyOf(p)]
    if (reasonAsked) return { title: shortfallCardTitle(entry), text: SHORTFALL_TEXTS.reasonNeeded }
    if (!entry || !(entry.disputed || entry.reason.trim() || entry.comment.trim())) return null
    return { title: shortfallCardTitle(entry), text: reasonWithComment(entry) }
  }

  /** What a completion item carries with a role. */
  function itemFields(p: PositionRecord): RoleItemFields {
    return roleItemFields(p.checked, orderedOf(p), deps.session.shortfalls[deps.session.keyOf(p)])
  }

  return {
    on,
    role,
    checkMode,
    access,
    reopen,
    details,
    actions,
    startPending,
    finish,
    button,
    noteOf,
    shortfallOf,
    itemFields,
    loadDetails,
    leaving,
    self,
    screen,
    takeOverAsked,
    takeOverError,
    askTakeOver,
    confirmTakeOver,
    cancelTakeOver: () => (takeOverAsked.value = false),
    /** after a completion: the next stage, and this employee on it */
    completed: (serverStage: unknown) => {
      const d = deps.doc()
      if (d && on.value) stageActions.markStageAfterComplete(d, serverStage, role.value)
    },
  }
}

export type RoleDocument = ReturnType<typeof useRoleDocument>
