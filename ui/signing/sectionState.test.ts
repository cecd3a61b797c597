import { afterEach, beforeEach, describe, expect, it } from 'vitest'
import { createPinia, setActivePinia } from 'pinia'
import type { Payload } from '../core/envelope'
import { TIMEOUT_MESSAGE } from '../core/requests'
import { useSettingsStore, type SettingsBackend } from '../core/settings'
import type { CryptoSettings } from '../core/settingsModel'
import { useSocketStore } from '../core/socketStore'
import { installMemoryStorage } from '../core/testing/memoryStorage'
import { cryptoHost } from './cryptoHost'
import { AUTH_CHECK_TIMEOUT_TEXT } from './sectionTexts'
import { readSignLog } from './signLog'
import { CHOSEN_MISSING, SET_STAND_TIMEOUT, useSignatureSection } from './sectionState'
import { CONSENTED, certificate, FakeSigningHost, ORG_THUMBPRINT, PERSON_THUMBPRINT } from './testing/fakeSigningHost'

const NOW = Date.UTC(2026, 5, 1, 12, 0, 0)
const org = certificate()
const person = certificate({ thumbprint: PERSON_THUMBPRINT, subject: 'CN=Петров Пётр', inn: '500100732259', innLe: null, innPersonal: '500100732259' })
const noInn = certificate({ thumbprint: 'c'.repeat(40), subject: 'CN=Сидоров Семён', inn: null, innLe: null })

let host: FakeSigningHost
let saved: Array<Record<string, unknown>>
beforeEach(() => {
  installMemoryStorage()
  setActivePinia(createPinia())
  host = new FakeSigningHost().install()
  host.certificates = [org, person, noInn]
  saved = []
})
afterEach(() => FakeSigningHost.uninstall())

/** The section over the fake host, with the server's answers from `answers` (a thrown value fails the request). */
async function section(crypto: Partial<CryptoSettings> = {}, answers: Record<string, (p: Payload) => Payload> = {}) {
  const settings = useSettingsStore()
  let record: unknown = { crypto }
  const backend: SettingsBackend = {
    read: async () => record,
    write: async (r) => {
      record = JSON.parse(JSON.stringify(r))
      saved.push(record as Record<string, unknown>)
    },
  }
  settings.useBackend(backend)
  await settings.loadDeviceSettings()
  useSocketStore().setConnected(true)
  const sent: Array<{ c: string; p: Payload }> = []
  const requests: Array<{ c: string; p: Payload }> = []
  const s = useSignatureSection({
    host: cryptoHost,
    request: async (c, p = {}) => {
      requests.push({ c, p })
      const answer = answers[c]
      if (!answer) throw new Error(TIMEOUT_MESSAGE)
      return answer(p)
    },
    send: (c, p) => sent.push({ c, p }),
    now: () => NOW,
    randomHex32: () => '0123456789abcdef0123456789abcdef',
  })
  return { s, sent, requests, settings }
}

describe('choosing a certificate', () => {
  it('another certificate while consent is given: the consent is revoked first', async () => {
    const { s, sent, settings } = await section(CONSENTED)
    await s.refresh()
    await s.choose(person)
    expect(readSignLog().map((e) => e.event)).toEqual(['revoke'])
    expect(sent).toEqual([
      { c: 'cryptoConsent', p: { thumbprint: ORG_THUMBPRINT, inn: '7701234567', subject: 'Иванов Иван Иванович', granted: false, at: new Date(NOW).toISOString() } },
    ])
    expect(settings.crypto).toMatchObject({ thumbprint: PERSON_THUMBPRINT, inn: '500100732259', consentSubject: 'Петров Пётр', consentAt: null, consentScope: null })
    expect(s.consentValid.value).toBe(false)
  })

  it('a certificate without an INN leaves no INN behind (not the previous certificate\'s)', async () => {
    const { s, settings } = await section({ thumbprint: ORG_THUMBPRINT, inn: '7701234567' })
    await s.choose(noInn)
    expect(settings.crypto).toMatchObject({ thumbprint: noInn.thumbprint, inn: null, consentSubject: 'Сидоров Семён' })
    expect(saved.at(-1)).toMatchObject({ crypto: { thumbprint: noInn.thumbprint, inn: null } })
  })

  it('the same certificate again keeps the consent', async () => {
    const { s, sent } = await section(CONSENTED)
    await s.choose(certificate({ thumbprint: ORG_THUMBPRINT.toUpperCase() }))
    expect(sent).toEqual([])
    expect(s.consentValid.value).toBe(true)
  })

  it('refresh sends the stored folder first and notices a chosen certificate that is gone', async () => {
    host.certificates = [person]
    const { s } = await section({ thumbprint: ORG_THUMBPRINT, dir: '/opt/cp' })
    await s.refresh()
    expect(host.calls.filter((c) => !c.cmd.startsWith('plugin:')).map((c) => c.cmd)).toEqual(['set_crypto_dir', 'crypto_available', 'list_certificates'])
    expect(host.calls.find((c) => c.cmd === 'set_crypto_dir')?.args).toEqual({ path: '/opt/cp' })
    expect(s.chosenMissing.value).toBe(true)
    expect(CHOSEN_MISSING).toBe('Выбранный ранее сертификат больше не найден — выберите другой')
  })

  it('a typed folder is trimmed, stored and sent; an empty one clears it', async () => {
    const { s, settings } = await section()
    await s.setFolder('  /opt/cprocsp/bin  ')
    expect(settings.crypto.dir).toBe('/opt/cprocsp/bin')
    await s.setFolder('   ')
    expect(settings.crypto.dir).toBeNull()
    expect(host.calls.filter((c) => c.cmd === 'set_crypto_dir').map((c) => c.args.path)).toEqual(['/opt/cprocsp/bin', null])
    expect(s.certificates.value).toHaveLength(3)
  })
})

