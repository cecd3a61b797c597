import { describe, expect, it } from 'vitest'
import type { Payload } from '../core/envelope'
import { createBackend, type MemoryBackend } from './backend'
import { completionState } from './completion'
import { accountDocuments } from './documents'
import { releaseLog } from './roles'
import { demoSigner } from './tokens'

function connect(b: MemoryBackend, userId: string) {
  const identity = b.authenticate(b.openSession(userId).token)
  if ('error' in identity) throw new Error(identity.error)
  const conn = b.attach(identity, () => {})
  const all = (c: string, p: Payload = {}) => b.handle(conn, c, p).map((r) => r.p)
  return { all, one: (c: string, p: Payload = {}) => all(c, p)[0]! }
}

function lesnaya() {
  let now = Date.UTC(2026, 11, 10, 9, 0)
  const b = createBackend({ sign: demoSigner, now: () => now })
  const egor = connect(b, 'u-egor')
  const vera = connect(b, 'u-vera')
  const anna = connect(b, 'u-anna')
  const shipments = accountDocuments(b, 'acc-lesnaya')!.byType.get('shipment')!
  const doc = shipments.find((d) => d.inFilter && d.status === 'pending' && d.positions.length >= 2 && new Set(d.positions.map((p) => p.productId)).size === d.positions.length)!
  const ids = { documentId: doc.id, type: 'shipment' }
  const listed = (who: ReturnType<typeof connect>, stage: string[]) =>
    who.all('getDocumentList', { type: 'shipment', stage }).flatMap((p) => p.items as Payload[]).find((d) => d.id === doc.id)
  return { b, egor, vera, anna, doc, ids, listed, tick: (ms: number) => (now += ms) }
}

