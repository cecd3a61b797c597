/**
 * The live list under the placement field: 300 ms after the last keystroke
 * the products of every candidate text (as typed, its keyboard-layout
 * conversion, its lookalike form) and, for a name, the matching cells of the
 * loaded trees. An answer of an older search never replaces a newer one.
 */
import { searchCells } from '../cellSearch'
import { classifyCode, fold, fromRussianLayout } from '../codes'
import type { CellRow, Product } from '../records'

export const LIVE_DELAY_MS = 300
export const LIVE_PRODUCTS = 10

export interface LiveResult {
  products: Product[]
  cells: CellRow[]
}

/** The trimmed text to search, or null: shorter than 2 characters or a directly typed barcode. */
export function liveQuery(raw: string): { text: string; name: boolean } | null {
  const code = classifyCode(raw)
  if (code.text.length < 2 || code.kind === 'barcode') return null
  return { text: code.text, name: code.kind === 'name' }
}

/** The texts searched for: as typed, the keyboard-layout conversion, the lookalike form; no repeats. */
export function liveTexts(text: string): string[] {
  return [...new Set([text, fromRussianLayout(text), fold(text)])]
}

export interface LiveSearchDeps {
  find(text: string): Promise<Product[]>
  /** the cells of every zone, loaded once per visit */
  rows(): readonly CellRow[]
  show(result: LiveResult | null): void
  setTimer(fn: () => void, ms: number): () => void
}

export function createLiveSearch(deps: LiveSearchDeps) {
  let generation = 0
  let cancelTimer: (() => void) | undefined

  async function run(q: { text: string; name: boolean }, mine: number) {
    const answers = await Promise.allSettled(liveTexts(q.text).map((t) => deps.find(t)))
    if (mine !== generation) return
    const byId = new Map<number, Product>()
    for (const a of answers) if (a.status === 'fulfilled') for (const p of a.value) if (!byId.has(p.id)) byId.set(p.id, p)
    const cells = q.name ? searchCells(deps.rows(), q.text) : []
    deps.show({ products: [...byId.values()].slice(0, LIVE_PRODUCTS), cells })
  }

  /** Drops the list and any search under way. */
  function cancel() {
    generation++
    cancelTimer?.()
    cancelTimer = undefined
  }

  return {
    /** The field's text changed. */
    input(raw: string) {
      cancel()
      const q = liveQuery(raw)
      if (!q) return deps.show(null)
      const mine = generation
      cancelTimer = deps.setTimer(() => void run(q, mine), LIVE_DELAY_MS)
    },
    cancel() {
      cancel()
      deps.show(null)
    },
  }
}

/** The arrow keys move the live selection, wrapping round; -1 is no selection. */
export function stepSelection(at: number, count: number, by: 1 | -1): number {
  if (count === 0) return -1
  if (at < 0) return by === 1 ? 0 : count - 1
  return (at + by + count) % count
}