describe('consent and the token', () => {
  it('granting logs, tells the server and asks for the token at once when ready', async () => {
    const { s, sent, requests } = await section({ thumbprint: ORG_THUMBPRINT, inn: '7701234567' }, {
      czAuthCheck: () => ({ ok: true, expireDate: new Date(NOW + 3600_000).toISOString(), inn: '7701234567' }),
      czTokenStatus: () => ({ hasToken: true, expireDate: new Date(NOW + 3600_000).toISOString(), inn: '7701234567', stand: 'prod', thumbprint: ORG_THUMBPRINT }),
    })
    await s.refresh()
    await s.grant()
    expect(sent).toEqual([
      { c: 'cryptoConsent', p: { thumbprint: ORG_THUMBPRINT, inn: '7701234567', subject: 'Иванов Иван Иванович', granted: true, at: new Date(NOW).toISOString() } },
    ])
    expect(requests.map((r) => r.c)).toEqual(['czAuthCheck', 'czTokenStatus'])
    expect(requests[0]!.p).toEqual({ thumbprint: ORG_THUMBPRINT, inn: '7701234567' })
    expect(readSignLog().map((e) => [e.event, e.note])).toEqual([['token', undefined], ['consent', 'Иванов Иван Иванович']])
    expect(s.tokenResult.value).toMatch(/^✅ Токен получен\. Действует до .* · осталось 1 ч 0 мин · ИНН 7701234567$/)
  })

  it.each<[string, Record<string, (p: Payload) => Payload>, string, string]>([
    ['a refusal at signing', { czAuthCheck: () => ({ ok: false, stage: 'sign', error: 'нет разрешения' }) }, '❌ Подписать не удалось: нет разрешения', 'нет разрешения'],
    ['a refusal without an error', { czAuthCheck: () => ({ ok: false }) }, '❌ Авторизация не прошла', 'авторизация не прошла'],
    ['no answer in a minute', {}, AUTH_CHECK_TIMEOUT_TEXT, 'авторизация не прошла'],
  ])('%s', async (_name, answers, text, note) => {
    const { s } = await section(CONSENTED, answers)
    await s.refresh()
    await s.getToken()
    expect(s.tokenResult.value).toBe(text)
    expect(readSignLog()[0]).toMatchObject({ event: 'refused', note })
  })

  it('without consent the token is not asked for', async () => {
    const { s, requests } = await section({ thumbprint: ORG_THUMBPRINT })
    await s.refresh()
    expect(s.readiness.value).toBe('Нет разрешения на подпись — выдайте его выше')
    await s.getToken()
    expect(requests).toEqual([])
  })

  it('a test signature signs 32 hex characters; without consent it asks for the consent', async () => {
    const { s } = await section({ thumbprint: ORG_THUMBPRINT })
    expect(await s.testSign()).toBe('consent-needed')
    expect(host.calls.find((c) => c.cmd === 'sign_auth_data')?.args).toEqual({ data: '0123456789abcdef0123456789abcdef', thumbprint: ORG_THUMBPRINT })
    expect(s.testResult.value).toEqual({ ok: true, text: `Подпись получена, ${String(host.signature).length} символов base64` })
  })
})

describe('the contour and the marking options', () => {
  it.each<[string, Record<string, (p: Payload) => Payload>, string, boolean]>([
    ['switched', { czSetStand: () => ({ ok: true, stand: 'sandbox' }) }, '✅ Демо-стенд (песочница ЦРПТ). Токен этого контура нужно получить заново — кнопка ниже.', true],
    ['refused', { czSetStand: () => ({ ok: false, error: 'нет прав' }) }, '❌ Контур не переключен: нет прав', false],
    ['no answer', {}, `❌ Контур не переключен: ${SET_STAND_TIMEOUT}`, false],
  ])('%s', async (_name, answers, text, logged) => {
    const { s, requests } = await section(CONSENTED, answers)
    await s.setStand('sandbox')
    expect(requests[0]).toEqual({ c: 'czSetStand', p: { stand: 'sandbox' } })
    expect(s.standResult.value).toBe(text)
    expect(readSignLog().map((e) => [e.event, e.note])).toEqual(logged ? [['stand', 'Демо-стенд (песочница ЦРПТ)']] : [])
  })

  it('saves with the account\'s certificate, or the chosen one, and the typed INN or the certificate\'s', async () => {
    let server: string | null = null
    const { s, requests } = await section(CONSENTED, {
      czSettingsGet: () => ({ settings: { writeOff: false, checkMarks: true }, organizationInn: '', selected: { thumbprint: server } }),
      czSettingsSave: () => ({ ok: true, warning: 'проверьте ИНН' }),
    })
    await s.loadMarking()
    await s.saveMarking()
    expect(requests.at(-1)!.p).toEqual({ thumbprint: ORG_THUMBPRINT, inn: '7701234567', writeOff: false, checkMarks: true })
    expect(s.markingResult.value).toBe('Сохранено, но: проверьте ИНН')
    server = PERSON_THUMBPRINT
    await s.loadMarking()
    s.marking.value!.organizationInn = '5001007322'
    s.marking.value!.writeOff = true
    await s.saveMarking()
    expect(requests.at(-1)!.p).toEqual({ thumbprint: PERSON_THUMBPRINT, inn: '5001007322', writeOff: true, checkMarks: true })
    s.marking.value!.organizationInn = '12ab'
    expect(s.innError.value).toBe('ИНН состоит только из цифр')
    const before = requests.length
    await s.saveMarking()
    expect(requests.length).toBe(before)
  })
})
