import { afterEach, beforeEach, describe, expect, it } from 'vitest'
import { createPinia, setActivePinia } from 'pinia'
import type { Payload } from '../core/envelope'
import { defaultSettings, type CryptoSettings } from '../core/settingsModel'
import { installMemoryStorage } from '../core/testing/memoryStorage'
import { createSigningAgent, DIAGNOSE_UNSUPPORTED, REFUSAL } from './agent'
import { computerName } from './computerName'
import { cryptoHost } from './cryptoHost'
import { EMPTY_REPORT } from './diagnoseChunks'
import { readSignLog } from './signLog'
import { useSignLogStore } from './signLogStore'
import { CONSENTED, certificate, FakeSigningHost, ORG_THUMBPRINT } from './testing/fakeSigningHost'

/** The server's end of the channel: pushes go to the agent's handlers, what the agent sends is kept. */
function fakeChannel() {
  const handlers = new Map<string, Set<(p: Payload) => void>>()
  const sent: Array<{ c: string; p: Payload }> = []
  return {
    sent,
    of: (c: string) => sent.filter((m) => m.c === c).map((m) => m.p),
    send: (c: string, p: Payload) => sent.push({ c, p }),
    onPush(c: string, h: (p: Payload) => void) {
      if (!handlers.has(c)) handlers.set(c, new Set())
      handlers.get(c)!.add(h)
      return () => void handlers.get(c)!.delete(h)
    },
    push: (c: string, p: Payload = {}) => handlers.get(c)?.forEach((h) => h(p)),
    listeners: (c: string) => handlers.get(c)?.size ?? 0,
  }
}

const NOW = new Date('2026-06-01T10:00:00Z')
const AUTH = 'abcdEFGH1234-_xyZ0987'

let host: FakeSigningHost
beforeEach(() => {
  installMemoryStorage()
  setActivePinia(createPinia())
  host = new FakeSigningHost().install()
})
afterEach(() => FakeSigningHost.uninstall())

function setup(crypto: Partial<CryptoSettings> = CONSENTED, inHost = true) {
  const channel = fakeChannel()
  const settings = { ...defaultSettings({ desktopHost: true, touch: false }).crypto, ...crypto }
  const signLog = useSignLogStore()
  void signLog.startCopy()
  const agent = createSigningAgent({
    channel,
    host: cryptoHost,
    inHost: () => inHost,
    crypto: () => settings,
    log: (e) => signLog.add(e),
    computerName,
    printers: async () => host.printers,
    now: () => NOW,
  })
  return { channel, agent, settings }
}

/** A started agent (its reports left out of what was sent). */
async function started(crypto: Partial<CryptoSettings> = CONSENTED) {
  const rig = setup(crypto)
  await rig.agent.start()
  rig.channel.sent.splice(0)
  return rig
}

/** Pushes and waits until the agent has answered the request. */
async function ask(channel: ReturnType<typeof fakeChannel>, c: string, p: Payload): Promise<Payload> {
  const before = channel.of('signResult').length
  channel.push(c, p)
  await expect.poll(() => channel.of('signResult').length).toBe(before + 1)
  return channel.of('signResult').at(-1)!
}

