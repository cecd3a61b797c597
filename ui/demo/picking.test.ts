import { describe, expect, it } from 'vitest'
import type { Payload } from '../core/envelope'
import { createBackend, DEMO_TOKEN, type MemoryBackend } from './backend'
import { accountDocuments } from './documents'
import { largeDocumentBarcode, MARK_STATUS_BY_LETTER, sampleMark, seedLargeDocument } from './picking'
import { demoSigner } from './tokens'

function connect(b: MemoryBackend, token: string) {
  const identity = b.authenticate(token)
  if ('error' in identity) throw new Error(identity.error)
  const conn = b.attach(identity, () => {})
  return (c: string, p: Payload = {}) => b.handle(conn, c, p).map((r) => r.p)
}

function demo() {
  const b = createBackend({ sign: demoSigner })
  const ask = connect(b, DEMO_TOKEN)
  const docs = accountDocuments(b, 'acc-demo')!
  const doc = [...docs.byId.values()].find((d) => d.positions.length >= 2)!
  const product = docs.products.get(doc.positions[0]!.productId)!
  return { b, ask, docs, doc, product }
}

describe('barcodeCheck', () => {
  it('finds a product of the account by barcode, by barcode without leading zeros and by code', () => {
    const { ask, product } = demo()
    const found = { found: true, name: product.name, article: product.article }
    expect(ask('barcodeCheck', { barcode: product.barcodes[0] })).toEqual([found])
    expect(ask('barcodeCheck', { barcode: `000${product.barcodes[0]}` })).toEqual([found])
    expect(ask('barcodeCheck', { barcode: product.code })).toEqual([found])
    expect(ask('barcodeCheck', { barcode: '1111111111116' })).toEqual([{ found: false, name: '', article: '' }])
    expect(ask('barcodeCheck', {})).toEqual([{ found: false, error: 'barcode is required', errorCode: 'invalid' }])
  })
})

describe('position edits', () => {
  it('a quantity above the order needs confirmOver; later edits compare with the first ordered quantity', () => {
    const { ask, doc } = demo()
    const pos = doc.positions[0]!
    const ordered = pos.quantity
    const base = { documentId: doc.id, type: doc.type, positionId: pos.productId }
    expect(ask('documentPositionQuantity', { ...base, quantity: ordered + 1 })[0]).toMatchObject({ errorCode: 'confirm-required' })
    expect(ask('documentPositionQuantity', { ...base, quantity: ordered + 1, confirmOver: true })).toEqual([{ ok: true, positionId: pos.productId, quantity: ordered + 1 }])
    expect(ask('documentPositionQuantity', { ...base, quantity: ordered + 0.5 })[0]).toMatchObject({ errorCode: 'confirm-required' })
    expect(ask('documentPositionQuantity', { ...base, quantity: ordered })[0]).toMatchObject({ ok: true })
    expect(pos.quantity).toBe(ordered)
  })

  it.each<[string, Payload, string]>([
    ['an unknown document', { documentId: 'nope', positionId: 'x', quantity: 1 }, 'not-found'],
    ['an unknown position', { positionId: 'nope', quantity: 1 }, 'not-found'],
    ['a quantity of zero', { quantity: 0 }, 'invalid'],
    ['a quantity that is no number', { quantity: '2' }, 'invalid'],
  ])('refuses %s', (_what, patch, code) => {
    const { ask, doc } = demo()
    const p = { documentId: doc.id, type: doc.type, positionId: doc.positions[0]!.productId, ...patch }
    expect(ask('documentPositionQuantity', p)[0]).toMatchObject({ errorCode: code })
  })

  it('deletes a position; with roles the permission "editQuantity" is needed', () => {
    const { b, ask, doc } = demo()
    const first = doc.positions[0]!.productId
    expect(ask('documentPositionDelete', { documentId: doc.id, type: doc.type, positionId: first })).toEqual([{ ok: true, positionId: first }])
    expect(doc.positions.some((p) => p.productId === first)).toBe(false)
    // Igor collects in an account with roles and has no "editQuantity".
    const igor = connect(b, b.openSession('u-igor').token)
    const theirs = [...accountDocuments(b, 'acc-lesnaya')!.byId.values()][0]!
    const p = { documentId: theirs.id, type: theirs.type, positionId: theirs.positions[0]!.productId }
    expect(igor('documentPositionDelete', p)[0]).toMatchObject({ errorCode: 'forbidden' })
  })
})

describe('checkMarks', () => {
  it('answers marks in every status by the first letter of the serial; "N" goes unanswered', () => {
    const { ask, product } = demo()
    const letters = Object.keys(MARK_STATUS_BY_LETTER)
    const codes = [...letters, 'G'].map((l) => sampleMark(product, `${l}x12345`))
    const [answer] = ask('checkMarks', { codes })
    const results = (answer as { results: Array<Payload> }).results
    expect(results.map((r) => r.code)).toEqual(codes.filter((c) => !c.includes('21Nx')))
    expect(results.find((r) => r.code === codes[letters.indexOf('R')])).toMatchObject({ ok: false, status: 'RETIRED' })
    expect(results.at(-1)).toMatchObject({ ok: true, status: 'IN_CIRCULATION', ownedByUs: true })
    expect(ask('checkMarks', { codes: [sampleMark(product, 'Nx1')] })).toEqual([])
  })
})

describe('a large document', () => {
  it('has distinct products with their own barcodes and is found by its id', () => {
    const b = createBackend({ sign: demoSigner })
    const doc = seedLargeDocument(b, 'acc-demo', 5_000)
    const docs = accountDocuments(b, 'acc-demo')!
    expect(doc.positions).toHaveLength(5_000)
    expect(new Set(doc.positions.map((p) => p.productId)).size).toBe(5_000)
    expect(docs.products.get(doc.positions[41]!.productId)!.barcodes).toEqual([largeDocumentBarcode(42)])
    expect(seedLargeDocument(b, 'acc-demo', 5_000)).toBe(doc)
    const ask = connect(b, DEMO_TOKEN)
    const pages = ask('subscribeDocument', { documentId: doc.id, type: 'shipment' })
    expect(pages.reduce((n, p) => n + (p.items as unknown[]).length, 0)).toBe(5_000)
  })
})

describe('the 120-line sample shipment', () => {
  it('has one product on lines 2 and 118 (1 and 3 items), each a line of its own in the contents', () => {
    const b = createBackend({ sign: demoSigner })
    const doc = accountDocuments(b, 'acc-demo')!.byType.get('shipment')!.find((d) => d.positions.length === 120)!
    const [second, other] = [doc.positions[1]!, doc.positions[117]!]
    expect(other.productId).toBe(second.productId)
    expect([second.quantity, other.quantity]).toEqual([1, 3])
    expect(doc.positions.filter((p) => p.productId === second.productId)).toHaveLength(2)
    const pages = connect(b, DEMO_TOKEN)('subscribeDocument', { documentId: doc.id, type: 'shipment' })
    const items = pages.flatMap((p) => p.items as Array<{ id: string; quantity: number }>)
    expect(items.filter((i) => i.id === second.productId).map((i) => i.quantity)).toEqual([1, 3])
  })
})
