/**
 * The document's barcode index: every barcode, every barcode without leading
 * zeros and the product code of every position, each mapped to the position's
 * assortment id, so that a scan is matched in constant time. Rebuilt whenever
 * the positions change.
 *
 * One product may stand on several lines of a document. Each line has its own
 * key: the assortment id for the product's first line, "<assortment id>#<n>"
 * for its n-th; counts, marks and drafts are kept per line key.
 */
import { hasCyrillic, resolveLayout } from './layout'
import { isMarkingCode, parseMarkingCode, withoutLeadingZeros } from './markingCode'

export interface IndexedPosition {
  assortmentId: string
  code: string
  barcodes: readonly string[]
}

export interface IndexedLine {
  required: number
  checked: number
}

export interface BarcodeIndex<P extends IndexedPosition = IndexedPosition> {
  /** code → assortment id */
  readonly codes: ReadonlyMap<string, string>
  /** line key → position (the product's first line under its assortment id) */
  readonly positions: ReadonlyMap<string, P>
  /** assortment id → the product's lines in document order */
  readonly lines: ReadonlyMap<string, readonly P[]>
  /** position → its line key */
  readonly keys: ReadonlyMap<P, string>
}

/** The key of the `n`-th line (from 1) of a product. */
export function lineKey(assortmentId: string, n: number): string {
  return n <= 1 ? assortmentId : `${assortmentId}#${n}`
}

/**
 * Which of a product's lines a scan goes to: adding, the first line that still
 * needs items, or the first line once all are full (the excess shows there);
 * removing, the last line that holds a counted item, or the first when none does.
 */
export function chooseLine<L extends IndexedLine>(lines: readonly L[], removing = false): L | undefined {
  if (removing) {
    for (let i = lines.length - 1; i >= 0; i--) if (lines[i]!.checked > 0) return lines[i]
    return lines[0]
  }
  return lines.find((l) => l.checked < l.required) ?? lines[0]
}

/**
 * Builds the index. Barcodes come before stripped barcodes and those before
 * product codes, and the first position to claim a code keeps it: a product
 * code never hides another product's barcode.
 */
export function buildBarcodeIndex<P extends IndexedPosition>(list: readonly P[]): BarcodeIndex<P> {
  const codes = new Map<string, string>()
  const positions = new Map<string, P>()
  const lines = new Map<string, P[]>()
  const keys = new Map<P, string>()
  const claim = (code: string, id: string) => {
    if (code !== '' && !codes.has(code)) codes.set(code, id)
  }
  for (const p of list) {
    const same = lines.get(p.assortmentId) ?? []
    same.push(p)
    lines.set(p.assortmentId, same)
    const key = lineKey(p.assortmentId, same.length)
    positions.set(key, p)
    keys.set(p, key)
    for (const b of p.barcodes) claim(b, p.assortmentId)
  }
  for (const p of list)
    for (const b of p.barcodes) {
      // Only a barcode with leading zeros has a second form.
      if (b.charCodeAt(0) === 48) claim(withoutLeadingZeros(b), p.assortmentId)
    }
  for (const p of list) claim(p.code, p.assortmentId)
  return { codes, positions, lines, keys }
}

/**
 * The position of a code (the product's first line): the index with the code
 * as is, then without leading zeros; failing that, for a marking code, its GTIN
 * without leading zeros and then the 14-digit GTIN.
 */
export function lookupPosition<P extends IndexedPosition>(index: BarcodeIndex<P>, code: string): P | undefined {
  const id =
    index.codes.get(code) ??
    index.codes.get(withoutLeadingZeros(code)) ??
    (() => {
      const mark = parseMarkingCode(code)
      if (!mark) return undefined
      return index.codes.get(withoutLeadingZeros(mark.gtin)) ?? index.codes.get(mark.gtin)
    })()
  return id === undefined ? undefined : index.positions.get(id)
}

export interface MatchedScan<P extends IndexedPosition> {
  /** the code after the layout correction */
  code: string
  corrected: boolean
  position: P | undefined
  isMark: boolean
}

/** Layout correction, then lookup: the whole matching step of one scan. */
export function matchScan<P extends IndexedPosition>(index: BarcodeIndex<P>, scanned: string): MatchedScan<P> {
  if (!hasCyrillic(scanned)) {
    return { code: scanned, corrected: false, position: lookupPosition(index, scanned), isMark: isMarkingCode(scanned) }
  }
  const { code, corrected } = resolveLayout(scanned, isMarkingCode, (c) => lookupPosition(index, c) !== undefined)
  return { code, corrected, position: lookupPosition(index, code), isMark: isMarkingCode(code) }
}
