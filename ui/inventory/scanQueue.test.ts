import { describe, expect, it } from 'vitest'
import { applyFailure, applyReply, backoffMs, flushDue, makeScan, nextBatch, splitBatch, type QueuedScan } from './scanQueue'
import { normaliseCounters, normaliseQty, normaliseSession } from './records'

let n = 0
const scan = (over: Partial<QueuedScan> = {}): QueuedScan => {
  n += 1
  return { scanUid: `u${n}`, code: `C${n}`, codeNorm: `C${n}`, source: 'scanner', qty: 1, scannedAt: new Date(1_000_000 + n * 1000).toISOString(), note: '', cellId: null, userId: 'w1', attempts: 0, lastAttemptAt: 0, ...over }
}
const many = (k: number, over: Partial<QueuedScan> = {}) => Array.from({ length: k }, () => scan(over))
const ctx = { sessionOpen: true, userId: 'w7', now: new Date('2026-01-01T00:00:00Z'), uid: () => 'uid-1' }

describe('adding a scan', () => {
  it.each([
    ['a'.repeat(255), null],
    ['a'.repeat(256), 'Код длиннее 255 символов'],
    ['   ', 'Код не может быть пустым'],
    [`  ${'b'.repeat(255)}  `, null],
  ])('code of %#', (code, error) => {
    const r = makeScan({ code }, ctx)
    expect(r.ok ? null : r.error).toBe(error)
    if (r.ok) expect(r.scan).toMatchObject({ code: code.trim(), codeNorm: code.trim(), qty: 1, attempts: 0, lastAttemptAt: 0, userId: 'w7' })
  })
  it('is refused in a closed session', () => {
    expect(makeScan({ code: 'X' }, { ...ctx, sessionOpen: false })).toEqual({ ok: false, error: 'Инвентаризация закрыта — новые сканы не принимаются' })
  })
})

describe('flush timing', () => {
  it.each([
    ['19 waiting, 1 s after the last flush', 19, 1000, false],
    ['20th scan flushes at once', 20, 1000, true],
    ['one waiting, 5 s after the last flush', 1, 5000, true],
    ['nothing waiting', 0, 60000, false],
  ])('%s', (_n, count, since, due) => {
    expect(flushDue(many(count), { nowMs: 100_000, lastFlushAt: 100_000 - since })).toBe(due)
  })
  it.each([
    [1, 999, false], [1, 1000, true], [3, 4999, false], [3, 5000, true], [4, 15000, true],
    [5, 59999, false], [5, 60000, true], [9, 59999, false], [9, 60000, true],
  ])('after %i failed attempts, %i ms later: due %s', (attempts, since, due) => {
    const now = 1_000_000
    expect(flushDue([scan({ attempts, lastAttemptAt: now - since })], { nowMs: now, lastFlushAt: 0 })).toBe(due)
  })
  it('back-off schedule', () => expect([1, 2, 3, 4, 5, 6, 50].map(backoffMs)).toEqual([1000, 2000, 5000, 15000, 60000, 60000, 60000]))
  it('rejected scans do not count as waiting', () => {
    expect(flushDue(many(25, { rejected: true }), { nowMs: 1e6, lastFlushAt: 1e6 })).toBe(false)
  })
})

describe('batches and replies', () => {
  it('130 waiting scans go out as 100 now and 30 on the next flush', () => {
    const queue = many(130).reverse()
    const first = nextBatch(queue)
    expect(first).toHaveLength(100)
    expect(first[0]!.scannedAt <= first[99]!.scannedAt).toBe(true)
    const after = applyReply(queue, first, { rejected: [] })
    expect(after.queue).toHaveLength(30)
    expect(nextBatch(after.queue)).toHaveLength(30)
  })
  it.each([
    ['uids', (u: string) => u],
    ['scanUid records', (u: string) => ({ scanUid: u })],
    ['scan_uid records', (u: string) => ({ scan_uid: u })],
  ])('rejected as %s stay marked', (_n, shape) => {
    const queue = many(3)
    const r = applyReply(queue, queue, { rejected: [shape(queue[1]!.scanUid)] })
    expect(r.queue).toEqual([{ ...queue[1], rejected: true, error: 'Сервер не принял скан' }])
    expect(r.accepted).toBe(2)
    expect(r.note).toBe('Не удалось сохранить сканов: 1. Проверьте код и добавьте заново')
  })
})

