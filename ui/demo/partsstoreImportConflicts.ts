/**
 * The rows of an import file that would silently change another product:
 * a product barcode that belongs to a product of another name in the store,
 * one that an earlier row of the file gave to another name, and one product
 * given two prices in the file. Such a row is applied only when the user
 * said it is the same product; otherwise it is left out and counted.
 */
import { fold } from '../partsstore/codes'
import type { ImportConflict, ImportResolution } from '../partsstore/records'
import type { PartsStore } from './partsstoreModel'

export interface ConflictColumns {
  mapping: Record<string, number>
}

const cellOf = (row: readonly string[], o: ConflictColumns, key: string) => (typeof o.mapping[key] === 'number' ? (row[o.mapping[key]!] ?? '').trim() : '')

function priceOf(raw: string): number | undefined {
  if (raw === '') return undefined
  const n = Number(raw.replace(',', '.').replace(/\s/g, ''))
  return Number.isFinite(n) ? n : undefined
}

/** Every conflicting row of `data` (line numbers as in the file: the header is line 1), found against the store as it is. */
export function findImportConflicts(s: PartsStore, data: readonly (readonly string[])[], o: ConflictColumns): Map<number, ImportConflict> {
  const byBarcode = new Map<string, { line: number; name: string }>()
  const prices = new Map<string, { line: number; price: number }>()
  const owners = new Map<string, string>()
  for (const p of s.products.values()) owners.set(p.internalBarcode, p.name)
  const found = new Map<number, ImportConflict>()
  data.forEach((row, i) => {
    const line = i + 2
    const name = cellOf(row, o, 'productName')
    if (name === '') return
    const barcode = cellOf(row, o, 'productBarcode')
    if (barcode !== '') {
      const owner = owners.get(barcode)
      if (owner !== undefined && fold(owner) !== fold(name)) {
        found.set(line, { line, kind: 'barcode_taken', name, barcode, otherName: owner, otherLine: 0 })
        return
      }
      const first = byBarcode.get(barcode)
      if (first && fold(first.name) !== fold(name)) {
        found.set(line, { line, kind: 'barcode_repeated', name, barcode, otherName: first.name, otherLine: first.line })
        return
      }
      if (!first) byBarcode.set(barcode, { line, name })
    }
    const price = priceOf(cellOf(row, o, 'price'))
    if (price === undefined) return
    const key = barcode !== '' ? `b:${barcode}` : `n:${fold(name)}`
    const earlier = prices.get(key)
    if (earlier && earlier.price !== price) {
      found.set(line, { line, kind: 'price_differs', name, barcode, otherName: name, otherLine: earlier.line, price, otherPrice: earlier.price })
    } else if (!earlier) {
      prices.set(key, { line, price })
    }
  })
  return found
}

/** The user's choices sent with a run: line number to "same" or "skip"; anything else is no choice. */
export function readResolutions(raw: unknown): Map<number, ImportResolution> {
  const out = new Map<number, ImportResolution>()
  if (typeof raw !== 'object' || raw === null || Array.isArray(raw)) return out
  for (const [k, v] of Object.entries(raw as Record<string, unknown>)) {
    const line = Number(k)
    if (Number.isInteger(line) && line > 1 && (v === 'same' || v === 'skip')) out.set(line, v)
  }
  return out
}