describe('the two-person check in the in-memory backend', () => {
  it('a collector and a checker on two devices see each other\'s work, and an administrator reopens it', () => {
    const { b, egor, vera, anna, doc, ids, listed, tick } = lesnaya()
    const [first, second] = doc.positions
    expect(listed(egor, ['new', 'collecting'])).toMatchObject({ stage: 'new' })

    expect(egor.one('documentStart', ids)).toEqual({
      documentId: doc.id,
      stage: 'collecting',
      collector: { id: 'u-egor', name: 'Егор Лукин' },
      startedAt: '2026-12-10T09:00:00.000Z',
    })
    expect(vera.one('documentStart', ids)).toMatchObject({ errorCode: 'taken', collector: { name: 'Егор Лукин' } })
    expect(listed(vera, ['collected'])).toBeUndefined()

    tick(20 * 60_000)
    const collected = [
      { positionId: first!.productId, quantity: first!.quantity, marks: [], ordered: first!.quantity },
      { positionId: second!.productId, quantity: second!.quantity - 1, marks: [], ordered: second!.quantity, shortfall: { reason: 'брак', comment: 'упаковка' } },
      ...doc.positions.slice(2).map((p) => ({ positionId: p.productId, quantity: p.quantity, marks: [], ordered: p.quantity })),
    ]
    expect(egor.one('completeDocument', { ...ids, page: 1, final: true, items: collected, timeline: {}, role: 'collector' })).toEqual({ accepted: true, stage: 'collected' })

    expect(listed(vera, ['collected'])).toMatchObject({ stage: 'collected', collector: { id: 'u-egor', name: 'Егор Лукин' }, collectedAt: '2026-12-10T09:20:00.000Z' })
    const contents = vera.all('subscribeDocument', ids).flatMap((p) => p.items as Payload[])
    expect(contents.find((i) => i.id === second!.productId)).toMatchObject({
      quantity: second!.quantity,
      collectedQuantity: second!.quantity - 1,
      collectorShortfall: { reason: 'брак', comment: 'упаковка' },
    })
    expect(contents.find((i) => i.id === first!.productId)).toMatchObject({ collectedQuantity: first!.quantity })
    expect(contents.find((i) => i.id === first!.productId)).not.toHaveProperty('collectorShortfall')

    tick(10 * 60_000)
    const checked = collected.map((i) =>
      i.positionId === second!.productId ? { ...i, quantity: i.quantity - 1, disputed: true, shortfall: undefined } : { ...i, shortfall: undefined },
    )
    expect(vera.one('completeDocument', { ...ids, page: 1, final: true, items: checked, timeline: {}, role: 'checker', boxes: 2 })).toEqual({ accepted: true, stage: 'checked' })
    expect(vera.one('documentStageGet', ids)).toEqual({
      documentId: doc.id,
      stage: 'checked',
      collector: 'Егор Лукин',
      checker: 'Вера Соколова',
      collectorId: 'u-egor',
      checkerId: 'u-vera',
      checking: '',
      boxes: 2,
      shortfalls: 1,
      startedAt: '2026-12-10T09:00:00.000Z',
      collectedAt: '2026-12-10T09:20:00.000Z',
      checkedAt: '2026-12-10T09:30:00.000Z',
    })
    expect(listed(egor, [])).toMatchObject({ stage: 'checked', shortfalls: [{ disputed: true, checker: { name: 'Вера Соколова' } }] })
    expect(egor.all('subscribeDocument', ids).flatMap((p) => p.items as Payload[]).find((i) => i.id === second!.productId)).toMatchObject({
      checkedQuantity: second!.quantity - 2,
      checkerShortfall: { reason: '', comment: '', disputed: true },
    })

    expect(egor.one('documentReopen', ids)).toMatchObject({ errorCode: 'forbidden' })
    expect(anna.one('documentReopen', ids)).toEqual({ documentId: doc.id, stage: 'new', runsReopened: 0, checkCleared: true, stateRestored: 'Новый', sent: false })
    expect(anna.one('documentReopen', ids)).toMatchObject({ errorCode: 'nothing-to-reopen' })
    expect(listed(egor, ['new'])).toEqual(expect.objectContaining({ stage: 'new', status: 'pending' }))
    expect(listed(egor, ['new'])).not.toHaveProperty('collector')
    // The completions stay on record with their roles, reasons, dispute and boxes.
    expect(completionState(b).done.map((d) => [d.userId, d.role, d.boxes])).toEqual([
      ['u-egor', 'collector', undefined],
      ['u-vera', 'checker', 2],
    ])
  })

  it('release: the collector himself or an allowed checker; an automatic one is noted; wrong stages are refused', () => {
    const { b, egor, vera, anna, ids, doc } = lesnaya()
    expect(egor.one('documentRelease', ids)).toMatchObject({ errorCode: 'wrong-stage', stage: 'new' })
    egor.one('documentStart', ids)
    expect(vera.one('documentRelease', ids)).toMatchObject({ errorCode: 'forbidden' })
    expect(egor.one('documentRelease', { ...ids, auto: true })).toEqual({ documentId: doc.id, stage: 'new' })
    egor.one('documentStart', ids)
    expect(anna.one('documentRelease', { ...ids, reason: '  обед  ' })).toEqual({ documentId: doc.id, stage: 'new' })
    expect(releaseLog(b)).toEqual([
      { documentId: doc.id, userId: 'u-egor', auto: true },
      { documentId: doc.id, userId: 'u-anna', reason: 'обед', auto: false },
    ])
    expect(egor.one('documentStart', { documentId: 'nope', type: 'shipment' })).toMatchObject({ errorCode: 'not-found' })
  })

  it('roles settings: the seed block, saved by the administrator only, normalised', () => {
    const { egor, anna } = lesnaya()
    expect(egor.one('accountSettingsGet', { blocks: ['roles'] }).roles).toMatchObject({
      shortfallReasons: ['нет на складе', 'брак', 'пересорт', 'не нашел', 'другое'],
      requireBoxes: true,
      allowCheckOwn: false,
    })
    expect(egor.one('accountSettingsGet', { blocks: ['ozon'] })).toEqual({})
    expect(egor.one('accountSettingsSet', { roles: { allowCheckOwn: true } })).toMatchObject({ errorCode: 'forbidden' })
    expect(anna.one('accountSettingsSet', { roles: { allowCheckOwn: true, releaseReasons: [' обед '] } }).roles).toMatchObject({ allowCheckOwn: true, releaseReasons: ['обед'], requireBoxes: false })
    expect(egor.one('accountSettingsGet', { blocks: ['roles'] }).roles).toMatchObject({ allowCheckOwn: true })
  })
})

