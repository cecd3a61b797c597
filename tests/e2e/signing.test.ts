// The signing agent in the desktop app against the stand-in, with the stand-in signing tools: the device
// reports its certificates, the stand-in asks for a signature of a fresh authorisation string (and of a
// small document), the app signs with the chosen certificate and the stand-in's OpenSSL check of the
// returned signature passes; the sign log page shows it. A signing tool that hangs gives the time-out
// refusal while the window keeps answering.
import { mkdtempSync, rmSync, writeFileSync } from 'node:fs'
import { tmpdir } from 'node:os'
import { join } from 'node:path'
import { afterAll, beforeAll, describe, expect, it } from 'vitest'
import { ROOT } from './harness/desktopApp'
import { restartAsDevice, useStandInRig, waitForRoute } from './harness/standInApp'
import { chooseCertificate } from './harness/signingSettings'
import { waitFor } from './harness/wait'

const TOOLS = join(ROOT, 'tests/fixtures/signing/tools')
const CONSENT_SCOPE = 'v1:auth+withdrawal'
const TIMEOUT_TEXT = 'КриптоПро не ответил за 20 секунд. Обычно это пароль на контейнере или недоступный носитель с ключом.'

interface Outcome {
  requestId: string
  status: 'waiting' | 'verified' | 'invalid' | 'refused' | 'timeout'
  error?: string
  detail?: string
}

const rig = useStandInRig()
// The app finds the stand-in tools on its PATH; the control file changes them while it runs.
const controlDir = mkdtempSync(join(tmpdir(), 'zorvik-e2e-tools-'))
const controlFile = join(controlDir, 'switches')
const saved = { PATH: process.env.PATH, ZORVIK_STANDIN_CONTROL: process.env.ZORVIK_STANDIN_CONTROL }
beforeAll(() => {
  writeFileSync(controlFile, '')
  process.env.PATH = `${process.env.PATH ?? ''}:${TOOLS}`
  process.env.ZORVIK_STANDIN_CONTROL = controlFile
})
afterAll(() => {
  for (const [k, v] of Object.entries(saved)) if (v === undefined) delete process.env[k]
  else process.env[k] = v
  rmSync(controlDir, { recursive: true, force: true })
})

async function outcomeOf(requestId: string, until: (o: Outcome) => boolean, timeoutMs = 30_000): Promise<Outcome> {
  return waitFor(`the outcome of ${requestId}`, async () => {
    const { outcome } = await rig.standIn.control<{ outcome: Outcome }>('GET', `/sign-outcomes?requestId=${requestId}`)
    return until(outcome) ? outcome : undefined
  }, timeoutMs)
}

describe('signing agent', () => {
  it('signs the stand-in\'s requests with the chosen certificate, logs them, and refuses on a hanging tool', async () => {
    const { session } = await rig.open()
    try {
      const device = await rig.standIn.mint('u-anna')
      // The first connection reports the tools' certificates; the user then chooses one and consents.
      await restartAsDevice(session, rig.standIn, device.token)
      const report = await waitFor('the certificate report', async () => {
        const sent = await rig.standIn.messages('reportCertificates')
        return sent.find((m) => Array.isArray(m.p.certificates) && m.p.certificates.length > 0)?.p
      })
      const certificates = report.certificates as Array<Record<string, unknown>>
      expect(certificates.map((c) => c.hasPrivateKey)).toEqual([true, true, false])
      expect(certificates.every((c) => c.isValid === true)).toBe(true)
      expect(report.crypto).toMatchObject({ available: true, cryptcpPath: join(TOOLS, 'cryptcp') })
      const chosen = certificates[0]!
      await chooseCertificate(session, {
        thumbprint: chosen.thumbprint,
        inn: chosen.inn,
        consentAt: new Date().toISOString(),
        consentSubject: 'Иванов Иван Иванович',
        consentScope: CONSENT_SCOPE,
      })
      await restartAsDevice(session, rig.standIn, device.token)
      await waitFor('the consent report', async () =>
        (await rig.standIn.messages('cryptoConsent')).some((m) => m.p.thumbprint === chosen.thumbprint && m.p.granted === true),
      )

      // The server asks for the token's signature; its thumbprint comes in upper case.
      const { requestId } = await rig.standIn.control<{ requestId: string }>('POST', '/sign-auth', {
        token: device.token,
        thumbprint: String(chosen.thumbprint).toUpperCase(),
      })
      expect(await outcomeOf(requestId, (o) => o.status !== 'waiting')).toMatchObject({ status: 'verified', detail: 'openssl: подпись верна' })
      const doc = await rig.standIn.control<{ requestId: string }>('POST', '/sign-document', { token: device.token })
      expect(await outcomeOf(doc.requestId, (o) => o.status !== 'waiting')).toMatchObject({ status: 'verified' })

      await session.execute('location.hash = "#/sign-log"')
      await waitForRoute(session, '/sign-log')
      await session.waitForText('[data-test="sign-log-count"]', (t) => t === 'Всего записей: 2')
      const labels = await session.execute<string[]>(
        'return [...document.querySelectorAll(\'[data-test="sign-log-row"] strong\')].map((e) => e.textContent.trim())',
      )
      expect(labels).toEqual(['Подпись документа', 'Подпись для Честного Знака'])

      // A tool that never ends: the window keeps answering while the host waits out its 20 seconds.
      writeFileSync(controlFile, 'ZORVIK_STANDIN_HANG=cryptcp\n')
      const hung = await rig.standIn.control<{ requestId: string }>('POST', '/sign-auth', { token: device.token })
      await session.execute('location.hash = "#/settings"')
      await waitForRoute(session, '/settings')
      await session.click(await session.find('[data-test="settings-tab-look"]'))
      await waitForRoute(session, (r) => r.includes('section=look'))
      expect((await outcomeOf(hung.requestId, () => true)).status).toBe('waiting')
      const refused = await outcomeOf(hung.requestId, (o) => o.status !== 'waiting', 45_000)
      expect(refused).toMatchObject({ status: 'refused', error: TIMEOUT_TEXT })
      writeFileSync(controlFile, '')

      await session.execute('location.hash = "#/sign-log"')
      await session.waitForText('[data-test="sign-log-count"]', (t) => t === 'Всего записей: 3')
      const first = await session.execute<string>(
        'return document.querySelector(\'[data-test="sign-log-row"][data-event="refused"] [data-test="sign-log-detail"]\')?.textContent.trim() ?? ""',
      )
      expect(first).toBe(TIMEOUT_TEXT)
    } finally {
      await session.close()
    }
  }, 180_000)
})
