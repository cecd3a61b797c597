/**
 * The client's settings: groups, defaults and normalisation. Pure: no Vue, no
 * storage. Every value read from storage, from an account copy or from a
 * screen goes through `mergeSettings`, so a bad stored value never survives.
 */
import { normaliseProductGroups } from '../marking/productGroups'

export type ScannerMode = 'wedge' | 'camera' | 'manual'
export type ThemeMode = 'system' | 'light' | 'dark'

export interface SoundSettings {
  enabled: boolean
  volume: number
}

/** The parts store's desk cell: a cell kept for goods in hand. */
export interface DeskCellSetting {
  id: number
  name: string
  path: string[]
  zoneName: string
}

export interface WorkSettings {
  defaultTab: 'list' | 'scan'
  afterScan: 'card' | 'list'
  photoSize: 'off' | 'small' | 'medium' | 'large'
  autoComplete: boolean
  confirmOnComplete: boolean
  scannerMode: ScannerMode
  cameraCaptureMode: 'auto' | 'manual'
  saveDraft: boolean
  searchOpenDelay: number
  listAutoLoad: 50 | 100 | 200 | 500 | 1000
  autoStartAssembly: boolean
  autoReleaseMinutes: number
  collectorSkipsShortfall: boolean
  ozonAutoLoad: boolean
  ozonStatusFilter: string
  ozonSchemes: { fbs: boolean; fbo: boolean }
  sectionsMode: string
  radioProductsView: string
  radioProductsColumns: string[]
  radioDeskCell: DeskCellSetting | null
  radioLabelCopies: number
  radioOwnBarcodes: boolean
  radioMultiScan: boolean
  radioShelfLife: boolean
  radioMultiBarcodes: boolean
  updatePrefetchAsked: boolean
  updatePrefetch: boolean
}

export interface PrintSettings {
  printerName: string | null
  widthMm: number
  heightMm: number
  rotation: 0 | 90 | 180 | 270
  fitMode: string
  offsetXMm: number
  offsetYMm: number
  purpose: string
  ozonAutoPrint: boolean
  ozonAutoPrintProducts: boolean
  registered: unknown
  labelsPrinted: boolean
  profiles: Record<string, unknown>
  [extra: string]: unknown
}

export interface CryptoSettings {
  thumbprint: string | null
  inn: string | null
  dir: string | null
  consentAt: string | null
  consentSubject: string | null
  consentScope: string | null
  productGroups: string[]
  fiasId: string | null
}

export interface Settings {
  sound: SoundSettings
  work: WorkSettings
  print: PrintSettings
  crypto: CryptoSettings
  support: { code: string }
  uiScale: number
  themeMode: ThemeMode
}

export interface Environment {
  desktopHost: boolean
  touch: boolean
}

export function defaultScannerMode(env: Environment): ScannerMode {
  return env.desktopHost ? 'wedge' : env.touch ? 'camera' : 'manual'
}

export function defaultSettings(env: Environment): Settings {
  return {
    sound: { enabled: true, volume: 0.8 },
    work: {
      defaultTab: 'list',
      afterScan: 'card',
      photoSize: 'medium',
      autoComplete: false,
      confirmOnComplete: true,
      scannerMode: defaultScannerMode(env),
      cameraCaptureMode: 'auto',
      saveDraft: true,
      searchOpenDelay: 3,
      listAutoLoad: 200,
      autoStartAssembly: true,
      autoReleaseMinutes: 30,
      collectorSkipsShortfall: false,
      ozonAutoLoad: true,
      ozonStatusFilter: 'all',
      ozonSchemes: { fbs: true, fbo: true },
      sectionsMode: 'one',
      radioProductsView: 'list',
      radioProductsColumns: ['barcode', 'price', 'quantity', 'cellsCount'],
      radioDeskCell: null,
      radioLabelCopies: 1,
      radioOwnBarcodes: false,
      radioMultiScan: false,
      radioShelfLife: false,
      radioMultiBarcodes: false,
      updatePrefetchAsked: false,
      updatePrefetch: false,
    },
    print: {
      printerName: null,
      widthMm: 58,
      heightMm: 40,
      rotation: 0,
      fitMode: 'fit',
      offsetXMm: 0,
      offsetYMm: 0,
      purpose: 'auto',
      ozonAutoPrint: true,
      ozonAutoPrintProducts: false,
      registered: null,
      labelsPrinted: false,
      profiles: {},
    },
    crypto: {
      thumbprint: null,
      inn: null,
      dir: null,
      consentAt: null,
      consentSubject: null,
      consentScope: null,
      productGroups: [],
      fiasId: null,
    },
    support: { code: '' },
    uiScale: 1,
    themeMode: 'system',
  }
}

type Dict = Record<string, unknown>
const isDict = (v: unknown): v is Dict => typeof v === 'object' && v !== null && !Array.isArray(v)
const bool = (v: unknown, d: boolean) => (typeof v === 'boolean' ? v : d)
const oneOf = <T extends string | number>(v: unknown, allowed: readonly T[], d: T): T =>
  allowed.includes(v as T) ? (v as T) : d
