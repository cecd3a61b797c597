import { describe, expect, it } from 'vitest'
import type { Payload } from '../core/envelope'
import { createBackend, DEMO_TOKEN } from './backend'
import { accountDocuments } from './documents'
import { changeProduct, deleteProduct, generatedBarcode, seedCatalogue } from './reference'
import { demoSigner } from './tokens'

function demo() {
  let clock = Date.UTC(2026, 11, 1)
  const b = createBackend({ sign: demoSigner, now: () => clock })
  const identity = b.authenticate(DEMO_TOKEN)
  if ('error' in identity) throw new Error(identity.error)
  const conn = b.attach(identity, () => {})
  const ask = (p: Payload = {}) => b.handle(conn, 'assortmentSync', p)[0]!.p
  return { b, ask, tick: (ms = 1000) => (clock += ms), products: accountDocuments(b, 'acc-demo')!.products }
}

/** Every page of one run from `since`: the ids in order, the deletions and the last page's server time. */
function run(ask: (p: Payload) => Payload, since?: string, limit = 1000, between?: (page: number) => void) {
  const ids: string[] = []
  const deleted: unknown[] = []
  let cursor: unknown
  let page = 0
  let last: Payload = {}
  do {
    last = ask({ limit, ...(since ? { since } : {}), ...(cursor ? { cursor } : {}) })
    ids.push(...(last.items as Array<{ assortmentId: string }>).map((i) => i.assortmentId))
    deleted.push(...(last.deleted as unknown[]))
    cursor = last.cursor
    page += 1
    between?.(page)
  } while (cursor)
  return { ids, deleted, serverTime: last.serverTime as string, pages: page }
}

const checkDigitOk = (code: string) => {
  const digits = [...code].map(Number)
  const sum = digits.slice(0, 12).reduce((acc, d, i) => acc + d * (i % 2 === 0 ? 1 : 3), 0)
  return /^\d{13}$/.test(code) && (10 - (sum % 10)) % 10 === digits[12]
}

describe('assortmentSync', () => {
  it('a full run pages through every product once, with the fields the copy keeps', () => {
    const { ask, products } = demo()
    const { ids, pages, serverTime } = run(ask, undefined, 25)
    expect(new Set(ids).size).toBe(products.size)
    expect(ids.length).toBe(products.size)
    expect(pages).toBe(Math.ceil(products.size / 25))
    expect(Date.parse(serverTime)).not.toBeNaN()
    const first = ask({ limit: 1 }).items as Payload[]
    const p = products.get(first[0]!.assortmentId as string)!
    expect(first[0]).toEqual({
      assortmentId: p.id,
      name: p.name,
      code: p.code,
      article: p.article,
      barcodes: p.barcodes,
      markable: p.markable,
      updatedAt: expect.stringMatching(/^\d{4}-\d\d-\d\dT/),
    })
  })

  it('an incremental run brings the products changed and deleted since, and nothing else', () => {
    const { b, ask, tick } = demo()
    seedCatalogue(b, 'acc-demo', 50)
    const { serverTime } = run(ask)
    tick()
    changeProduct(b, 'acc-demo', 'gen-000007', { name: 'Новое имя' })
    deleteProduct(b, 'acc-demo', 'gen-000008')
    const next = run(ask, serverTime)
    expect(next.ids).toEqual(['gen-000007'])
    expect(next.deleted).toEqual(['gen-000008'])
    expect(run(ask, next.serverTime)).toMatchObject({ ids: [], deleted: [] })
  })

  it('a product changed while a run pages through still comes in that run', () => {
    const { b, ask, tick } = demo()
    seedCatalogue(b, 'acc-demo', 100)
    const { ids } = run(ask, undefined, 40, (page) => {
      if (page !== 1) return
      tick()
      changeProduct(b, 'acc-demo', 'gen-000001', { name: 'изменен во время подкачки' })
    })
    expect(ids.filter((id) => id === 'gen-000001').length).toBeGreaterThanOrEqual(1)
    expect(ids.at(-1)).toBe('gen-000001')
  })

  it.each([
    ['a cursor it never gave', { cursor: 'garbage' }, 'invalid'],
    ['a since that is no time', { since: 'вчера' }, 'invalid'],
  ])('refuses %s', (_what, p, errorCode) => {
    expect(demo().ask(p)).toMatchObject({ errorCode })
  })

  it('refuses an account without the product reference and a connection that is not signed in', () => {
    const b = createBackend({ sign: demoSigner })
    const { token } = b.openSession('u-sveta')
    const identity = b.authenticate(token)
    if ('error' in identity) throw new Error(identity.error)
    const ask = (conn: ReturnType<typeof b.attach>) => b.handle(conn, 'assortmentSync', {})[0]!.p
    expect(ask(b.attach(identity, () => {}))).toMatchObject({ errorCode: 'assortment-off' })
    expect(ask(b.attach({ kind: 'guest', token: '' }, () => {}))).toEqual({ error: 'session not authorized' })
  })
})

describe('the catalogue generator', () => {
  it('makes unique EAN-13 barcodes with valid check digits, some with a leading zero, some products marked', () => {
    const { b, products } = demo()
    const before = products.size
    seedCatalogue(b, 'acc-demo', 2_000)
    const generated = [...products.values()].filter((p) => p.id.startsWith('gen-'))
    expect(generated).toHaveLength(2_000)
    expect(products.size).toBe(before + 2_000)
    const codes = generated.flatMap((p) => p.barcodes)
    expect(codes.every(checkDigitOk)).toBe(true)
    expect(new Set([...products.values()].flatMap((p) => p.barcodes)).size).toBe([...products.values()].flatMap((p) => p.barcodes).length)
    expect(codes.filter((c) => c.startsWith('0')).length).toBe(200)
    const marked = generated.filter((p) => p.markable).length
    expect(marked).toBeGreaterThan(200)
    expect(marked).toBeLessThan(1_000)
    expect(generatedBarcode(3)).toBe(generated[2]!.barcodes[0])
  })

  it('seeding again to a smaller size deletes the rest, which an incremental run reports', () => {
    const { b, ask, tick } = demo()
    seedCatalogue(b, 'acc-demo', 10)
    const { serverTime } = run(ask)
    tick()
    expect(seedCatalogue(b, 'acc-demo', 8, 2).map((p) => p.id)).toEqual(['gen-000001', 'gen-000002'])
    expect(run(ask, serverTime)).toMatchObject({ ids: [], deleted: ['gen-000009', 'gen-000010'] })
  })

  it('refuses to delete a product that a document lists', () => {
    const { b, products } = demo()
    const doc = [...accountDocuments(b, 'acc-demo')!.byId.values()][0]!
    expect(() => deleteProduct(b, 'acc-demo', doc.positions[0]!.productId)).toThrow(/is in document/)
    expect(products.has(doc.positions[0]!.productId)).toBe(true)
    expect(() => seedCatalogue(b, 'acc-demo', -1)).toThrow(/size/)
  })
})
