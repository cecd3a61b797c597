import { afterEach, beforeEach, describe, expect, it, vi } from 'vitest'
import { useSocketStore } from '../core/socketStore'
import { readCachedContents, writeCachedContents } from './dataCache'
import { fetchDocumentProducts } from './documentRequests'
import { prefetchContents, prefetchTiming } from './prefetch'
import { cancelPrefetch } from './prefetchSignal'
import { normaliseDocuments, normalisePositions } from './records'
import { documentsKit, listed, type DocumentsKit } from './testing/documentsKit'

let kit: DocumentsKit
let lines: string[]
const saved = { ...prefetchTiming }
beforeEach(() => {
  kit = documentsKit()
  Object.assign(prefetchTiming, { pauseMs: 5, idleTimeoutMs: 5, noIdleDelayMs: 5 })
  lines = []
  vi.spyOn(console, 'info').mockImplementation((...a: unknown[]) => void lines.push(a.map(String).join(' ')))
  kit.script('subscribeDocument', [(p) => ({ documentId: p.documentId, items: [{ id: 'p1', name: 'Товар', quantity: 1 }], total: 1, final: true })])
})
afterEach(() => {
  Object.assign(prefetchTiming, saved)
  kit.end()
  vi.restoreAllMocks()
})

const page = normaliseDocuments([
  listed('d1', { status: 'completed' }),
  listed('d2'),
  listed('d3'),
  listed('d4'),
  listed('d5'),
])
const asked = () => kit.sent.filter((m) => m.c === 'subscribeDocument').map((m) => m.p.documentId)

describe('the contents prefetch', () => {
  it('fetches the first three open documents that have no fresh cached copy, quietly', async () => {
    writeCachedContents('d3', normalisePositions([{ id: 'x', quantity: 1 }]), Date.now() - 10 * 60 * 1000)
    writeCachedContents('d4', normalisePositions([{ id: 'x', quantity: 1 }]), Date.now() - 2 * 60 * 60 * 1000)
    expect(await prefetchContents(page)).toBe(2)
    expect(asked()).toEqual(['d2', 'd4'])
    expect(readCachedContents('d2')!.data).toHaveLength(1)
    expect(lines).toContain('[prefetch] докачано составов: 2 из 2')
  })

  it.each([
    ['a document is opened', () => void fetchDocumentProducts('d9', 'shipment').catch(() => {})],
    ['the channel goes down', () => useSocketStore().setConnected(false)],
  ])('stops when %s', async (_what, interrupt) => {
    const run = prefetchContents(page)
    interrupt()
    await run
    expect(asked().filter((id) => id !== 'd9')).toEqual([])
  })

  it('a cancelled prefetch says how little it got', async () => {
    const run = prefetchContents(page)
    cancelPrefetch()
    expect(await run).toBe(0)
    expect(lines).toContain('[prefetch] докачано составов: 0 из 3')
  })
})
