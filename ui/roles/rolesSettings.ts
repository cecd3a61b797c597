/**
 * The account's roles settings (`accountSettingsGet` {blocks: ["roles"]} →
 * `roles`): normalised with their defaults, and checked before the
 * administrator saves them (reason lists trimmed, de-duplicated ignoring case,
 * at most 50 reasons of at most 100 characters). Pure.
 */

export interface RolesSettings {
  shortfallReasons: string[]
  shortfallReasonRequired: boolean
  allowCheckOwn: boolean
  requireStart: boolean
  releaseOnExit: boolean
  collectorCanRelease: boolean
  collectorCanFinishShort: boolean
  checkerCanRelease: boolean
  checkerCanReopen: boolean
  reopenVisibleInWidget: boolean
  reopenVisibleInApp: boolean
  releaseReasonRequired: boolean
  releaseReasons: string[]
  requireBoxes: boolean
  configured: boolean
}

export type RolesFlag = { [K in keyof RolesSettings]: RolesSettings[K] extends boolean ? K : never }[keyof RolesSettings]

export const DEFAULT_ROLES_SETTINGS: Readonly<RolesSettings> = Object.freeze({
  shortfallReasons: [],
  shortfallReasonRequired: false,
  allowCheckOwn: false,
  requireStart: false,
  releaseOnExit: false,
  collectorCanRelease: true,
  collectorCanFinishShort: true,
  checkerCanRelease: false,
  checkerCanReopen: false,
  reopenVisibleInWidget: true,
  reopenVisibleInApp: true,
  releaseReasonRequired: false,
  releaseReasons: [],
  requireBoxes: false,
  configured: false,
}) as RolesSettings

export const ROLES_FLAGS: readonly RolesFlag[] = [
  'shortfallReasonRequired',
  'allowCheckOwn',
  'requireStart',
  'releaseOnExit',
  'collectorCanRelease',
  'collectorCanFinishShort',
  'checkerCanRelease',
  'checkerCanReopen',
  'reopenVisibleInWidget',
  'reopenVisibleInApp',
  'releaseReasonRequired',
  'requireBoxes',
  'configured',
]

export const SUGGESTED_REASONS: readonly string[] = ['нет на складе', 'брак', 'пересорт', 'не нашел', 'другое']
export const MAX_REASONS = 50
export const MAX_REASON_LENGTH = 100

export const ROLES_SETTINGS_ERRORS = {
  tooManyReasons: 'Причин не больше 50',
  reasonTooLong: 'Причина не длиннее 100 знаков',
  tooManyReleaseReasons: 'Причин снятия не больше 50',
  releaseReasonTooLong: 'Причина снятия не длиннее 100 знаков',
  requiredButEmpty: 'Причина обязательна, а список причин пуст — добавьте хотя бы одну',
} as const

function reasonList(v: unknown): string[] {
  return Array.isArray(v) ? v.filter((r): r is string => typeof r === 'string').map((r) => r.trim()).filter(Boolean) : []
}

/** The block as the server sent it, with the defaults for what is missing or of the wrong kind. */
export function normaliseRolesSettings(raw: unknown): RolesSettings {
  const p = typeof raw === 'object' && raw !== null && !Array.isArray(raw) ? (raw as Record<string, unknown>) : {}
  const out: RolesSettings = { ...DEFAULT_ROLES_SETTINGS, shortfallReasons: reasonList(p.shortfallReasons), releaseReasons: reasonList(p.releaseReasons) }
  for (const k of ROLES_FLAGS) if (typeof p[k] === 'boolean') out[k] = p[k] as boolean
  return out
}

/** Trimmed, blanks dropped, the first of each spelling kept (case ignored). */
export function cleanReasons(list: readonly string[]): string[] {
  const seen = new Set<string>()
  const out: string[] = []
  for (const raw of list) {
    const r = raw.trim()
    const key = r.toLocaleLowerCase('ru')
    if (!r || seen.has(key)) continue
    seen.add(key)
    out.push(r)
  }
  return out
}

export type PreparedSettings = { ok: true; settings: RolesSettings } | { ok: false; error: string }

/** What the administrator's editor saves: reason lists cleaned and within their limits, `configured` set. */
export function prepareRolesSettings(draft: RolesSettings): PreparedSettings {
  const shortfallReasons = cleanReasons(draft.shortfallReasons)
  const releaseReasons = cleanReasons(draft.releaseReasons)
  const e = ROLES_SETTINGS_ERRORS
  if (shortfallReasons.length > MAX_REASONS) return { ok: false, error: e.tooManyReasons }
  if (shortfallReasons.some((r) => r.length > MAX_REASON_LENGTH)) return { ok: false, error: e.reasonTooLong }
  if (releaseReasons.length > MAX_REASONS) return { ok: false, error: e.tooManyReleaseReasons }
  if (releaseReasons.some((r) => r.length > MAX_REASON_LENGTH)) return { ok: false, error: e.releaseReasonTooLong }
  if (draft.shortfallReasonRequired && shortfallReasons.length === 0) return { ok: false, error: e.requiredButEmpty }
  return { ok: true, settings: { ...draft, shortfallReasons, releaseReasons, configured: true } }
}
