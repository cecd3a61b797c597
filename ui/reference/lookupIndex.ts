/**
 * The in-memory index of the reference copy: every product by id, and three
 * separate maps to find one by a scanned code — its barcodes as stored, its
 * barcodes without leading zeros, and its product code. A lookup tries the
 * barcode maps for every form of the code before it looks at product codes,
 * so a product code that happens to equal another product's barcode never
 * hides that product.
 */
import { parseMarkingCode } from '../documents/picking/markingCode'
import { ShardedMap } from './shardedMap'
import type { AssortmentItem } from './syncAnswer'

/** A code without its leading zeros; a code of zeros only stays as it is. */
export function withoutLeadingZeros(code: string): string {
  return code.replace(/^0+/, '') || code
}

/**
 * The forms of a scanned code to look up, in order: the code, the code
 * without leading zeros and, for a marking code, its GTIN without leading
 * zeros and its 14-digit GTIN.
 */
export function lookupForms(code: string): string[] {
  const c = code.trim()
  if (!c) return []
  const forms = [c, withoutLeadingZeros(c)]
  const mark = parseMarkingCode(c)
  if (mark) forms.push(withoutLeadingZeros(mark.gtin), mark.gtin)
  return [...new Set(forms)]
}

/** A rough size of a record in storage (bytes), for the status line. */
export function approxBytes(item: AssortmentItem): number {
  let n = 96 + 2 * (item.assortmentId.length + item.name.length + item.code.length + item.article.length + item.updatedAt.length)
  for (const b of item.barcodes) n += 8 + 2 * b.length
  return n
}

export class LookupIndex {
  private readonly items = new ShardedMap<AssortmentItem>()
  private readonly barcodes = new ShardedMap<AssortmentItem>()
  private readonly bareBarcodes = new ShardedMap<AssortmentItem>()
  private readonly codes = new ShardedMap<AssortmentItem>()
  private totalBytes = 0

  get count(): number {
    return this.items.size
  }

  get bytes(): number {
    return this.totalBytes
  }

  get(id: string): AssortmentItem | undefined {
    return this.items.get(id)
  }

  /** Adds or replaces products (a replaced product's old codes leave the maps). */
  put(items: Iterable<AssortmentItem>): void {
    for (const item of items) {
      this.remove([item.assortmentId])
      this.items.set(item.assortmentId, item)
      this.totalBytes += approxBytes(item)
      for (const b of item.barcodes) {
        this.barcodes.set(b, item)
        this.bareBarcodes.set(withoutLeadingZeros(b), item)
      }
      if (item.code) this.codes.set(item.code, item)
    }
  }

  /** Removes products by id; an unknown id is ignored. */
  remove(ids: Iterable<string>): void {
    for (const id of ids) {
      const old = this.items.get(id)
      if (!old) continue
      this.items.delete(id)
      this.totalBytes -= approxBytes(old)
      for (const b of old.barcodes) {
        dropIfOwned(this.barcodes, b, old)
        dropIfOwned(this.bareBarcodes, withoutLeadingZeros(b), old)
      }
      if (old.code) dropIfOwned(this.codes, old.code, old)
    }
  }

  clear(): void {
    this.items.clear()
    this.barcodes.clear()
    this.bareBarcodes.clear()
    this.codes.clear()
    this.totalBytes = 0
  }

  /** The product a scanned code belongs to, or null: barcode hits first, then product codes. */
  find(code: string): AssortmentItem | null {
    if (this.items.size === 0) return null
    const forms = lookupForms(code)
    for (const form of forms) {
      const hit = this.barcodes.get(form) ?? this.bareBarcodes.get(form)
      if (hit) return hit
    }
    for (const form of forms) {
      const hit = this.codes.get(form)
      if (hit) return hit
    }
    return null
  }
}

// Two products may share a code; removing one must not take the other's entry.
function dropIfOwned(map: ShardedMap<AssortmentItem>, key: string, owner: AssortmentItem): void {
  if (map.get(key) === owner) map.delete(key)
}
