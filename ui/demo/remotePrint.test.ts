import { describe, expect, it } from 'vitest'
import type { Payload } from '../core/envelope'
import { createBackend, type MemoryBackend } from './backend'
import { dropPrintResults, redeliverPrintCommand, relayJobs, sendPrintCommand } from './remotePrint'
import { demoSigner } from './tokens'

/** A device of `userId` whose pushes are kept; `drop` takes it offline and `back` brings it again. */
function device(b: MemoryBackend, userId: string) {
  const identity = b.authenticate(b.openSession(userId).token)
  if ('error' in identity) throw new Error(identity.error)
  const pushes: Array<{ c: string; p: Payload }> = []
  let conn = b.attach(identity, (c, p) => pushes.push({ c, p }))
  return {
    pushes,
    named: (c: string) => pushes.filter((m) => m.c === c).map((m) => m.p),
    one: (c: string, p: Payload = {}) => b.handle(conn, c, p)[0]?.p,
    send: (c: string, p: Payload) => expect(b.handle(conn, c, p)).toEqual([]),
    drop: () => b.detach(conn),
    back: () => (conn = b.attach(identity, (c, p) => pushes.push({ c, p }))),
  }
}

const tick = () => new Promise((r) => setTimeout(r, 0))
const REGISTER = { name: 'raw', comment: 'у Иры на упаковке', format: { widthMm: 58, heightMm: 40, rotate: 0 }, deviceId: 'dev-a', deviceName: 'склад-1', purpose: 'label' }

function lesnaya() {
  const b = createBackend({ sign: demoSigner, now: () => Date.UTC(2026, 11, 10, 9, 0) })
  return { b, desk: device(b, 'u-anna'), mac: device(b, 'u-igor'), other: device(b, 'u-oleg') }
}