describe('authorisation requests', () => {
  it.each([
    ['an upper-case thumbprint against the lower-case chosen one is signed', {}, { thumbprint: ORG_THUMBPRINT.toUpperCase() }, null],
    ['consent revoked', { consentAt: null, consentScope: null }, {}, REFUSAL.noConsent],
    ['consent of an older scope', { consentScope: 'v0:auth' }, {}, REFUSAL.noConsent],
    ['no certificate chosen', { thumbprint: null }, {}, REFUSAL.notChosen],
    ['another certificate requested', {}, { thumbprint: 'f'.repeat(40) }, REFUSAL.otherCertificate],
    ['a thumbprint of 39 digits', {}, { thumbprint: 'a'.repeat(39) }, REFUSAL.badThumbprint],
    ['a string with a dot', {}, { data: 'abcdefgh.12345678' }, REFUSAL.notAuthString],
    ['a string of 15 characters', {}, { data: 'a'.repeat(15) }, REFUSAL.notAuthString],
    // the string is checked before the thumbprint
    ['both wrong', {}, { data: '', thumbprint: 'x' }, REFUSAL.notAuthString],
  ])('%s', async (_name, crypto, request, refusal) => {
    const { channel } = await started({ ...CONSENTED, ...crypto })
    const answer = await ask(channel, 'signAuthData.push', { requestId: 'r1', data: AUTH, thumbprint: ORG_THUMBPRINT, ...request })
    const entry = readSignLog()[0]!
    if (refusal === null) {
      expect(answer).toEqual({ requestId: 'r1', signature: host.signature })
      expect(host.calls.find((c) => c.cmd === 'sign_auth_data')?.args).toEqual({ data: AUTH, thumbprint: ORG_THUMBPRINT })
      expect(entry).toMatchObject({ event: 'auth', thumbprint: ORG_THUMBPRINT.toUpperCase() })
      expect(entry.note).toBeUndefined()
    } else {
      expect(answer).toEqual({ requestId: 'r1', error: refusal })
      expect(host.count('sign_auth_data')).toBe(0)
      expect(entry).toMatchObject({ event: 'refused', note: refusal })
    }
  })

  it('passes the host error on unchanged, logged as a refusal', async () => {
    const { channel } = await started()
    const text = 'Контейнер закрыт паролем — снимите пароль или задайте его в настройках.'
    host.failing.set('sign_auth_data', text)
    expect(await ask(channel, 'signAuthData.push', { requestId: 7, data: AUTH, thumbprint: ORG_THUMBPRINT })).toEqual({ requestId: 7, error: text })
    expect(readSignLog()[0]).toMatchObject({ event: 'refused', thumbprint: ORG_THUMBPRINT, note: text })
  })

  it('answers each request with its own id, a slow one after a quick one', async () => {
    const { channel } = await started()
    let release: (sig: string) => void = () => {}
    host.signature = (args: Record<string, unknown>) => (args.data === AUTH ? new Promise((r) => (release = r)) : 'UVVJQ0s=')
    channel.push('signAuthData.push', { requestId: 'slow', data: AUTH, thumbprint: ORG_THUMBPRINT })
    await ask(channel, 'signAuthData.push', { requestId: 'quick', data: 'q'.repeat(16), thumbprint: ORG_THUMBPRINT })
    release('U0xPVw==')
    await expect.poll(() => channel.of('signResult').map((r) => r.requestId)).toEqual(['quick', 'slow'])
    expect(channel.of('signResult')[1]).toEqual({ requestId: 'slow', signature: 'U0xPVw==' })
  })

  it('keeps a made signature in the log file before the answer goes out', async () => {
    const { channel } = await started()
    await ask(channel, 'signAuthData.push', { requestId: 'r1', data: AUTH, thumbprint: ORG_THUMBPRINT })
    host.crash()
    // After the crash the page starts again from the host file alone.
    installMemoryStorage()
    setActivePinia(createPinia())
    const restarted = useSignLogStore()
    await restarted.startCopy()
    expect(restarted.entries.map((e) => e.event)).toEqual(['auth'])
  })
})

