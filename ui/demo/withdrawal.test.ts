import { describe, expect, it, vi } from 'vitest'
import type { Payload } from '../core/envelope'
import { createBackend, type MemoryBackend } from './backend'
import { demoSigner } from './tokens'
import { setAccountWorkplace, setWithdrawalEnd } from './withdrawal'

function connect(b: MemoryBackend, userId: string) {
  const identity = b.authenticate(b.openSession(userId).token)
  if ('error' in identity) throw new Error(identity.error)
  const pushes: Array<{ c: string; p: Payload }> = []
  const conn = b.attach(identity, (c, p) => pushes.push({ c, p }))
  const one = (c: string, p: Payload = {}) => b.handle(conn, c, p).map((r) => r.p)[0]!
  return { one, pushes }
}

const MARK = `0104601234567893${'21'}Ab3x5Ky\x1d91EE07\x1d92${'x'.repeat(44)}`
const SIGNED_DATA = [0x06, 0x09, 0x2a, 0x86, 0x48, 0x86, 0xf7, 0x0d, 0x01, 0x07, 0x02]
const settle = () => new Promise<void>((r) => queueMicrotask(r))

function shop(options: { ask: boolean }) {
  const b = createBackend({ sign: demoSigner, now: () => Date.UTC(2026, 11, 10, 9, 0) })
  const account = b.accounts.get('acc-master')!
  account.features.czWithdrawRetail = true
  account.features.czWithdrawAsk = options.ask
  const oleg = connect(b, 'u-oleg')
  const complete = (withdraw?: boolean, marks = [MARK]) =>
    oleg.one('completeDocument', { documentId: 'doc-w1', type: 'shipment', page: 1, final: true, items: [{ assortmentId: 'a', checked: 1, marks }], timeline: {}, ...(withdraw === undefined ? {} : { withdraw }) })
  return { b, oleg, complete }
}

describe('withdrawal on the server side', () => {
  it.each([
    ['the picker said withdraw', true, { withdrawQueued: true }],
    ['the picker said no', false, { withdrawQueued: false, withdrawNote: 'сборщик ответил «не выводить»' }],
  ])('%s', async (_what, withdraw, answer) => {
    const { oleg, complete } = shop({ ask: true })
    expect(complete(withdraw)).toMatchObject({ accepted: true, ...answer })
    await settle()
    expect(oleg.pushes.filter((x) => x.c === 'czWithdrawAsk.push')).toEqual([])
  })

  it('not asked (an automatic completion): the question goes to the device; on confirmation the desktop signs the withdrawal document and the notice follows', async () => {
    const { oleg, complete } = shop({ ask: true })
    oleg.one('reportCertificates', { certificates: [{ thumbprint: 'ab12cd' }] })
    oleg.one('cryptoConsent', { thumbprint: 'ab12cd', granted: true })
    expect(complete()).toMatchObject({ accepted: true, withdrawQueued: false })
    await settle()
    const ask = oleg.pushes.find((x) => x.c === 'czWithdrawAsk.push')!
    expect(ask.p).toMatchObject({ taskId: expect.any(String), documentId: 'doc-w1' })
    expect(oleg.one('czWithdrawConfirm', { taskId: ask.p.taskId, confirm: true })).toEqual({ queued: true })
    const sign = oleg.pushes.find((x) => x.c === 'signDocument.push')!
    expect(sign.p).toMatchObject({ thumbprint: 'ab12cd', documentType: 'LK_RECEIPT' })
    const doc = JSON.parse(new TextDecoder().decode(Uint8Array.from(atob(String(sign.p.document ?? sign.p.documentBase64)), (c) => c.charCodeAt(0))))
    expect(doc.codes).toEqual([MARK])
    oleg.one('signResult', { requestId: sign.p.requestId, signature: btoa(String.fromCharCode(0x30, 0x80, ...SIGNED_DATA)) })
    await vi.waitFor(() => expect(oleg.pushes.at(-1)).toEqual({ c: 'czWithdrawNotice.push', p: { taskId: ask.p.taskId, documentId: 'doc-w1', state: 'done', message: 'Коды выведены из оборота' } }))
    expect(oleg.one('czWithdrawConfirm', { taskId: ask.p.taskId, confirm: true })).toEqual({ error: 'На этот вопрос уже ответили' })
  })

  it('no computer with a chosen certificate: the task fails with the reason', async () => {
    const { oleg, complete } = shop({ ask: false })
    expect(complete()).toMatchObject({ withdrawQueued: true })
    await settle()
    expect(oleg.pushes.at(-1)?.p).toMatchObject({ state: 'failed', message: 'Нет компьютера с выбранным сертификатом подписи' })
  })

  it('a task ends as the control endpoint set it', async () => {
    const { b, oleg, complete } = shop({ ask: false })
    setWithdrawalEnd(b, 'failed')
    expect(complete()).toMatchObject({ withdrawQueued: true })
    await settle()
    expect(oleg.pushes.at(-1)?.p).toMatchObject({ state: 'failed', message: 'Честный Знак не ответил за 10 попыток' })
  })

  it('a shipment without marks has nothing to withdraw', () => {
    expect(shop({ ask: false }).complete(undefined, [])).toMatchObject({ withdrawQueued: false, withdrawNote: 'в документе нет кодов маркировки' })
  })

  it('the workplace code: malformed refused, the organisation\'s own address wins', () => {
    const { b, oleg } = shop({ ask: false })
    const code = '0c5b2444-70a0-4932-980c-b4dc0d3f02b5'
    expect(oleg.one('reportWorkplace', { fiasId: 'ул. Лесная', deviceId: 'd' })).toEqual({ error: 'fias id is not a UUID' })
    expect(oleg.one('reportWorkplace', { fiasId: code, deviceId: 'd' })).toEqual({ fiasId: code })
    setAccountWorkplace(b, 'acc-master', '11111111-1111-1111-1111-111111111111')
    expect(oleg.one('reportWorkplace', { fiasId: code, deviceId: 'd' })).toEqual({ fiasId: '11111111-1111-1111-1111-111111111111' })
  })
})
