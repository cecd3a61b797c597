// @vitest-environment node
// The send queue: its storage rules, and its flush against the local service host.
import { afterAll, afterEach, beforeAll, beforeEach, describe, expect, it, vi } from 'vitest'
import { DAY_MS, readLocal, writeLocal } from './localStore'
import { RefusalError } from './requests'
import {
  enqueueCompletion,
  flushQueue,
  QUEUE_SAVE_FAILED,
  readQueue,
  SEND_QUEUE_KEY,
  type NewQueuedCompletion,
  type QueuedCompletion,
} from './sendQueue'
import { flushQueueOnConnect, useSendQueueStore } from './sendQueueStore'
import { connectSocket } from './session'
import { useAuthStore } from './authStore'
import { useSocketStore } from './socketStore'
import { installMemoryStorage, type MemoryStorage } from './testing/memoryStorage'
import { endSession, freshSession } from './testing/sessionKit'
import { eventually, StandIn } from './testing/standIn'

function completion(documentId: string, items = 2, marks: string[] = []): NewQueuedCompletion {
  return {
    documentId,
    documentType: 'demand',
    documentNumber: documentId.toUpperCase(),
    items: Array.from({ length: items }, (_, i) => ({ positionId: `${documentId}-p${i}`, quantity: 1, marks: i === 0 ? marks : [] })),
    timeline: { openedAt: 1, firstScanAt: 2, lastScanAt: 3, completedAt: 4, scans: items },
    markIdentities: marks.map((m) => `04600000000000:${m}`),
  }
}

describe('storage rules', () => {
  let storage: MemoryStorage
  beforeEach(() => {
    storage = installMemoryStorage()
  })
  afterEach(() => vi.restoreAllMocks())

  it('keeps one entry per document: a new completion replaces the old one', () => {
    expect(enqueueCompletion(completion('d1', 1), 1_000)).toBe(true)
    expect(enqueueCompletion(completion('d2'), 2_000)).toBe(true)
    expect(enqueueCompletion(completion('d1', 3), 3_000)).toBe(true)
    const q = readQueue(3_000)
    expect(q.map((e) => [e.id, e.items.length, e.attempts])).toEqual([
      ['d2-2000', 2, 0],
      ['d1-3000', 3, 0],
    ])
  })

  it('drops entries older than 30 days when the queue is read, and unreadable values read as empty', () => {
    enqueueCompletion(completion('old'), 0)
    enqueueCompletion(completion('young'), DAY_MS)
    expect(readQueue(30 * DAY_MS).map((e) => e.documentId)).toEqual(['old', 'young'])
    expect(readQueue(30 * DAY_MS + 1).map((e) => e.documentId)).toEqual(['young'])
    expect((readLocal<unknown[]>(SEND_QUEUE_KEY) ?? []).length).toBe(1)
    storage.setItem(SEND_QUEUE_KEY, '{broken')
    expect(readQueue()).toEqual([])
  })

  it('answers false and logs when the storage quota is full', () => {
    const warn = vi.spyOn(console, 'warn').mockImplementation(() => {})
    enqueueCompletion(completion('d1'))
    storage.quotaLeft = 10
    expect(enqueueCompletion(completion('d2', 40))).toBe(false)
    expect(warn).toHaveBeenCalledWith(QUEUE_SAVE_FAILED, expect.any(String))
    expect(readQueue().map((e) => e.documentId)).toEqual(['d1'])
  })

  it('lets only one flush run at a time', async () => {
    enqueueCompletion(completion('d1'))
    let release: () => void = () => {}
    const send = vi.fn(() => new Promise<void>((r) => (release = r)))
    const first = flushQueue({ send })
    expect(await flushQueue({ send })).toEqual({ sent: 0, failed: 0 })
    release()
    expect(await first).toEqual({ sent: 1, failed: 0 })
    expect(send).toHaveBeenCalledTimes(1)
  })

  it('treats a refusal with an unknown code as a failure that stops the flush', async () => {
    enqueueCompletion(completion('d1'), 1)
    enqueueCompletion(completion('d2'), 2)
    const send = vi.fn(async (_e: QueuedCompletion) => {
      throw new RefusalError('что-то не так', { code: 'ms-error', message: 'что-то не так' })
    })
    expect(await flushQueue({ send, now: () => 3 })).toEqual({ sent: 0, failed: 1 })
    expect(readQueue(3).map((e) => [e.documentId, e.attempts, e.lastError, e.refused])).toEqual([
      ['d1', 1, 'что-то не так', undefined],
      ['d2', 0, undefined, undefined],
    ])
  })
})