const str = (v: unknown, d: string) => (typeof v === 'string' ? v : d)
const strOrNull = (v: unknown, d: string | null) => (typeof v === 'string' || v === null ? (v as string | null) : d)
const finite = (v: unknown): v is number => typeof v === 'number' && Number.isFinite(v)

/** A desk cell needs its id; a name and path that are not texts read as empty. */
export function normaliseDeskCell(v: unknown): DeskCellSetting | null {
  if (!isDict(v) || !finite(v.id)) return null
  const path = Array.isArray(v.path) ? v.path.filter((x): x is string => typeof x === 'string') : []
  return { id: v.id, name: str(v.name, ''), path, zoneName: str(v.zoneName, '') }
}

/** Minutes 0…600, rounded; invalid or negative reads as 30. */
export function normaliseAutoRelease(v: unknown): number {
  if (!finite(v) || v < 0) return 30
  return Math.min(600, Math.round(v))
}

export function normaliseVolume(v: unknown, d: number): number {
  return finite(v) ? Math.min(1, Math.max(0, v)) : d
}

/** Zoom factor for "--ui-zoom"; out-of-range values are clamped to 0.5…2. */
export function normaliseUiScale(v: unknown, d: number): number {
  return finite(v) && v > 0 ? Math.min(2, Math.max(0.5, v)) : d
}

/** A missing or invalid rotation is derived from the orientation; otherwise unchanged. */
export function normaliseRotation(v: unknown, orientation: unknown, current: PrintSettings['rotation']): PrintSettings['rotation'] {
  if (v === 0 || v === 90 || v === 180 || v === 270) return v
  if (orientation === 'landscape') return 90
  if (orientation === 'portrait') return 0
  return current
}

function mergeWork(cur: WorkSettings, p: Dict): WorkSettings {
  const has = (k: keyof WorkSettings) => k in p
  const w = { ...cur }
  if (has('defaultTab')) w.defaultTab = oneOf(p.defaultTab, ['list', 'scan'] as const, 'list')
  if (has('afterScan')) w.afterScan = oneOf(p.afterScan, ['card', 'list'] as const, 'card')
  if (has('photoSize')) w.photoSize = oneOf(p.photoSize, ['off', 'small', 'medium', 'large'] as const, cur.photoSize)
  if (has('autoComplete')) w.autoComplete = bool(p.autoComplete, cur.autoComplete)
  if (has('confirmOnComplete')) w.confirmOnComplete = bool(p.confirmOnComplete, cur.confirmOnComplete)
  if (has('scannerMode')) w.scannerMode = oneOf(p.scannerMode, ['wedge', 'camera', 'manual'] as const, cur.scannerMode)
  if (has('cameraCaptureMode')) w.cameraCaptureMode = oneOf(p.cameraCaptureMode, ['auto', 'manual'] as const, 'auto')
  if (has('saveDraft')) w.saveDraft = bool(p.saveDraft, cur.saveDraft)
  if (has('searchOpenDelay')) w.searchOpenDelay = finite(p.searchOpenDelay) && p.searchOpenDelay >= 0 ? p.searchOpenDelay : 3
  if (has('listAutoLoad')) w.listAutoLoad = oneOf(p.listAutoLoad, [50, 100, 200, 500, 1000] as const, 200)
  if (has('autoStartAssembly')) w.autoStartAssembly = bool(p.autoStartAssembly, cur.autoStartAssembly)
  if (has('autoReleaseMinutes')) w.autoReleaseMinutes = normaliseAutoRelease(p.autoReleaseMinutes)
  if (has('collectorSkipsShortfall')) w.collectorSkipsShortfall = bool(p.collectorSkipsShortfall, cur.collectorSkipsShortfall)
  if (has('ozonAutoLoad')) w.ozonAutoLoad = bool(p.ozonAutoLoad, cur.ozonAutoLoad)
  if (has('ozonStatusFilter')) w.ozonStatusFilter = str(p.ozonStatusFilter, 'all')
  if (has('ozonSchemes') && isDict(p.ozonSchemes))
    w.ozonSchemes = { fbs: bool(p.ozonSchemes.fbs, true), fbo: bool(p.ozonSchemes.fbo, true) }
  if (has('sectionsMode')) w.sectionsMode = str(p.sectionsMode, 'one')
  if (has('radioProductsView')) w.radioProductsView = str(p.radioProductsView, 'list')
  if (has('radioProductsColumns') && Array.isArray(p.radioProductsColumns))
    w.radioProductsColumns = p.radioProductsColumns.filter((c): c is string => typeof c === 'string')
  if (has('radioDeskCell')) w.radioDeskCell = normaliseDeskCell(p.radioDeskCell)
  if (has('radioLabelCopies'))
    w.radioLabelCopies = finite(p.radioLabelCopies) && p.radioLabelCopies >= 1 ? Math.round(p.radioLabelCopies) : 1
  for (const k of ['radioOwnBarcodes', 'radioMultiScan', 'radioShelfLife', 'radioMultiBarcodes', 'updatePrefetchAsked', 'updatePrefetch'] as const)
    if (has(k)) w[k] = bool(p[k], cur[k])
  return w
}

