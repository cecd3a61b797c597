import { describe, expect, it } from 'vitest'
import type { Payload } from '../core/envelope'
import type { AssortmentMeta } from './assortmentDb'
import { LookupIndex } from './lookupIndex'
import type { AssortmentItem } from './syncAnswer'
import { runSync, SLICE, type RunDeps, type RunStore } from './syncRun'

const PAGES = 4
const PER_PAGE = SLICE * 2 + 7

function page(n: number): Payload {
  const items = Array.from({ length: PER_PAGE }, (_, i) => ({ assortmentId: `p${n}-${i}`, name: `Товар ${n}-${i}`, barcodes: [`46${n}${String(i).padStart(10, '0')}`] }))
  return n < PAGES ? { items, cursor: `c${n + 1}` } : { items, serverTime: '2026-12-11T06:00:00Z' }
}

/** A store whose writes take a few turns of the event loop and say what they did. */
function slowStore(failOnPage?: number) {
  const events: string[] = []
  let open = 0
  const store: RunStore & { meta: Partial<AssortmentMeta>[] } = {
    meta: [],
    async writePage(items: readonly AssortmentItem[]) {
      const n = Number(items[0]!.assortmentId.slice(1, items[0]!.assortmentId.indexOf('-')))
      open += 1
      events.push(open > 1 ? `overlap ${n}` : `write ${n}`)
      for (let i = 0; i < 5; i++) await new Promise((r) => setTimeout(r, 0))
      open -= 1
      if (n === failOnPage) throw new Error('disk full')
    },
    staleIds: async () => [],
    deleteIds: async () => {},
    async writeMeta(patch) {
      store.meta.push(patch)
    },
  }
  return { store, events }
}

function deps(store: RunStore, index: LookupIndex, asked: number[]): RunDeps {
  return {
    ask: async (p) => {
      const n = p.cursor ? Number(String(p.cursor).slice(1)) : 1
      asked.push(n)
      return page(n)
    },
    store,
    index,
    meta: { lastSyncAt: null, lastFullSyncAt: null, since: null, scope: 'acc' },
    wait: async () => {},
    breathe: () => new Promise((r) => setTimeout(r, 0)),
    now: () => 1_000,
    current: () => true,
    onWaiting: () => {},
    writeError: (err) => `не записано: ${(err as Error).message}`,
    warn: () => {},
  }
}

describe('runSync with a page written while the next is fetched', () => {
  it('writes the pages one at a time in their order and indexes every product', async () => {
    const { store, events } = slowStore()
    const index = new LookupIndex()
    const asked: number[] = []
    const r = await runSync(deps(store, index, asked), true)
    expect(r).toEqual({ kind: 'done', full: true, pages: PAGES, capped: false })
    expect(events).toEqual(['write 1', 'write 2', 'write 3', 'write 4'])
    expect(asked).toEqual([1, 2, 3, 4])
    expect(index.count).toBe(PAGES * PER_PAGE)
    expect(index.find(`46${PAGES}${String(PER_PAGE - 1).padStart(10, '0')}`)?.assortmentId).toBe(`p${PAGES}-${PER_PAGE - 1}`)
    expect(store.meta).toHaveLength(1)
  })

  it('a failed write ends the run with its text, before later pages are written or the cursor moves', async () => {
    const { store, events } = slowStore(2)
    const index = new LookupIndex()
    const r = await runSync(deps(store, index, []), true)
    expect(r).toEqual({ kind: 'failed', error: 'не записано: disk full' })
    expect(events).toEqual(['write 1', 'write 2'])
    expect(index.count).toBe(PER_PAGE)
    expect(store.meta).toEqual([])
  })
})
