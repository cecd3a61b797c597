// The "🔐 Честный Знак" settings section in the desktop app against the stand-in, with the stand-in signing
// tools: the section finds the tools and lists the certificates (English and Russian listings, UTF-8 and
// CP866), the user chooses one, grants consent and gets the token; the stand-in issues it only after its
// OpenSSL check of the real signature. With the tools' folder moved away the section shows what is missing
// and its support code, and recovers once the folder is typed in.
import { cpSync, mkdtempSync, renameSync, rmSync, writeFileSync } from 'node:fs'
import { tmpdir } from 'node:os'
import { join } from 'node:path'
import { afterAll, beforeAll, describe, expect, it } from 'vitest'
import { ROOT } from './harness/desktopApp'
import { press, restartAsDevice, useStandInRig, waitForRoute } from './harness/standInApp'
import { waitFor } from './harness/wait'
import type { Session } from './harness/webdriver'

const rig = useStandInRig()
// The tools in a folder of their own on the app's PATH, so the test can move the folder away.
const work = mkdtempSync(join(tmpdir(), 'zorvik-e2e-cz-'))
const tools = join(work, 'bin')
const moved = join(work, 'moved')
const controlFile = join(work, 'switches')
const saved = { PATH: process.env.PATH, ZORVIK_STANDIN_CONTROL: process.env.ZORVIK_STANDIN_CONTROL, ZORVIK_STANDIN_STORE: process.env.ZORVIK_STANDIN_STORE }
beforeAll(() => {
  cpSync(join(ROOT, 'tests/fixtures/signing/tools'), tools, { recursive: true })
  writeFileSync(controlFile, '')
  process.env.PATH = `${process.env.PATH ?? ''}:${tools}`
  process.env.ZORVIK_STANDIN_CONTROL = controlFile
  process.env.ZORVIK_STANDIN_STORE = join(ROOT, 'tests/fixtures/signing/store')
})
afterAll(() => {
  for (const [k, v] of Object.entries(saved)) if (v === undefined) delete process.env[k]
  else process.env[k] = v
  rmSync(work, { recursive: true, force: true })
})

const text = (session: Session, css: string) =>
  session.execute<string>('const e = document.querySelector(arguments[0]); return e ? e.textContent.trim() : ""', css)
const texts = (session: Session, css: string) =>
  session.execute<string[]>('return [...document.querySelectorAll(arguments[0])].map((e) => e.textContent.trim())', css)
const waitText = (session: Session, css: string, match: (t: string) => boolean, timeoutMs = 30_000) =>
  waitFor(`${css} to read right`, async () => {
    const t = await text(session, css)
    return match(t) ? t : undefined
  }, timeoutMs)

const CERTIFICATES = [
  'Иванов Иван Иванович · ИНН 7701234567 · до 01.01.2120 00:00:00 UTC',
  'Петров Пётр Петрович · ИНН 500100732259 · до 01.01.2120 00:00:00 UTC',
  'Сидоров Семён · без ИНН · ключ не привязан — установите из контейнера',
]

