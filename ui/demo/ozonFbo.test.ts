import { describe, expect, it } from 'vitest'
import type { Payload } from '../core/envelope'
import { createBackend, type MemoryBackend } from './backend'
import { addFboSupply, failFbo, fboState } from './ozonFbo'
import { demoSigner } from './tokens'
import { deviceAsk } from './testing/deviceAsk'

function seller(userId = 'u-oleg'): { b: MemoryBackend; ask: (c: string, p?: Payload) => Payload } {
  const b = createBackend({ sign: demoSigner })
  return { b, ask: deviceAsk(b, userId) }
}

type Row = { supplyId: string; orderId: string; bundleId: string; stateText: string }
const rows = (ask: (c: string, p?: Payload) => Payload) => ask('ozonFboSupplies').supplies as Row[]

describe('the stand-in Ozon FBO supplies', () => {
  it('lists the shop\'s supplies; an account without an Ozon shop is not configured', () => {
    const { ask } = seller()
    expect(rows(ask).length).toBeGreaterThanOrEqual(6)
    expect(rows(ask)[0]).toMatchObject({ storeTitle: 'Мастерская на Ozon', clientId: '1048576', state: 'assembly', stateText: 'Заполнение данных', cargoCount: 0 })
    expect(seller('u-anna').ask('ozonFboSupplies')).toEqual({ supplies: [], configured: false })
  })

  it('a supply of 600 rows sends 500 of them and refuses a content change', () => {
    const { b, ask } = seller()
    const big = fboState(b, 'acc-master').supplies.find((x) => x.items.length === 600)!
    const page = ask('ozonFboSupply', { orderId: big.orderId, supplyId: big.supplyId })
    expect(page).toMatchObject({ itemsCount: 600, itemsShown: 500, canEditContent: true })
    expect((page.items as unknown[]).length).toBe(500)
    expect(ask('ozonSupplyContent', { orderId: big.orderId, supplyId: big.supplyId, items: [] })).toMatchObject({ errorCode: 'bad-request' })
    expect(ask('ozonSupplyItems', { supplyId: big.supplyId, bundleId: big.bundleId })).toMatchObject({ itemsCount: 600, itemsShown: 500 })
  })

  it('saves content, then cargo places added to the existing ones; the supply is ready once everything is laid out', () => {
    const { b, ask } = seller()
    const x = addFboSupply(b, 'acc-master')
    const [a, c] = x.items
    const ids = { orderId: x.orderId, supplyId: x.supplyId }
    expect(ask('ozonSupplyContent', { ...ids, items: [{ sku: a!.sku, quantity: 3, quant: 1 }, { sku: c!.sku, quantity: 1, quant: 1 }] })).toEqual({ saved: true })
    expect(ask('ozonSupplyLabel', { supplyId: x.supplyId })).toMatchObject({ errorCode: 'no-cargoes' })
    const line = (i: typeof a, quantity: number) => ({ barcode: i!.barcode, offerId: i!.offerId, quantity, quant: 1 })
    expect(ask('ozonCargoesCreate', { supplyId: x.supplyId, deleteCurrent: true, cargoes: [{ key: 'box-1', type: 'BOX', items: [line(a, 2)] }] })).toEqual({ saved: true })
    // Declaring the same pieces again on top of box 1 is refused.
    expect(ask('ozonCargoesCreate', { supplyId: x.supplyId, deleteCurrent: false, cargoes: [{ key: 'box-2', type: 'BOX', items: [line(a, 3), line(c, 1)] }] }))
      .toMatchObject({ errorCode: 'bad-request' })
    expect(ask('ozonCargoesCreate', { supplyId: x.supplyId, deleteCurrent: false, cargoes: [{ key: 'box-2', type: 'BOX', items: [line(a, 1), line(c, 1)] }] })).toEqual({ saved: true })
    const page = ask('ozonFboSupply', ids)
    expect(page).toMatchObject({ stage: 'ready', cargoCount: 2, cargoes: { count: 2 }, blockers: [] })
    expect(ask('ozonSupplyLabel', { supplyId: x.supplyId }).labelUrl).toBe(`/labels/ozon/fbo/cargo-${x.supplyId}.pdf`)
    expect(ask('ozonSupplyProductLabels', { supplyId: x.supplyId, bundleId: x.bundleId }).labelUrl).toBe(`/labels/ozon/fbo/products-${x.supplyId}.pdf`)
  })

  it('refuses as told: a fault for the next answers, cargo labels not ready for a number of requests', () => {
    const { b, ask } = seller()
    failFbo(b, 'acc-master', 'ozonFboSupplies', { errorCode: 'ozon-rate-limited', retryAfter: 9 }, 2)
    expect(ask('ozonFboSupplies')).toEqual({ errorCode: 'ozon-rate-limited', retryAfter: 9 })
    expect(ask('ozonFboSupplies')).toMatchObject({ errorCode: 'ozon-rate-limited' })
    expect(ask('ozonFboSupplies')).toHaveProperty('supplies')
    const ready = fboState(b, 'acc-master').supplies.find((x) => x.stage === 'ready')!
    ready.labelDelay = 1
    expect(ask('ozonSupplyLabel', { supplyId: ready.supplyId })).toEqual({ errorCode: 'label-not-ready', retryAfterSec: 3 })
    expect(ask('ozonSupplyLabel', { supplyId: ready.supplyId })).toHaveProperty('labelUrl')
    expect(ask('ozonCargoesCreate', { supplyId: fboState(b, 'acc-master').supplies.find((x) => x.stage === 'transit')!.supplyId, cargoes: [] }))
      .toMatchObject({ errorCode: 'cargoes-locked' })
  })
})