describe('failed batches', () => {
  it('a closed session keeps its undelivered scans and counts them', () => {
    const queue = many(4)
    for (const code of ['session-closed', 'already-closed']) expect(applyFailure(queue, queue, { code }, 0)).toEqual({ kind: 'closed', undelivered: 4 })
  })
  it.each([[undefined], ['storage-busy'], ['internal']])('%s only counts the attempt', (code) => {
    const queue = many(3)
    const r = applyFailure(queue, queue.slice(0, 2), { code }, 42)
    expect(r.kind).toBe('retry')
    if (r.kind !== 'retry') return
    expect(r.queue.map((s) => [s.attempts, s.lastAttemptAt, s.rejected ?? false])).toEqual([[1, 42, false], [1, 42, false], [0, 0, false]])
  })
  it('a batch refused for one bad scan is split until the scan is isolated', () => {
    let queue = many(5)
    const bad = queue[3]!.scanUid
    const send = (batch: QueuedScan[]) => (batch.some((s) => s.scanUid === bad) ? { code: 'bad-request', message: 'Не получилось прочитать скан — проверьте код' } : null)
    const pending = [nextBatch(queue)]
    while (pending.length) {
      const batch = pending.shift()!
      const failure = send(batch)
      if (!failure) { queue = applyReply(queue, batch, {}).queue; continue }
      const r = applyFailure(queue, batch, failure, 9)
      if (r.kind === 'split') pending.unshift(...splitBatch(batch))
      else if (r.kind === 'retry') queue = r.queue
    }
    expect(queue).toHaveLength(1)
    expect(queue[0]).toMatchObject({ scanUid: bad, rejected: true, error: 'Не получилось прочитать скан — проверьте код', attempts: 1 })
  })
  it.each([
    ['its uid', (s: QueuedScan) => s.scanUid],
    ['a scanUid record', (s: QueuedScan) => ({ scanUid: s.scanUid })],
    ['its code', (s: QueuedScan) => ({ code: s.code })],
  ])('a failure that names the scan at fault by %s sets exactly that scan aside, no split', (_n, name) => {
    const queue = many(6)
    const r = applyFailure(queue, queue, { code: 'bad-request', message: 'Не получилось прочитать скан — проверьте код', wrong: [name(queue[2]!)] }, 5)
    expect(r.kind).toBe('retry')
    if (r.kind !== 'retry') return
    expect(r.queue.filter((s) => s.rejected).map((s) => s.scanUid)).toEqual([queue[2]!.scanUid])
    expect(r.queue.filter((s) => !s.rejected).every((s) => s.attempts === 0)).toBe(true)
    expect(nextBatch(r.queue)).toHaveLength(5)
  })
  it('a failure naming no scan of the batch splits it', () => {
    const queue = many(4)
    expect(applyFailure(queue, queue, { code: 'bad-request', wrong: ['someone-else'] }, 5)).toEqual({ kind: 'split' })
  })
})

describe('records', () => {
  it.each([[0, 1], [-3, 1], [undefined, 1], [2.7, 2], [5, 5]])('qty %s reads as %i', (raw, qty) => expect(normaliseQty(raw)).toBe(qty))
  it('session defaults and dropping', () => {
    expect(normaliseSession({ name: 'x' })).toBeNull()
    expect(normaliseSession({ id: 3, status: 'weird', counters: { scans: 2, registry: { not_found: 4 } } })).toMatchObject({
      id: 3, name: 'Инвентаризация 3', status: 'open', closedAt: null, counters: { scans: 2, units: 0, registry: { notFound: 4, queued: 0 } },
    })
    expect(normaliseCounters({ scans: -1, units: 'x' })).toMatchObject({ scans: 0, units: 0 })
  })
})