describe('the printer registry and the relay of the stand-in', () => {
  it('one printer per account: registered, re-registered by its desktop with the same id, refused to a second, listed, forgotten', () => {
    const { desk, mac, other } = lesnaya()
    expect(mac.one('printerList')).toEqual({ printers: [] })
    const { printerId } = desk.one('printerRegister', REGISTER) as { printerId: string }
    expect(desk.one('printerRegister', { ...REGISTER, format: { widthMm: 75, heightMm: 120, rotate: 90 } })).toEqual({ printerId })
    expect(mac.one('printerRegister', { ...REGISTER, name: 'pdf', deviceId: 'dev-b' })).toEqual({
      error: 'already-registered',
      message: 'На аккаунте уже зарегистрирован принтер «raw — у Иры на упаковке» на компьютере склад-1.',
    })
    expect(mac.one('printerList')).toEqual({
      printers: [{ printerId, name: 'raw', comment: 'у Иры на упаковке', format: { widthMm: 75, heightMm: 120 }, purpose: 'label', lastSeenAt: Date.UTC(2026, 11, 10, 9, 0) }],
    })
    expect(other.one('printerList')).toEqual({ printers: [] })
    expect(mac.one('printerForget', { printerId })).toEqual({})
    expect(mac.one('printerForget', { printerId })).toEqual({ error: 'not-found', message: '' })
  })

  it('a label asked for on one device prints on the registered desktop; its stages and result go back to the asker only', () => {
    const { b, desk, mac } = lesnaya()
    const { printerId } = desk.one('printerRegister', REGISTER) as { printerId: string }
    expect(mac.one('printOzonLabel', { documentId: 'ozon-7', sku: 123 })).toBeUndefined()
    const [command] = desk.named('printLabel.push')
    expect(command).toEqual({ jobId: 'job-1', printerId, documentId: 'ozon-7', labelUrl: '/labels/sample-58x40.pdf', copies: 1 })
    desk.send('printLabel.progress', { jobId: 'job-1', printerId, documentId: 'ozon-7', stage: 'accepted', note: '' })
    desk.send('printLabel.result', { jobId: 'job-1', printerId, documentId: 'ozon-7', ok: true, error: null, errorCode: null })
    expect(mac.named('printOzonLabel.progress').map((p) => p.stage)).toEqual(['label-ready', 'sent', 'accepted'])
    expect(mac.named('printOzonLabel.progress')[0]).toEqual({ documentId: 'ozon-7', sku: 123, stage: 'label-ready' })
    expect(mac.named('printOzonLabel.result')).toEqual([{ documentId: 'ozon-7', sku: 123, ok: true, printedOn: 'raw — у Иры на упаковке' }])
    expect(desk.named('printOzonLabel.result')).toEqual([])
    expect(relayJobs(b)[0]!.results).toHaveLength(1)
  })

  it.each([
    ['a refusal for want of a printer', { ok: false, error: 'На этом устройстве принтер для печати из кабинета не зарегистрирован.', errorCode: 'no-printer' }, { error: 'no-printer', message: 'На этом устройстве принтер для печати из кабинета не зарегистрирован.' }],
    ['a printer failure', { ok: false, error: 'Принтер «raw» не в сети.', errorCode: 'print-failed' }, { error: 'printer-failed', message: 'Принтер «raw» не в сети.' }],
    ['a repeat of a failed job (no code)', { ok: false, error: 'Бумага кончилась', errorCode: null }, { error: 'printer-failed', message: 'Бумага кончилась' }],
  ])('the desktop answers %s: the asker gets its code', (_name, answer, expected) => {
    const { desk, mac } = lesnaya()
    desk.one('printerRegister', REGISTER)
    mac.one('printOzonLabel', { documentId: 'ozon-7' })
    desk.send('printLabel.result', { jobId: 'job-1', ...answer })
    expect(mac.named('printOzonLabel.result')).toEqual([{ documentId: 'ozon-7', ok: false, printedOn: 'raw — у Иры на упаковке', ...expected }])
  })

  it('without a registered printer the asker is answered "no-printer" at once', () => {
    const { mac } = lesnaya()
    expect(mac.one('printOzonLabel', { documentId: 'ozon-7' })).toMatchObject({ documentId: 'ozon-7', ok: false, error: 'no-printer' })
  })

  it('control: a command twice in a row, again later, held for an offline desktop until it registers again, results dropped', async () => {
    const { b, desk } = lesnaya()
    desk.one('printerRegister', REGISTER)
    await tick()
    expect(sendPrintCommand(b, { accountId: 'acc-lesnaya', jobId: 'j-2', times: 2 })).toEqual({ jobId: 'j-2', delivered: 2, held: 0 })
    expect(desk.named('printLabel.push').map((p) => p.jobId)).toEqual(['j-2', 'j-2'])

    desk.drop()
    expect(redeliverPrintCommand(b, 'j-2')).toEqual({ delivered: 2, held: 1 })
    desk.back()
    await tick()
    expect(desk.named('printLabel.push')).toHaveLength(2)
    desk.one('printerRegister', REGISTER)
    await tick()
    expect(desk.named('printLabel.push')).toHaveLength(3)
    expect(relayJobs(b).find((j) => j.jobId === 'j-2')).toMatchObject({ delivered: 3, held: 0 })

    dropPrintResults(b, 1)
    desk.send('printLabel.result', { jobId: 'j-2', ok: true })
    desk.send('printLabel.result', { jobId: 'j-2', ok: true })
    expect(relayJobs(b).find((j) => j.jobId === 'j-2')!.results).toHaveLength(1)
  })

  it('a label asked while the desktop is away is held (the asker is told), a repeat of the request is the same job, the result comes whenever it does', async () => {
    const { b, desk, mac } = lesnaya()
    const { printerId } = desk.one('printerRegister', REGISTER) as { printerId: string }
    desk.drop()
    expect(mac.one('printOzonLabel', { documentId: 'trial-label', requestId: 'r-1' })).toBeUndefined()
    expect(mac.one('printOzonLabel', { documentId: 'trial-label', requestId: 'r-1' })).toBeUndefined()
    expect(mac.named('printOzonLabel.progress').map((p) => p.stage)).toEqual(['label-ready', 'held', 'held'])
    expect(mac.named('printOzonLabel.progress')[1]).toEqual({ documentId: 'trial-label', requestId: 'r-1', stage: 'held' })
    expect(relayJobs(b)).toHaveLength(1)

    desk.back()
    desk.one('printerRegister', REGISTER)
    await tick()
    expect(desk.named('printLabel.push').map((p) => p.jobId)).toEqual(['job-1'])
    desk.send('printLabel.result', { jobId: 'job-1', printerId, ok: true, error: null, errorCode: null })
    expect(mac.named('printOzonLabel.result')).toEqual([{ documentId: 'trial-label', requestId: 'r-1', ok: true, printedOn: 'raw — у Иры на упаковке' }])
    // Asked once more after the result: the result again, nothing printed.
    mac.one('printOzonLabel', { documentId: 'trial-label', requestId: 'r-1' })
    expect(mac.named('printOzonLabel.result')).toHaveLength(2)
    expect(desk.named('printLabel.push')).toHaveLength(1)
    // A new request id is a new label.
    mac.one('printOzonLabel', { documentId: 'trial-label', requestId: 'r-2' })
    expect(desk.named('printLabel.push')).toHaveLength(2)
  })

  it('a job the desktop took and never answered goes out again at its next connection, not on the same one', async () => {
    const { b, desk, mac } = lesnaya()
    desk.one('printerRegister', REGISTER)
    await tick()
    mac.one('printOzonLabel', { documentId: 'ozon-7', requestId: 'r-1' })
    desk.send('printLabel.progress', { jobId: 'job-1', stage: 'accepted' })
    desk.one('printerRegister', REGISTER)
    await tick()
    expect(desk.named('printLabel.push')).toHaveLength(1)
    mac.one('printOzonLabel', { documentId: 'ozon-7', requestId: 'r-1' })
    expect(mac.named('printOzonLabel.progress').at(-1)).toMatchObject({ stage: 'accepted' })

    desk.drop()
    desk.back()
    desk.one('printerRegister', REGISTER)
    await tick()
    expect(desk.named('printLabel.push').map((p) => p.jobId)).toEqual(['job-1', 'job-1'])
    desk.send('printLabel.result', { jobId: 'job-1', ok: true })
    desk.one('printerRegister', REGISTER)
    desk.drop()
    desk.back()
    desk.one('printerRegister', REGISTER)
    await tick()
    expect(desk.named('printLabel.push')).toHaveLength(2)
    expect(relayJobs(b)[0]).toMatchObject({ delivered: 2, held: 0 })
  })
})