function mergePrint(cur: PrintSettings, p: Dict): PrintSettings {
  const out: PrintSettings = { ...cur }
  for (const [k, v] of Object.entries(p)) if (k !== 'rotation' && k !== 'orientation') out[k] = v
  if (!finite(out.widthMm)) out.widthMm = cur.widthMm
  if (!finite(out.heightMm)) out.heightMm = cur.heightMm
  if (!finite(out.offsetXMm)) out.offsetXMm = 0
  if (!finite(out.offsetYMm)) out.offsetYMm = 0
  out.printerName = strOrNull(out.printerName, null)
  if (!isDict(out.profiles)) out.profiles = {}
  if ('rotation' in p || 'orientation' in p) out.rotation = normaliseRotation(p.rotation, p.orientation, cur.rotation)
  return out
}

function mergeCrypto(cur: CryptoSettings, p: Dict): CryptoSettings {
  const out = { ...cur }
  for (const k of ['thumbprint', 'inn', 'dir', 'consentAt', 'consentSubject', 'consentScope', 'fiasId'] as const)
    if (k in p) out[k] = strOrNull(p[k], null)
  // An old "bad" reads as "bio"; codes this app does not know are dropped, repeats removed.
  if ('productGroups' in p && Array.isArray(p.productGroups)) out.productGroups = normaliseProductGroups(p.productGroups)
  return out
}

/** Merges whatever groups are present in `partial` (anything else is ignored), normalising each value. */
export function mergeSettings(current: Settings, partial: unknown): Settings {
  if (!isDict(partial)) return current
  const next: Settings = { ...current }
  if (isDict(partial.sound))
    next.sound = {
      enabled: bool(partial.sound.enabled, current.sound.enabled),
      volume: normaliseVolume(partial.sound.volume, current.sound.volume),
    }
  if (isDict(partial.work)) next.work = mergeWork(current.work, partial.work)
  if (isDict(partial.print)) next.print = mergePrint(current.print, partial.print)
  if (isDict(partial.crypto)) next.crypto = mergeCrypto(current.crypto, partial.crypto)
  if (isDict(partial.support)) next.support = { code: str(partial.support.code, current.support.code) }
  if ('uiScale' in partial) next.uiScale = normaliseUiScale(partial.uiScale, current.uiScale)
  if ('themeMode' in partial) next.themeMode = oneOf(partial.themeMode, ['system', 'light', 'dark'] as const, current.themeMode)
  return next
}

/**
 * What is kept under the key "work" of ".settings.dat": the work group with
 * the print and crypto groups inside it, plus the sound, theme and zoom so a
 * terminal without quick-login accounts keeps them across restarts too.
 */
export function deviceRecord(s: Settings): Dict {
  return { ...s.work, print: s.print, crypto: s.crypto, sound: s.sound, themeMode: s.themeMode, uiScale: s.uiScale }
}

/** Reads the record stored under "work" back into settings. */
export function applyDeviceRecord(current: Settings, record: unknown): Settings {
  if (!isDict(record)) return current
  const { print, crypto, sound, themeMode, uiScale, ...work } = record
  const partial: Dict = { work }
  if (print !== undefined) partial.print = print
  if (crypto !== undefined) partial.crypto = crypto
  if (sound !== undefined) partial.sound = sound
  if (themeMode !== undefined) partial.themeMode = themeMode
  if (uiScale !== undefined) partial.uiScale = uiScale
  return mergeSettings(current, partial)
}

/** The personal preferences that travel with a quick-login account. */
export interface AccountSettings {
  sound: SoundSettings
  themeMode: ThemeMode
  uiScale: number
  defaultTab: WorkSettings['defaultTab']
  afterScan: WorkSettings['afterScan']
}

export function accountCopy(s: Settings): AccountSettings {
  return {
    sound: { enabled: s.sound.enabled, volume: s.sound.volume },
    themeMode: s.themeMode,
    uiScale: s.uiScale,
    defaultTab: s.work.defaultTab,
    afterScan: s.work.afterScan,
  }
}

/** Applies an account's copy on quick login (`defaultTab`/`afterScan` only when present). */
export function applyAccountCopy(current: Settings, copy: unknown): Settings {
  if (!isDict(copy)) return current
  const partial: Dict = {}
  if (isDict(copy.sound)) partial.sound = copy.sound
  if ('themeMode' in copy) partial.themeMode = copy.themeMode
  if ('uiScale' in copy) partial.uiScale = copy.uiScale
  const work: Dict = {}
  if ('defaultTab' in copy) work.defaultTab = copy.defaultTab
  if ('afterScan' in copy) work.afterScan = copy.afterScan
  if (Object.keys(work).length) partial.work = work
  return mergeSettings(current, partial)
}