describe('a result of the check in the in-memory backend', () => {
  /** The shipment collected short by Егор: one product one short, with the reason «брак». */
  function collectedShort() {
    const l = lesnaya()
    const [first, second] = l.doc.positions
    const items = (extra: Payload = {}) => [
      { positionId: first!.productId, quantity: first!.quantity, marks: [], ordered: first!.quantity },
      { positionId: second!.productId, quantity: second!.quantity - 1, marks: [], ordered: second!.quantity, shortfall: { reason: 'брак', comment: '', ...extra } },
      ...l.doc.positions.slice(2).map((p) => ({ positionId: p.productId, quantity: p.quantity, marks: [], ordered: p.quantity })),
    ]
    l.egor.one('documentStart', l.ids)
    const page = { ...l.ids, page: 1, final: true, timeline: {}, role: 'collector', items: items(), completionId: 'c-egor', deviceId: 'd-egor' }
    expect(l.egor.one('completeDocument', page)).toEqual({ accepted: true, stage: 'collected' })
    return { ...l, items, collectorPage: page, second: second! }
  }

  it.each<[string, Payload, number, string]>([
    ['the same device sends the same result again', { completionId: 'c-egor', deviceId: 'd-egor' }, 1, 'collected'],
    ['a checker agrees, with the same counts', { role: 'checker', completionId: 'c-vera', deviceId: 'd-vera', by: { id: 'u-vera', name: 'Вера Соколова' } }, 2, 'checked'],
    ['a checker agrees, from an older client without ids', { role: 'checker', completionId: undefined, deviceId: undefined }, 2, 'checked'],
  ])('%s', (_name, change, kept, stage) => {
    const { b, egor, vera, doc, collectorPage, listed } = collectedShort()
    const who = change.role === 'checker' ? vera : egor
    const page: Payload = { ...collectorPage, ...change }
    for (const k of Object.keys(page)) if (page[k] === undefined) delete page[k]
    expect(who.one('completeDocument', page)).toMatchObject({ accepted: true, stage })
    expect(completionState(b).done.filter((d) => d.documentId === doc.id)).toHaveLength(kept)
    expect(listed(egor, [stage])).toMatchObject({ stage })
  })

  it('keeps what the checker confirmed and what he disputed, per row', () => {
    const { b, vera, doc, ids, items, second, listed } = collectedShort()
    const answer = vera.one('completeDocument', { ...ids, page: 1, final: true, timeline: {}, role: 'checker', boxes: 1, items: items({ confirmed: true }), completionId: 'c-vera', deviceId: 'd-vera' })
    expect(answer).toMatchObject({ accepted: true, stage: 'checked' })
    expect(listed(vera, ['checked'])).toMatchObject({ stage: 'checked' })
    expect(doc.check!.checkerShortfalls[second.productId]).toEqual({ reason: 'брак', comment: '', confirmed: true })
    expect(completionState(b).done.map((d) => [d.role, d.userId, d.completionId])).toEqual([
      ['collector', 'u-egor', 'c-egor'],
      ['checker', 'u-vera', 'c-vera'],
    ])
  })

  it('refuses a collector\'s result for a document another collector holds', () => {
    const { egor, anna, ids, doc } = lesnaya()
    egor.one('documentStart', ids)
    const items = doc.positions.map((p) => ({ positionId: p.productId, quantity: p.quantity, marks: [], ordered: p.quantity }))
    expect(anna.one('completeDocument', { ...ids, page: 1, final: true, timeline: {}, role: 'collector', items, completionId: 'c-anna', deviceId: 'd-anna' })).toMatchObject({
      accepted: false,
      errorCode: 'taken',
      collector: { id: 'u-egor', name: 'Егор Лукин' },
    })
    expect(doc.check?.collector?.id).toBe('u-egor')
  })
})
