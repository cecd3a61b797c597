/**
 * The label format of the print settings and its texts: sizes, presets,
 * rotation, calibration shift, purposes and the per-printer profiles. Pure:
 * every function takes the print settings and answers a value or a partial
 * settings object for the settings holder to merge.
 */
import type { PrintSettings } from '../core/settingsModel'
import type { LabelFormat } from './printOps'

export type Rotation = 0 | 90 | 180 | 270
export type Purpose = 'label' | 'a4' | 'auto'

/** What a printer remembers of the format while another one is chosen. */
export interface PrintProfile {
  widthMm: number
  heightMm: number
  rotation: Rotation
  fitMode: string
  offsetXMm: number
  offsetYMm: number
  purpose: Purpose
}

export const SIZE_MIN_MM = 10
export const SIZE_MAX_MM = 400
export const DEFAULT_WIDTH_MM = 58
export const DEFAULT_HEIGHT_MM = 40
export const OFFSET_LIMIT_MM = 10

export interface SizePreset {
  label: string
  widthMm: number
  heightMm: number
}

export const SIZE_PRESETS: readonly SizePreset[] = [
  { label: '58 × 40', widthMm: 58, heightMm: 40 },
  { label: '58 × 60', widthMm: 58, heightMm: 60 },
  { label: '75 × 120', widthMm: 75, heightMm: 120 },
  { label: 'A4', widthMm: 210, heightMm: 297 },
]

export const ROTATION_NAMES: Readonly<Record<Rotation, string>> = {
  0: 'Без поворота',
  90: 'На 90° вправо',
  180: 'Вверх ногами',
  270: 'На 90° влево',
}

export interface PurposeInfo {
  id: Purpose
  title: string
  hint: string
  /** Used in the printer's profile summary; "auto" has none. */
  short: string | null
}

export const PURPOSES: readonly PurposeInfo[] = [
  { id: 'label', title: 'Этикетки', hint: 'Этикетки на коробки и товары', short: 'для этикеток' },
  { id: 'a4', title: 'Листы А4', hint: 'Накладные и другие документы', short: 'для листов А4' },
  { id: 'auto', title: 'Определять по ширине бумаги', hint: 'Узкая лента — этикетки, широкая — А4', short: null },
]

const finite = (v: unknown): v is number => typeof v === 'number' && Number.isFinite(v)

/** "label" and "a4" stay; anything else counts as "auto". */
export function normalisePurpose(value: unknown): Purpose {
  return value === 'label' || value === 'a4' ? value : 'auto'
}

export function purposeShortText(value: unknown): string | null {
  const id = normalisePurpose(value)
  return PURPOSES.find((p) => p.id === id)?.short ?? null
}

function normaliseRotation(value: unknown): Rotation {
  return value === 90 || value === 180 || value === 270 ? value : 0
}

/** The format sent with every job. */
export function labelFormatOf(print: PrintSettings): LabelFormat {
  return {
    widthMm: print.widthMm,
    heightMm: print.heightMm,
    rotation: print.rotation,
    fitMode: print.fitMode,
    offsetXMm: print.offsetXMm,
    offsetYMm: print.offsetYMm,
  }
}

/** "{} × {} мм" with both sizes rounded to whole millimetres. */
export function sizeText(widthMm: number, heightMm: number): string {
  return `${Math.round(widthMm)} × ${Math.round(heightMm)} мм`
}

/** The size of the settings as text, used by the apply button and the preview's title. */
export function currentSizeText(print: PrintSettings): string {
  return sizeText(print.widthMm, print.heightMm)
}

/** "Сейчас: 58 × 40 мм", with ", поворот 90°" when rotated. */
export function currentSizeLine(print: PrintSettings): string {
  return `Сейчас: ${currentSizeText(print)}${print.rotation !== 0 ? `, поворот ${print.rotation}°` : ''}`
}

export function presetSelected(preset: SizePreset, print: PrintSettings): boolean {
  return Math.round(preset.widthMm) === Math.round(print.widthMm) && Math.round(preset.heightMm) === Math.round(print.heightMm)
}

export function nextRotation(rotation: number): Rotation {
  return (((normaliseRotation(rotation) + 90) % 360) as Rotation)
}

export function rotationTooltip(rotation: number): string {
  return `Повернуть на 90° (сейчас ${normaliseRotation(rotation)}°)`
}

function numberInput(raw: string | number): number {
  return typeof raw === 'number' ? raw : Number(raw.trim().replace(',', '.'))
}

/** A size field's value: not a number or 0 falls back to the default, then 10..400. */
export function sizeFromField(raw: string | number, axis: 'width' | 'height'): number {
  let value = numberInput(raw)
  if (!finite(value) || value === 0) value = axis === 'width' ? DEFAULT_WIDTH_MM : DEFAULT_HEIGHT_MM
  return Math.min(SIZE_MAX_MM, Math.max(SIZE_MIN_MM, value))
}