describe('signature settings', () => {
  it('finds the tools, lists the certificates, gets the token by a verified signature, and recovers a moved folder', async () => {
    const { session } = await rig.open()
    try {
      const device = await rig.standIn.mint('u-anna')
      await restartAsDevice(session, rig.standIn, device.token)
      await session.execute('location.hash = "#/settings?section=signing"')
      await waitForRoute(session, (r) => r.includes('section=signing'))

      // English listing in UTF-8, then Russian in CP866: the same certificates.
      await waitText(session, '[data-test="cz-status"]', (t) => t === 'Certificate manager stand-in 5.0.0 for tests')
      await waitFor('the certificates', async () => ((await texts(session, '[data-test="cz-cert"]')).length === 3 ? true : undefined))
      expect(await texts(session, '[data-test="cz-cert"]')).toEqual(CERTIFICATES)
      writeFileSync(controlFile, 'ZORVIK_STANDIN_LANG=ru\nZORVIK_STANDIN_CHARSET=cp866\n')
      await press(session, '[data-test="cz-refresh"]')
      await waitText(session, '[data-test="cz-status"]', (t) => t === 'Менеджер сертификатов (заменитель для тестов) 5.0.0')
      await waitFor('the Russian listing', async () => ((await texts(session, '[data-test="cz-cert"]')).length === 3 ? true : undefined))
      expect(await texts(session, '[data-test="cz-cert"]')).toEqual(CERTIFICATES)
      expect(await text(session, '[data-test="cz-readiness"]')).toBe('')

      // Choose, consent; the token is asked for at once.
      await press(session, '[data-test="cz-cert"]')
      await waitText(session, '[data-test="cz-readiness"]', (t) => t === 'Нет разрешения на подпись — выдайте его выше')
      await press(session, '[data-test="cz-grant"]')
      await press(session, '[data-test="confirm-yes"]')
      await waitText(session, '[data-test="cz-token-result"]', (t) => t.startsWith('✅ Токен получен. Действует до '), 60_000)
      expect(await text(session, '[data-test="cz-token-status"]')).toMatch(/^Действует до .* · осталось 9 ч 59 мин · ИНН 7701234567$/)
      expect(await text(session, '[data-test="cz-consent"]')).toMatch(/^Выдано .* · Иванов Иван Иванович$/)

      // And once more by the button.
      await press(session, '[data-test="cz-get-token"]')
      await waitFor('the second token', async () => {
        const { outcomes } = await rig.standIn.control<{ outcomes: Array<{ status: string }> }>('GET', '/sign-outcomes')
        return outcomes.length === 2 && outcomes.every((o) => o.status !== 'waiting') ? outcomes : undefined
      }, 60_000)
      const { outcomes } = await rig.standIn.control<{ outcomes: Array<{ status: string; detail: string }> }>('GET', '/sign-outcomes')
      expect(outcomes.map((o) => [o.status, o.detail])).toEqual([
        ['verified', 'openssl: подпись верна'],
        ['verified', 'openssl: подпись верна'],
      ])
      await waitText(session, '[data-test="cz-token-result"]', (t) => t.startsWith('✅ Токен получен.'), 60_000)
      // Newest first: each token with the signature the agent made for it, then the consent.
      const log = await texts(session, '[data-test="cz-log"] li')
      expect(log.map((line) => line.replace(/^\S+ \S+ /, ''))).toEqual([
        'Токен Честного Знака получен',
        'Подпись для Честного Знака',
        'Токен Честного Знака получен',
        'Подпись для Честного Знака',
        'Разрешение выдано — Иванов Иван Иванович',
      ])

      // The tools' folder moved away: the status says so with its code; typing the folder brings them back.
      renameSync(tools, moved)
      await press(session, '[data-test="cz-refresh"]')
      await waitText(session, '[data-test="cz-status"]', (t) => t === 'Не найден · CP-0')
      expect(await text(session, '[data-test="cz-code"]')).toBe('CP-0')
      expect(await text(session, '[data-test="cz-readiness"]')).toBe('КриптоПро не найден — подписывать нечем')
      await session.execute(
        `const el = document.querySelector('[data-test="cz-folder"]'); el.value = arguments[0]; el.dispatchEvent(new Event('change', { bubbles: true }))`,
        moved,
      )
      await waitText(session, '[data-test="cz-status"]', (t) => t === 'Менеджер сертификатов (заменитель для тестов) 5.0.0')
      await waitFor('the certificates again', async () => ((await texts(session, '[data-test="cz-cert"]')).length === 3 ? true : undefined))
      expect(await texts(session, '[data-test="cz-cert"]')).toEqual(CERTIFICATES)
      expect(await text(session, '[data-test="cz-readiness"]')).toBe('')
    } finally {
      await session.close()
    }
  }, 240_000)
})
