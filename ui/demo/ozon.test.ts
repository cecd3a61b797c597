import { describe, expect, it } from 'vitest'
import type { Payload } from '../core/envelope'
import { createBackend, type MemoryBackend } from './backend'
import { addOzonPosting, announceOzonLabel, limitOzon, ozonState, setOzonShopPrinter } from './ozon'
import { demoSigner } from './tokens'

const ACCOUNT = 'acc-master'

/** A device of `userId` whose pushes are kept. */
function device(b: MemoryBackend, userId = 'u-oleg') {
  const identity = b.authenticate(b.openSession(userId).token)
  if ('error' in identity) throw new Error(identity.error)
  const pushes: Array<{ c: string; p: Payload }> = []
  const conn = b.attach(identity, (c, p) => pushes.push({ c, p }))
  return {
    pushes,
    all: (c: string, p: Payload = {}) => b.handle(conn, c, p).map((r) => r.p),
    ask: (c: string, p: Payload = {}) => b.handle(conn, c, p)[0]!.p,
  }
}

function seller() {
  const b = createBackend({ sign: demoSigner })
  return { b, desk: device(b) }
}

describe('the stand-in Ozon seller', () => {
  it('postings stand as shipment documents with source "ozon"; the other lists do not show them', () => {
    const { b, desk } = seller()
    const [page] = desk.all('getDocumentList', { type: 'shipment', pages: true, source: 'ozon' })
    const items = page!.items as Payload[]
    const s = ozonState(b, ACCOUNT)
    expect(items.map((d) => d.id)).toEqual(s.postings.map((p) => p.documentId))
    expect(items[0]).toMatchObject({ source: 'ozon', status: 'pending', ozonStatus: 'awaiting_packaging', clientId: '1048576', storeTitle: 'Мастерская на Ozon' })
    expect(page).toMatchObject({ final: true, ozonConfigured: true })
    const plain = desk.all('getDocumentList', { type: 'shipment', pages: true }).flatMap((p) => p.items as Payload[])
    expect(plain.some((d) => String(d.id).startsWith('ozon:'))).toBe(false)
    const contents = desk.all('subscribeDocument', { documentId: items[0]!.id })
    expect((contents[0]!.items as Payload[]).length).toBeGreaterThan(0)
    expect(device(b, 'u-anna').all('getDocumentList', { type: 'shipment', pages: true, source: 'ozon' })).toEqual([{ items: [], final: true, ozonConfigured: false }])
  })

  it('ship: awaiting_packaging moves on; anything else answers wrong-status', () => {
    const { b, desk } = seller()
    const posting = addOzonPosting(b, ACCOUNT)
    expect(desk.ask('ozonShip', { documentId: posting.documentId })).toEqual({})
    expect(posting.status).toBe('awaiting_deliver')
    expect(desk.ask('ozonShip', { documentId: posting.documentId })).toMatchObject({ errorCode: 'wrong-status' })
    expect(desk.ask('ozonPostings').postings).toContainEqual({ postingNumber: posting.postingNumber, status: 'awaiting_deliver', labelUrl: '' })
  })

  it('a label not ready for two requests is ready on the third; a pending one comes with labelReady.push', () => {
    const { b, desk } = seller()
    const late = addOzonPosting(b, ACCOUNT, { notReady: 2 })
    const ask = () => desk.ask('ozonLabel', { postingNumber: late.postingNumber })
    expect([ask(), ask()]).toEqual(Array(2).fill({ errorCode: 'label-not-ready', error: '', retryAfterSec: 1 }))
    expect(ask()).toEqual({ labelUrl: `/labels/ozon/posting-${late.postingNumber}.pdf` })

    const pending = addOzonPosting(b, ACCOUNT, { pending: true })
    expect(desk.ask('ozonLabel', { postingNumber: pending.postingNumber })).toEqual({ pending: true })
    expect(announceOzonLabel(b, ACCOUNT, pending.postingNumber)).toBe(1)
    expect(desk.pushes).toEqual([
      { c: 'labelReady.push', p: { documentId: pending.documentId, postingNumber: pending.postingNumber, labelUrl: `/labels/ozon/posting-${pending.postingNumber}.pdf` } },
    ])
    setOzonShopPrinter(b, ACCOUNT, pending.clientId, 'prn-1', 'Упаковка')
    expect(desk.ask('ozonLabel', { postingNumber: pending.postingNumber })).toMatchObject({ printerId: 'prn-1', printerLabel: 'Упаковка' })
  })

  it('rate limits apply to the named commands, as many times as asked, with their retryAfter', () => {
    const { b, desk } = seller()
    limitOzon(b, ACCOUNT, { commands: ['ozonPostings'], retryAfter: 8, times: 2 })
    expect(desk.ask('ozonLabel', { postingNumber: ozonState(b, ACCOUNT).postings[0]!.postingNumber })).not.toHaveProperty('errorCode', 'ozon-rate-limited')
    expect(desk.ask('ozonPostings')).toEqual({ errorCode: 'ozon-rate-limited', error: 'Ozon: 429 Too Many Requests', retryAfter: 8 })
    expect(desk.ask('ozonPostings')).toMatchObject({ errorCode: 'ozon-rate-limited' })
    expect(desk.ask('ozonPostings')).toHaveProperty('postings')
  })

  it('shops: keys checked, saved, listed without the key, deleted', () => {
    const { desk } = seller()
    expect(desk.ask('ozonCredentialsSave', { clientId: '777', apiKey: 'bad-key' })).toEqual({ saved: false, error: 'Ozon не принял ключи: Api-Key не подходит к Client-Id' })
    expect(desk.ask('ozonCredentialsSave', { clientId: '777', apiKey: 'k-1', title: 'Третий' })).toEqual({ saved: true })
    expect(desk.ask('ozonCredentialsCheck', { clientId: '777' })).toEqual({ valid: true })
    expect(desk.ask('ozonCredentialsList').shops).toContainEqual({ clientId: '777', title: 'Третий', enabled: true })
    expect(desk.ask('ozonCredentialsDelete', { clientId: '777' })).toEqual({ deleted: true })
    expect(desk.ask('ozonCredentialsDelete', { clientId: '777' })).toEqual({ deleted: false, error: 'Магазин не найден' })
  })

  it('a posting label for a shop printer goes through the relay to the registered desktop', () => {
    const { b, desk } = seller()
    const printer = device(b)
    const { printerId } = printer.ask('printerRegister', { name: 'raw', deviceId: 'dev-p', format: { widthMm: 75, heightMm: 120 } }) as { printerId: string }
    const posting = addOzonPosting(b, ACCOUNT)
    expect(desk.all('printOzonLabel', { documentId: posting.documentId })).toEqual([])
    expect(printer.pushes.filter((m) => m.c === 'printLabel.push').map((m) => m.p)).toEqual([
      expect.objectContaining({ printerId, documentId: posting.documentId, labelUrl: `/labels/ozon/posting-${posting.postingNumber}.pdf`, copies: 1 }),
    ])
    expect(desk.pushes.map((m) => m.c)).toContain('printOzonLabel.progress')
  })
})

describe('the Ozon block of the account settings', () => {
  it('read by everyone, saved by the administrator only; accounts without Ozon shops have none', () => {
    const { b, desk } = seller()
    expect(desk.ask('accountSettingsGet', { blocks: ['ozon'] })).toEqual({ ozon: { possibleMarks: true, configured: true } })
    expect(desk.ask('accountSettingsSet', { ozon: { possibleMarks: false } })).toEqual({ ozon: { possibleMarks: false, configured: true } })
    expect(ozonState(b, ACCOUNT).possibleMarks).toBe(false)
    const egor = device(b, 'u-egor')
    expect(egor.ask('accountSettingsGet', { blocks: ['ozon'] })).toEqual({})
    expect(egor.ask('accountSettingsSet', { ozon: { possibleMarks: true } })).toMatchObject({ errorCode: 'forbidden' })
  })
})