/** A shift field's value: not finite is 0; one decimal (halves up); −10..10. */
export function offsetFromField(raw: string | number): number {
  const value = numberInput(raw)
  if (!finite(value)) return 0
  // toPrecision drops the binary noise of ×10 (1.15 × 10 = 11.499…) before rounding.
  const tenths = Math.round(Number((value * 10).toPrecision(12))) / 10
  const clamped = Math.min(OFFSET_LIMIT_MM, Math.max(-OFFSET_LIMIT_MM, tenths))
  return clamped === 0 ? 0 : clamped
}

/** The current format as a profile. */
export function profileOf(print: PrintSettings): PrintProfile {
  return {
    widthMm: print.widthMm,
    heightMm: print.heightMm,
    rotation: print.rotation,
    fitMode: print.fitMode,
    offsetXMm: print.offsetXMm,
    offsetYMm: print.offsetYMm,
    purpose: normalisePurpose(print.purpose),
  }
}

/** A stored profile read defensively; undefined when it has no usable size. */
export function readProfile(value: unknown): PrintProfile | undefined {
  if (typeof value !== 'object' || value === null || Array.isArray(value)) return undefined
  const v = value as Record<string, unknown>
  if (!finite(v.widthMm) || !finite(v.heightMm) || v.widthMm <= 0 || v.heightMm <= 0) return undefined
  return {
    widthMm: v.widthMm,
    heightMm: v.heightMm,
    rotation: normaliseRotation(v.rotation),
    fitMode: typeof v.fitMode === 'string' ? v.fitMode : 'fit',
    offsetXMm: finite(v.offsetXMm) ? offsetFromField(v.offsetXMm) : 0,
    offsetYMm: finite(v.offsetYMm) ? offsetFromField(v.offsetYMm) : 0,
    purpose: normalisePurpose(v.purpose),
  }
}

export function profileFor(print: PrintSettings, printerName: string): PrintProfile | undefined {
  return Object.hasOwn(print.profiles, printerName) ? readProfile(print.profiles[printerName]) : undefined
}

/** "58 × 40 мм, поворот 90°, для этикеток" with the stored numbers. */
export function profileSummary(profile: PrintProfile): string {
  let text = `${profile.widthMm} × ${profile.heightMm} мм`
  if (profile.rotation !== 0) text += `, поворот ${profile.rotation}°`
  const short = purposeShortText(profile.purpose)
  if (short) text += `, ${short}`
  return text
}

/** The profiles with the current format stored under the chosen printer (unchanged for the system default). */
export function profilesWithCurrent(print: PrintSettings): Record<string, unknown> {
  if (print.printerName === null) return print.profiles
  return { ...print.profiles, [print.printerName]: profileOf(print) }
}

/** Applies `change` to the format and stores the result as the chosen printer's profile. */
export function changeFormat(print: PrintSettings, change: Partial<PrintProfile>): Partial<PrintSettings> {
  const next = { ...print, ...change }
  return { ...change, profiles: profilesWithCurrent(next) }
}

/**
 * Choosing printer `printerName` (null: the system default): the format so far
 * is kept for the printer left behind; the new one brings its own profile, or
 * keeps the format as it is.
 */
export function choosePrinter(print: PrintSettings, printerName: string | null): Partial<PrintSettings> {
  const profiles = profilesWithCurrent(print)
  const profile = printerName === null ? undefined : Object.hasOwn(profiles, printerName) ? readProfile(profiles[printerName]) : undefined
  return { ...(profile ?? {}), profiles, printerName }
}

/** A printer's line under its name: its profile, or "системный по умолчанию", then " · не в сети". */
export function printerSubtitle(print: PrintSettings, printer: { name: string; isDefault: boolean; isOnline: boolean }): string {
  const profile = profileFor(print, printer.name)
  const parts = [profile ? profileSummary(profile) : printer.isDefault ? 'системный по умолчанию' : '']
  if (!printer.isOnline) parts.push('не в сети')
  return parts.filter(Boolean).join(' · ')
}

/**
 * The format a given printer prints with: the current one when it is the chosen printer, else its stored
 * profile, else the current one (a printer never set up here takes what the settings hold).
 */
export function profileForPrinter(print: PrintSettings, printerName: string): PrintProfile {
  if (print.printerName === printerName) return profileOf(print)
  return profileFor(print, printerName) ?? profileOf(print)
}

/** The job format of printer `printerName` (see `profileForPrinter`). */
export function printerFormat(print: PrintSettings, printerName: string): LabelFormat {
  return labelFormatOf({ ...print, ...profileForPrinter(print, printerName) })
}
