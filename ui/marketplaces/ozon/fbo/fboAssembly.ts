/**
 * Assembling a supply by scanning against its content, on this device only:
 * the lines to collect (items with the same barcode summed), one scan's
 * outcome with its message, sound and vibration, and the progress texts.
 * Pure: the page keeps the counts and plays the outcome.
 */
import { resolveLayout } from '../../../documents/picking/layout'
import type { OutcomeSound, OutcomeVibration } from '../../../documents/picking/scanOutcome'
import { CONTENT_TEXTS } from './fboTexts'
import type { FboItem } from './fboRecords'

export interface AssemblyLine {
  barcode: string
  name: string
  total: number
}

export interface AssemblyPlan {
  lines: AssemblyLine[]
  /** items that cannot be scanned: "без штрихкода — 3 шт" */
  withoutBarcode: Array<{ name: string; quantity: number }>
  /** pieces to scan (items without a barcode are not among them) */
  total: number
}

const nameOf = (item: Pick<FboItem, 'name'>) => item.name || CONTENT_TEXTS.unnamed

export function assemblyPlan(items: readonly FboItem[]): AssemblyPlan {
  const byBarcode = new Map<string, AssemblyLine>()
  const withoutBarcode: AssemblyPlan['withoutBarcode'] = []
  for (const item of items) {
    if (item.barcode === '') {
      withoutBarcode.push({ name: nameOf(item), quantity: item.quantity })
      continue
    }
    const line = byBarcode.get(item.barcode)
    if (line) line.total += item.quantity
    else byBarcode.set(item.barcode, { barcode: item.barcode, name: nameOf(item), total: item.quantity })
  }
  const lines = [...byBarcode.values()]
  return { lines, withoutBarcode, total: lines.reduce((s, l) => s + l.total, 0) }
}

export function withoutBarcodeText(entry: { quantity: number }): string {
  return `без штрихкода — ${entry.quantity} шт`
}

export type AssemblyScanKind = 'unreadable' | 'not-in-supply' | 'complete' | 'progress' | 'line-done'

export interface AssemblyScan {
  kind: AssemblyScanKind
  message: string
  ok: boolean
  /** the line counted, with its new count */
  barcode: string | null
  collected: number | null
  sound: OutcomeSound
  vibrate: OutcomeVibration
}

const refuse = (kind: AssemblyScanKind, message: string): AssemblyScan => ({
  kind, message, ok: false, barcode: null, collected: null, sound: 'error', vibrate: 'error',
})

/**
 * One scan against the plan and the counts so far. A code typed on the
 * Russian keyboard layout is read on the US one when only that form matches.
 */
export function assemblyScan(plan: AssemblyPlan, counts: Readonly<Record<string, number>>, raw: string): AssemblyScan {
  const scanned = raw.trim()
  if (scanned === '') return refuse('unreadable', 'Штрихкод не распознан')
  const byBarcode = new Map(plan.lines.map((l) => [l.barcode, l]))
  const { code } = resolveLayout(scanned, () => false, (c) => byBarcode.has(c))
  const line = byBarcode.get(code)
  if (!line) return refuse('not-in-supply', `В поставке нет товара с кодом ${scanned}`)
  const before = counts[line.barcode] ?? 0
  if (before >= line.total)
    return { kind: 'complete', message: `${line.name} уже собран полностью`, ok: false, barcode: null, collected: null, sound: 'tooMuch', vibrate: 'warning' }
  const collected = before + 1
  const done = collected === line.total
  return {
    kind: done ? 'line-done' : 'progress',
    message: `${line.name}: собрано ${collected} из ${line.total}`,
    ok: true,
    barcode: line.barcode,
    collected,
    sound: done ? 'success' : 'checked',
    vibrate: 'success',
  }
}

/** Pieces collected (never more than a line needs). */
export function collectedCount(plan: AssemblyPlan, counts: Readonly<Record<string, number>>): number {
  return plan.lines.reduce((s, l) => s + Math.min(l.total, counts[l.barcode] ?? 0), 0)
}

export function progressText(collected: number, total: number): string {
  return `Собрано ${collected} из ${total} шт`
}

export function progressPercent(collected: number, total: number): number {
  return total > 0 ? Math.floor((collected * 100) / total) : 0
}

export const ASSEMBLY_TEXTS = {
  complete: 'Состав собран',
  incomplete: 'Собраны не все товары — можно вернуться к сборке или разложить по грузоместам',
  reset: 'Сбросить сборку',
  finish: 'Завершить сборку',
  toCargo: 'Разложить по грузоместам',
} as const

/** What "Завершить сборку" says: the count when everything was collected, else the warning. */
export function finishText(collected: number, total: number): { ok: boolean; text: string } {
  return collected >= total ? { ok: true, text: `Сборка завершена: ${collected} из ${total}` } : { ok: false, text: ASSEMBLY_TEXTS.incomplete }
}