describe('document requests', () => {
  it.each<[string, { documentBase64: string; crypto?: Partial<CryptoSettings> }, string | null]>([
    ['a permitted document is signed', { documentBase64: 'PGRvYy8+' }, null],
    ['an empty document', { documentBase64: '' }, REFUSAL.emptyDocument],
    ['no consent', { documentBase64: 'PGRvYy8+', crypto: { consentAt: null } }, REFUSAL.noConsent],
  ])('%s', async (_name, { crypto, ...request }, refusal) => {
    const { channel } = await started({ ...CONSENTED, ...crypto })
    const answer = await ask(channel, 'signDocument.push', { requestId: 'd1', documentType: 'LK_RECEIPT', thumbprint: ORG_THUMBPRINT, ...request })
    if (refusal === null) {
      expect(answer).toEqual({ requestId: 'd1', signature: host.signature })
      expect(host.calls.find((c) => c.cmd === 'sign_document')?.args).toEqual({
        documentBase64: 'PGRvYy8+',
        documentType: 'LK_RECEIPT',
        thumbprint: ORG_THUMBPRINT,
      })
      expect(readSignLog()[0]).toMatchObject({ event: 'document', note: 'LK_RECEIPT' })
    } else {
      expect(answer).toEqual({ requestId: 'd1', error: refusal })
      expect(readSignLog()[0]).toMatchObject({ event: 'refused', note: `LK_RECEIPT: ${refusal}` })
    }
  })
})

describe('certificate report', () => {
  it('reports the list with validity, the status summary, the computer name, then the consent', async () => {
    host.certificates = [
      certificate(),
      certificate({ thumbprint: 'b'.repeat(40), subject: 'CN=Старый', inn: '500100732259', innLe: null, innPersonal: '500100732259', validTo: '31/12/2024 23:59:59' }),
    ]
    host.hostname = `  ${'П'.repeat(120)}  `
    const { channel, agent } = setup()
    await agent.start()
    const [report] = channel.of('reportCertificates')
    const certs = report!.certificates as Payload[]
    expect(certs.map((c) => c.isValid)).toEqual([true, false])
    expect(certs[0]).not.toHaveProperty('innPersonal')
    expect(certs[1]).toMatchObject({ innPersonal: '500100732259' })
    expect(certs[1]).not.toHaveProperty('innLe')
    expect(report!.crypto).toEqual({
      available: true,
      version: 'Certificate manager 5.0',
      certmgrPath: '/opt/cprocsp/bin/amd64/certmgr',
      cryptcpPath: '/opt/cprocsp/bin/amd64/cryptcp',
      csptestPath: null,
    })
    expect(report!.deviceName).toBe('П'.repeat(100))
    expect(channel.sent.map((m) => m.c).filter((c) => c !== 'reportPrinters')).toEqual(['reportCertificates', 'cryptoConsent'])
    expect(channel.of('cryptoConsent')[0]).toEqual({
      thumbprint: ORG_THUMBPRINT,
      inn: '7701234567',
      subject: 'Иванов Иван Иванович',
      granted: true,
      at: '2026-05-01T08:00:00.000Z',
    })
    expect(channel.of('reportPrinters')).toEqual([{ printers: host.printers }])
  })

  it('without the tools: no list asked, the folders searched named, the consent reported as not given', async () => {
    host.status = { ...host.status, available: false, certmgrPath: null }
    const { channel, agent } = setup({ ...CONSENTED, consentAt: null })
    await agent.start()
    expect(host.count('list_certificates')).toBe(0)
    const [report] = channel.of('reportCertificates')
    expect(report!.certificates).toEqual([])
    expect((report!.crypto as Payload).searched).toEqual(host.status.searched)
    expect(channel.of('cryptoConsent')[0]).toMatchObject({ granted: false, at: NOW.toISOString() })
  })

  it.each(['list_certificates', 'plugin:os|hostname'])('a failure of %s reports an empty list and nothing more', async (cmd) => {
    host.failing.set(cmd, 'отказ')
    const { channel, agent } = setup()
    await agent.start()
    expect(channel.of('reportCertificates')).toEqual([{ certificates: [] }])
    expect(channel.of('cryptoConsent')).toEqual([])
  })

  it('reports again on request; a failing printer list is reported empty', async () => {
    host.failing.set('get_printers', 'CUPS не отвечает')
    const { channel, agent } = setup({})
    const agentWithFailingPrinters = createSigningAgent({
      channel,
      host: cryptoHost,
      inHost: () => true,
      crypto: () => defaultSettings({ desktopHost: true, touch: false }).crypto,
      log: async () => true,
      computerName: async () => 'pc',
      printers: async () => {
        throw new Error('CUPS не отвечает')
      },
      now: () => NOW,
    })
    agent.stop()
    await agentWithFailingPrinters.start()
    expect(channel.of('reportPrinters')).toEqual([{ printers: [] }])
    channel.push('requestCertificates.push')
    await expect.poll(() => channel.of('reportCertificates').length).toBe(2)
    // no certificate chosen: no consent report
    expect(channel.of('cryptoConsent')).toEqual([])
  })

  it('outside the desktop host reports nothing and asks the host nothing', async () => {
    const { channel, agent } = setup(CONSENTED, false)
    await agent.start()
    expect(channel.sent).toEqual([])
    expect(host.calls.filter((c) => !c.cmd.startsWith('plugin:store|'))).toEqual([])
  })
})