describe('flush to the service host', () => {
  let standIn: StandIn
  beforeAll(async () => {
    standIn = await StandIn.start()
  })
  afterAll(() => standIn.close())
  beforeEach(async () => {
    freshSession(standIn.url)
    const { token } = await standIn.mint('u-anna')
    useAuthStore().setDeviceJwt(token)
    connectSocket()
    await eventually('connected', () => useSocketStore().isConnected)
    await standIn.reset()
  })
  afterEach(() => endSession())

  it('skips a refused entry from then on and stops at a network failure, keeping the order', async () => {
    const queue = useSendQueueStore()
    queue.enqueue(completion('a'))
    queue.enqueue(completion('b', 120, ['m1', 'm2']))
    queue.enqueue(completion('c'))
    await standIn.nextReply('completeDocument', 'fail', { payload: { errorCode: 'taken', error: 'Документ уже собирает Иван' } })
    await standIn.nextReply('completeDocument', 'drop')

    expect(await queue.flush({ pageTimeoutMs: 200 })).toEqual({ sent: 0, failed: 2 })
    expect(queue.entries.map((e) => [e.documentId, e.refused, e.attempts, e.lastError])).toEqual([
      ['a', true, 0, 'Документ уже собирает Иван'],
      ['b', undefined, 1, 'timeout'],
      ['c', undefined, 0, undefined],
    ])

    expect(await queue.flush({ pageTimeoutMs: 2_000 })).toEqual({ sent: 2, failed: 0 })
    expect(queue.entries.map((e) => e.documentId)).toEqual(['a'])
    const sent = await standIn.messages('completeDocument')
    expect(sent.filter((m) => m.p.documentId === 'a')).toHaveLength(1)
    // b went again from its first page: 50, 50 and 20 items, the last one final with the timeline
    const b = sent.filter((m) => m.p.documentId === 'b').slice(-3)
    expect(b.map((m) => [m.p.page, (m.p.items as unknown[]).length, m.p.final, 'timeline' in m.p])).toEqual([
      [1, 50, false, false],
      [2, 50, false, false],
      [3, 20, true, true],
    ])
    const done = await standIn.control<{ completions: Array<{ documentId: string; items: unknown[] }> }>('GET', '/completions')
    expect(done.completions.map((c) => [c.documentId, c.items.length])).toEqual([
      ['b', 120],
      ['c', 2],
    ])
  })

  it('goes out by itself when the channel connects', async () => {
    // What the core feature's install sets up.
    const stop = flushQueueOnConnect()
    try {
      useSendQueueStore().enqueue(completion('d'))
      await standIn.disconnect('transport')
      await eventually('the queue sent', () => useSendQueueStore().entries.length === 0, 8_000)
      expect(await standIn.messages('completeDocument')).toHaveLength(1)
    } finally {
      stop()
    }
  })
})

// keep the storage key spelled as the page stores it
it('stores the queue under zv_send_queue', () => {
  installMemoryStorage()
  enqueueCompletion(completion('x'), 5)
  expect(readLocal(SEND_QUEUE_KEY)).toEqual([expect.objectContaining({ id: 'x-5', documentId: 'x', attempts: 0, queuedAt: 5 })])
  writeLocal(SEND_QUEUE_KEY, [])
})
