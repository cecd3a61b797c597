import { describe, expect, it } from 'vitest'
import type { Payload } from '../core/envelope'
import { createBackend, type MemoryBackend } from './backend'
import { accountDocuments } from './documents'
import { demoSigner } from './tokens'
import { addWbTask, limitWb, wbState } from './wildberries'

function seller(userId = 'u-anna'): { b: MemoryBackend; ask: (c: string, p?: Payload) => Payload } {
  const b = createBackend({ sign: demoSigner })
  const identity = b.authenticate(b.openSession(userId).token)
  if ('error' in identity) throw new Error(identity.error)
  const conn = b.attach(identity, () => {})
  return { b, ask: (c, p = {}) => b.handle(conn, c, p)[0]!.p }
}

describe('the stand-in Wildberries seller', () => {
  it('a new task goes into assembly, then into a new supply; the next one joins that supply', () => {
    const { b, ask } = seller()
    const first = addWbTask(b, 'acc-lesnaya', { sellerId: '4021988' })
    const second = addWbTask(b, 'acc-lesnaya', { sellerId: '4021988' })
    expect(ask('wbOrders').items).toContainEqual(expect.objectContaining({ id: first.id, supplierStatus: 'new', shop: 'ИП Смирнова А. В.' }))
    expect(ask('wbOrderToSupply', { orderId: first.id })).toMatchObject({ errorCode: 'wb-order-conflict' })
    expect(ask('wbOrderConfirm', { orderId: first.id })).toEqual({ id: first.id, supplierStatus: 'confirm' })
    expect(ask('wbOrderConfirm', { orderId: first.id })).toMatchObject({ errorCode: 'wb-order-conflict' })
    const made = ask('wbOrderToSupply', { orderId: first.id, sellerId: '4021988' })
    expect(made).toMatchObject({ id: first.id, created: true, supplyId: expect.stringMatching(/^WB-GI-/) })
    ask('wbOrderConfirm', { orderId: second.id })
    expect(ask('wbOrderToSupply', { orderId: second.id })).toMatchObject({ created: false, supplyId: made.supplyId })
    expect(ask('wbOrderDetail', { orderId: first.id, sellerId: '4021117' })).toMatchObject({ errorCode: 'wb-order-not-found' })
  })

  it('rate limits apply to the named commands, as many times as asked, with their retryAfter', () => {
    const { b, ask } = seller()
    limitWb(b, 'acc-lesnaya', { commands: ['wbOrders'], retryAfter: '7.2', times: 2 })
    expect(ask('wbOrderDetail', { orderId: wbState(b, 'acc-lesnaya').tasks[0]!.id })).not.toHaveProperty('errorCode')
    expect(ask('wbOrders')).toEqual({ error: 'wb: too many requests', errorCode: 'wb-rate-limited', retryAfter: '7.2' })
    expect(ask('wbOrders')).toMatchObject({ errorCode: 'wb-rate-limited' })
    expect(ask('wbOrders')).toHaveProperty('items')
    limitWb(b, 'acc-lesnaya', {})
    expect(ask('wbSupplyQr', { supplyId: 'x' })).toEqual({ error: 'wb: too many requests', errorCode: 'wb-rate-limited' })
  })

  it('a shop that does not answer leaves the list partial; an account without shops is not configured', () => {
    const { b, ask } = seller()
    wbState(b, 'acc-lesnaya').down.add('4021988')
    const answer = ask('wbOrders')
    expect(answer).toMatchObject({ partial: true, shopErrors: [{ shop: 'ИП Смирнова А. В.', sellerId: '4021988' }] })
    expect((answer.items as Payload[]).every((t) => t.sellerId === '4021117')).toBe(true)
    expect(seller('u-oleg').ask('wbOrders')).toEqual({ items: [], shops: [], configured: false })
    expect(seller('u-oleg').ask('wbSticker', { orderId: 1 })).toMatchObject({ errorCode: 'wb-no-token' })
  })

  it('label answers: links on the file host, the shop printer when one is registered, refusals otherwise', () => {
    const { b, ask } = seller()
    const s = wbState(b, 'acc-lesnaya')
    const inSupply = s.tasks.find((t) => t.supplyId !== '')!
    const fresh = s.tasks.find((t) => t.supplyId === '')!
    expect(ask('wbSticker', { orderId: inSupply.id })).toEqual({ labelUrl: `/labels/wb/sticker-${inSupply.id}.pdf` })
    s.shops[0]!.printerId = 'p-1'
    expect(ask('wbSupplyQr', { supplyId: inSupply.supplyId })).toEqual({ labelUrl: `/labels/wb/supply-${inSupply.supplyId}.pdf`, printerId: 'p-1' })
    expect(ask('wbSticker', { orderId: fresh.id })).toMatchObject({ errorCode: 'wb-order-bad-request' })
    expect(ask('wbSticker', { documentId: 'doc-1' })).toMatchObject({ errorCode: 'wb-order-not-found' })
    expect(ask('wbProductLabel', { article: 'A 1', barcode: '123' })).toMatchObject({ errorCode: 'wb-order-bad-request' })
    expect(ask('wbProductLabel', { article: 'A 1', barcode: fresh.barcode })).toEqual({ labelUrl: `/labels/wb/product-${fresh.barcode}.pdf?article=A%201` })
  })

  it('an order that stands for a task: its sticker by document, the same task every time', () => {
    const { b, ask } = seller()
    const order = [...accountDocuments(b, 'acc-lesnaya')!.byId.values()].find((d) => d.marketplace === 'wb')!
    expect(order.searchCodes).toEqual([`WB-${order.postingNumber}`])
    const id = Number(order.postingNumber)
    expect(ask('wbSticker', { documentId: order.id })).toEqual({ labelUrl: `/labels/wb/sticker-${id}.pdf` })
    expect(ask('wbSticker', { documentId: order.id })).toEqual({ labelUrl: `/labels/wb/sticker-${id}.pdf` })
    expect(wbState(b, 'acc-lesnaya').tasks.filter((t) => t.id === id)).toEqual([expect.objectContaining({ supplierStatus: 'confirm', supplyId: 'WB-GI-10450001' })])
    const plain = [...accountDocuments(b, 'acc-lesnaya')!.byId.values()].find((d) => d.type === 'order' && !d.marketplace)!
    expect(ask('wbSticker', { documentId: plain.id })).toMatchObject({ errorCode: 'wb-order-not-found' })
  })
})