describe('diagnostic report', () => {
  const chunksOf = async (channel: ReturnType<typeof fakeChannel>, p: Payload, count: number) => {
    channel.push('supportDiagnose.push', p)
    await expect.poll(() => channel.of('supportDiagnose.chunk').length).toBe(count)
    return channel.of('supportDiagnose.chunk')
  }

  it('150,000 characters in short lines go out as 3 chunks that join back into the report', async () => {
    host.diagnoseReport = Array.from({ length: 1500 }, (_, i) => `строка ${String(i).padStart(4, '0')} `.padEnd(99, '.')).join('\n') + '\n'
    expect(host.diagnoseReport.length).toBe(150_000)
    const { channel, agent } = setup()
    await agent.start()
    const chunks = await chunksOf(channel, { requestId: 'sup-1' }, 3)
    expect(chunks.map((c) => [c.requestId, c.seq, c.total])).toEqual([['sup-1', 0, 3], ['sup-1', 1, 3], ['sup-1', 2, 3]])
    expect(chunks.every((c) => (c.text as string).length <= 60_000)).toBe(true)
    expect(chunks.map((c) => c.text).join('')).toBe(host.diagnoseReport)
  })

  it.each<[string, { report?: string; fail?: string; outside?: boolean }, Payload]>([
    ['an empty report', { report: '  \n' }, { requestId: '', seq: 0, total: 1, text: EMPTY_REPORT }],
    ['a failing host', { fail: 'сбой' }, { requestId: '', seq: 0, total: 1, text: '', error: 'сбой' }],
    ['no desktop host', { outside: true }, { requestId: '', seq: 0, total: 1, text: '', error: DIAGNOSE_UNSUPPORTED }],
  ])('%s: one chunk', async (_name, how, chunk) => {
    if (how.report !== undefined) host.diagnoseReport = how.report
    if (how.fail) host.failing.set('crypto_diagnose', how.fail)
    const { channel, agent } = setup(CONSENTED, !how.outside)
    await agent.start()
    // the other name of the push, without a request id
    expect(await chunksOf(channel, {}, 1)).toEqual([chunk])
    channel.push('supportDiagnose', {})
    await expect.poll(() => channel.of('supportDiagnose.chunk').length).toBe(2)
  })
})

describe('start and stop', () => {
  it('a second start does not answer twice; after stop nothing is answered', async () => {
    const { channel, agent } = setup()
    await agent.start()
    await agent.start()
    expect(channel.listeners('signAuthData.push')).toBe(1)
    await ask(channel, 'signAuthData.push', { requestId: 'r', data: AUTH, thumbprint: ORG_THUMBPRINT })
    agent.stop()
    channel.push('signAuthData.push', { requestId: 'late', data: AUTH, thumbprint: ORG_THUMBPRINT })
    await new Promise((r) => setTimeout(r, 20))
    expect(channel.of('signResult').map((r) => r.requestId)).toEqual(['r'])
  })
})
