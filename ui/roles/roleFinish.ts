/**
 * The roles' part of the finish dialog: the short positions with their reason,
 * comment and (for the checker) "Да, причина та" / "Нет, причина другая" /
 * "Сколько нашли", and the box count. `submit` checks what is required and
 * hands back the shortfall entries and the boxes; a collector who skips
 * reasons gets the default reason on every short position.
 */
import { computed, reactive } from 'vue'
import { refusalText } from '../documents/picking/refusalText'
import type { PositionRecord } from '../documents/records'
import {
  BOXES_START,
  boxesError,
  finishDialogNeeded,
  finishDialogTexts,
  missingReasons,
  roleProgress,
  shortRowText,
  unconfirmed,
} from './finish'
import type { RolesSettings } from './rolesSettings'
import type { WorkRole } from './roleState'
import {
  carriedDispute,
  checkerPrefill,
  confirmReason,
  disputeReason,
  needsShortfall,
  orderedOf,
  parseFoundCount,
  reasonInput,
  reasonsRequired,
  withDefaultReasons,
  type ShortfallEntry,
} from './shortfalls'

export interface FinishPosition {
  key: string
  p: PositionRecord
  /** counted by marking codes: "Сколько нашли" does not apply */
  byMarks: boolean
}

export interface RoleFinishDeps {
  role(): WorkRole
  settings(): RolesSettings
  collectorSkips(): boolean
  positions(): FinishPosition[]
  /** the session's shortfall entries by line key (changed in place) */
  entries: Record<string, ShortfallEntry>
  /** "Сколько нашли" sets the count directly */
  setCount(key: string, count: number): void
  /** the entries changed (the draft is written) */
  changed(): void
}

export interface RoleFinishResult {
  shortfalls: Record<string, ShortfallEntry>
  boxes?: number
}

export function createRoleFinish(deps: RoleFinishDeps) {
  const state = reactive({
    boxes: BOXES_START,
    boxesError: '',
    /** keys of rows missing a required reason */
    marked: [] as string[],
    found: {} as Record<string, string>,
    foundError: {} as Record<string, string>,
    message: '',
  })

  const role = () => deps.role()
  const rows = computed(() => deps.positions().filter(({ p }) => needsShortfall(p, role())))
  const required = () => reasonsRequired(deps.settings(), role(), deps.collectorSkips())
  const boxesRequired = () => role() === 'checker' && deps.settings().requireBoxes
  const progress = computed(() => roleProgress(deps.positions().map(({ key, p }) => ({ p, entry: deps.entries[key] }))))

  /** Whether the dialog is needed at all (short positions, or the checker's box count). */
  const needed = () => finishDialogNeeded({ role: role(), short: rows.value.length, boxesRequired: boxesRequired() })

  const texts = (hasQuestions: boolean) =>
    finishDialogTexts({
      role: role(),
      short: rows.value.length,
      total: progress.value.total,
      reasonsRequired: required(),
      boxesRequired: boxesRequired(),
      hasQuestions,
    })

  /** Opening: the checker's rows start from his dispute or the collector's reason; server disputes are carried. */
  function open() {
    Object.assign(state, { boxes: BOXES_START, boxesError: '', marked: [], found: {}, foundError: {}, message: '' })
    for (const { key, p } of deps.positions()) {
      const carried = carriedDispute(p, deps.entries[key])
      if (carried && !deps.entries[key]) deps.entries[key] = carried
    }
    if (role() !== 'checker') return
    for (const { key, p } of rows.value) if (!deps.entries[key]) deps.entries[key] = checkerPrefill(p)
  }

  function entry(key: string): ShortfallEntry {
    return (deps.entries[key] ??= { reason: '', comment: '' })
  }

  function setReason(key: string, reason: string) {
    const e = entry(key)
    e.reason = reason
    delete e.confirmed
    state.marked = state.marked.filter((k) => k !== key)
    deps.changed()
  }

  function setComment(key: string, comment: string) {
    const e = entry(key)
    e.comment = comment
    delete e.confirmed
    deps.changed()
  }

  function confirm(key: string) {
    const next = confirmReason(entry(key))
    if (!next) return
    deps.entries[key] = next
    deps.changed()
  }

  function dispute(key: string) {
    deps.entries[key] = disputeReason()
    deps.changed()
  }

  function setFound(key: string, text: string) {
    const row = deps.positions().find((r) => r.key === key)
    if (!row) return
    state.found[key] = text
    const parsed = parseFoundCount(text, orderedOf(row.p))
    if (!parsed.ok) {
      state.foundError[key] = parsed.error
      return
    }
    delete state.foundError[key]
    deps.setCount(key, parsed.count)
    deps.changed()
  }

  function setBoxes(raw: string) {
    const n = Number(raw)
    state.boxes = Number.isFinite(n) ? n : state.boxes
    state.boxesError = boxesError(state.boxes)
  }

  const inputFor = (key: string) => reasonInput(deps.settings(), role(), deps.collectorSkips(), deps.entries[key]?.reason ?? '')

  /** "Завершить": required reasons and the box count checked; what goes with the completion, or null. */
  function submit(): RoleFinishResult | null {
    state.message = ''
    const missing = missingReasons(rows.value, deps.entries, required())
    state.marked = missing
    if (missing.length > 0) {
      state.message = refusalText({ code: 'reason-required' })
      return null
    }
    if (boxesRequired()) {
      state.boxesError = boxesError(state.boxes)
      if (state.boxesError) return null
    }
    const skipped = role() === 'collector' && deps.collectorSkips()
    const shortfalls = skipped
      ? withDefaultReasons(deps.entries, rows.value.map((r) => r.key), deps.settings().shortfallReasons)
      : Object.fromEntries(Object.entries(deps.entries).map(([k, e]) => [k, { ...e }]))
    if (skipped) Object.assign(deps.entries, shortfalls)
    const result: RoleFinishResult = { shortfalls }
    if (boxesRequired()) result.boxes = state.boxes
    return result
  }

  return {
    state,
    rows,
    progress,
    needed,
    texts,
    open,
    inputFor,
    setReason,
    setComment,
    confirm,
    dispute,
    setFound,
    setBoxes,
    submit,
    rowText: (p: PositionRecord) => shortRowText(p, role()),
    /** the entry of a row as it stands (never created by reading) */
    entryOf: (key: string): ShortfallEntry | undefined => deps.entries[key],
    unconfirmed: (key: string) => role() === 'checker' && unconfirmed(deps.entries[key]),
    /** the comment is always offered (with or without a reason list), except to a collector who skips reasons */
    commentShown: () => !(role() === 'collector' && deps.collectorSkips()),
    boxesRequired,
  }
}

export type RoleFinish = ReturnType<typeof createRoleFinish>
