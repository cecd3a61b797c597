/**
 * The lookup figures of the reference copy, as one function that runs the
 * same way in this process and, bundled, in the desktop app's page: 100,000
 * generated products put into the app's LookupIndex, and 20,000 scans as they
 * come looked up in it and in a bare Map of the same barcodes, each lookup
 * timed on its own, the two sides alternated.
 */
import { generatedBarcode } from '../../ui/demo/reference'
import { LookupIndex } from '../../ui/reference/lookupIndex'
import type { AssortmentItem } from '../../ui/reference/syncAnswer'

export interface LookupFigures {
  products: number
  scans: number
  /** ms per lookup, the better of two alternated rounds */
  ours: { median: number; p95: number; mean: number }
  bare: { median: number; p95: number; mean: number }
  /** the smallest step of this clock seen (ms): a coarse clock shows single lookups as 0 or one step */
  clockStep: number
}

const quantile = (sorted: readonly number[], q: number) => sorted[Math.min(sorted.length - 1, Math.floor(q * sorted.length))]!

export function runLookupFigures(products: number, scanCount = 20_000): LookupFigures {
  const items: AssortmentItem[] = Array.from({ length: products }, (_, k) => {
    const n = k + 1
    return { assortmentId: `gen-${n}`, name: `Товар №${n}`, code: String(500_000 + n), article: `GEN-${n}`, barcodes: [generatedBarcode(n)], markable: false, updatedAt: '', syncedAt: 1 }
  })
  const index = new LookupIndex()
  index.put(items)
  const bare = new Map(items.map((i) => [i.barcodes[0]!, i]))
  // Scans as they come: most with the stored form, every fifth with one more leading zero, some unknown.
  const scans = Array.from({ length: scanCount }, (_, k) => {
    const code = generatedBarcode(1 + ((k * 7_919) % products))
    return k % 5 === 1 ? `0${code}` : k % 17 === 0 ? `2${code.slice(1)}` : code
  })
  const time = (find: (code: string) => unknown) => {
    for (const s of scans) find(s)
    // The mean from one clock read around the whole pass: no per-lookup clock reads in it.
    const all0 = performance.now()
    for (const s of scans) find(s)
    const mean = (performance.now() - all0) / scans.length
    const t: number[] = []
    for (const s of scans) {
      const t0 = performance.now()
      find(s)
      t.push(performance.now() - t0)
    }
    t.sort((a, b) => a - b)
    return { median: quantile(t, 0.5), p95: quantile(t, 0.95), mean }
  }
  const better = (a: LookupFigures['ours'], b: LookupFigures['ours']) => ({
    median: Math.min(a.median, b.median),
    p95: Math.min(a.p95, b.p95),
    mean: Math.min(a.mean, b.mean),
  })
  // Alternate the two so neither gets a warmer machine.
  const r1 = time((c) => bare.get(c))
  const o1 = time((c) => index.find(c))
  const r2 = time((c) => bare.get(c))
  const o2 = time((c) => index.find(c))
  let clockStep = Infinity
  for (let k = 0, last = performance.now(); k < 100_000; k++) {
    const now = performance.now()
    if (now > last) clockStep = Math.min(clockStep, now - last)
    last = now
  }
  return { products, scans: scanCount, ours: better(o1, o2), bare: better(r1, r2), clockStep }
}
