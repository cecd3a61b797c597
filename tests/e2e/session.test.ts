// The desktop app against the local service host: token, channel, recovery after a network break and
// after a restart of the service host, the screens the menu leads to, and settings per account.
import { afterAll, beforeAll, describe, expect, it } from 'vitest'
import { createBackend, demoSigner, accountDocuments } from '../../ui/demo'
import { StandIn } from '../../ui/core/testing/standIn'
import { startDisplay, type Display } from './harness/display'
import { Profile, waitForLog } from './harness/desktopApp'
import { press, storeDeviceToken, typePin, waitForRoute, waitForStartup } from './harness/standInApp'
import { StandInProcess } from './harness/standInProcess'
import { Session } from './harness/webdriver'
import { waitFor } from './harness/wait'

let display: Display
let standIn: StandIn
const profiles: Profile[] = []

beforeAll(async () => {
  display = await startDisplay()
  standIn = await StandIn.start()
})
afterAll(async () => {
  await standIn?.close()
  await display?.stop()
  for (const p of profiles) p.remove()
})

describe('the session in the desktop app', () => {
  it('fetches a token through the host, connects, logs a network break and its recovery, and shows the send queue', async () => {
    const profile = new Profile()
    profiles.push(profile)
    const session = await Session.start(profile, display.name)
    try {
      // Point this profile at the stand-in on its free port, then start the page again.
      await session.execute('localStorage.setItem("zv_service_url", JSON.stringify(arguments[0])); location.reload()', standIn.url)
      await waitFor('an anonymous connection', async () => (await standIn.connections()).some((c) => c.kind === 'anon'), 30_000)
      const lines = await waitForLog(profile, (l) => l === 'сокет: подключен')
      expect(lines).toContain('fetchInitialJwt: ок, токен получен')
      expect(lines).toContain('этап запуска: Получение токена...')

      await standIn.disconnect('transport')
      const after = await waitForLog(profile, (l) => l.startsWith('сокет: подключен — восстановление заняло'))
      expect(after).toContainEqual(expect.stringMatching(/^сокет: разрыв связи — сеть пропала \(transport close\) \(жило \d+ с\)$/))
      expect(after).toContain('сокет: попытка переподключения №1')

      await session.execute('location.hash = "#/send-queue"')
      expect(await session.waitForText('[data-test="queue-empty"]')).toContain('Все отправлено')
    } finally {
      await session.close()
    }
  })
})

// ---- with the stand-in as its own process

/** The app started on a fresh profile and pointed at `url`. */
async function appAt(url: string): Promise<{ session: Session; profile: Profile }> {
  const profile = new Profile()
  profiles.push(profile)
  const session = await Session.start(profile, display.name)
  await session.execute('window.__zvOldPage = true; localStorage.setItem("zv_service_url", JSON.stringify(arguments[0])); location.reload()', url)
  await waitForStartup(session)
  return { session, profile }
}

const SHIPMENT = accountDocuments(createBackend({ sign: demoSigner }), 'acc-master')!

const QUEUED = '📦 Документ сохранен на устройстве и уйдет сам, как появится связь.'

describe('a restart of the service host', () => {
  const running: StandInProcess[] = []
  afterAll(async () => {
    for (const s of running) await s.stop()
  })

  it('the app reconnects by itself within the back-off, the notice clears, and a document queued meanwhile is delivered once', async () => {
    const first = await StandInProcess.start()
    running.push(first)
    const { session, profile } = await appAt(first.url)
    try {
      const { token } = await first.control<{ token: string }>('POST', '/mint', { userId: 'u-oleg' })
      await storeDeviceToken(session, first.url, token)
      await session.execute('window.__zvOldPage = true; location.reload()')
      await waitForStartup(session)
      await waitFor('the device to connect', async () => (await first.connections()).some((c) => c.kind === 'device'), 30_000)

      // A pending shipment with a product sold without marks: one scan, then finished short.
      const doc = SHIPMENT.byType.get('shipment')!.find(
        (d) => d.status === 'pending' && d.inFilter && d.positions.length >= 2 && !SHIPMENT.products.get(d.positions[0]!.productId)!.markable,
      )!
      await session.execute('location.hash = "#/documents?type=shipment"')
      await press(session, `[data-test="doc-card"][data-id="${doc.id}"]`)
      await session.waitForText('[data-test="tab-list"]', (t) => t.includes(`(${doc.positions.length})`), 30_000)

      await first.stop()
      await waitForLog(profile, (l) => /^сокет: разрыв связи — сервер сам закрыл соединение/.test(l))
      expect(await session.waitForText('[data-test="connection-notice"]')).toMatch(/^(Нет соединения с сервером|Переподключение\.\.\.)$/)

      const code = SHIPMENT.products.get(doc.positions[0]!.productId)!.barcodes[0]!
      await session.type(await session.find('[data-test="scanner-wedge"]'), `${code}\uE007`)
      await session.waitForText('[data-test="scan-message"]', (t) => t.startsWith('✅'))
      await session.waitForText('[data-test="finish"]', (t) => t.trim() === 'Завершить с недобором')
      await press(session, '[data-test="finish"]')
      await press(session, '[data-test="finish-confirm"]')
      expect(await session.waitForText('[data-test="finish-message"]')).toBe(QUEUED)
      await press(session, '[data-test="finish-ok"]')
      await waitForRoute(session, '/documents?type=shipment')

      // Down for a while: several attempts, then the service host comes back on the same port.
      await waitForLog(profile, (l) => l === 'сокет: попытка переподключения №2', 30_000)
      const second = await StandInProcess.start(first.ports)
      running.push(second)
      const lines = await waitForLog(profile, (l) => l.startsWith('сокет: подключен — восстановление заняло'), 30_000)
      expect(lines).toContainEqual(expect.stringMatching(/^сокет: переподключение удалось \(попытка №\d+\)$/))
      await waitFor('the notice to clear', async () => (await session.findAll('[data-test="connection-notice"]')).length === 0, 10_000)

      const delivered = async () =>
        (await second.control<{ completions: Array<{ documentId: string }> }>('GET', '/completions')).completions.filter((c) => c.documentId === doc.id)
      await waitFor('the queued document to arrive', async () => (await delivered()).length > 0, 30_000)
      await waitFor('the queue to empty', async () =>
        (await session.execute<string>('return localStorage.getItem("zv_send_queue") || "[]"')) === '[]', 10_000)
      await new Promise((r) => setTimeout(r, 1_000))
      expect(await delivered()).toHaveLength(1)
    } finally {
      await session.close()
    }
  })
})

describe('the menu and settings of two accounts on one terminal', () => {
  const running: StandInProcess[] = []
  afterAll(async () => {
    for (const s of running) await s.stop()
  })

  it('request-only tiles open the contact screen; quick login into another account applies that account\'s settings', async () => {
    const standIn = await StandInProcess.start()
    running.push(standIn)
    const { session } = await appAt(standIn.url)
    try {
      // Two employees of two accounts already bound to this terminal with their PINs.
      const anna = await standIn.control<{ token: string; refreshToken: string }>('POST', '/mint', { userId: 'u-anna' })
      const oleg = await standIn.control<{ token: string; refreshToken: string }>('POST', '/mint', { userId: 'u-oleg' })
      const saved = [
        { id: 'acc-1', addedAt: 1, pin: '123456', deviceJwt: anna.token, refreshToken: anna.refreshToken, name: 'Анна Смирнова', settings: {} },
        { id: 'acc-2', addedAt: 2, pin: '333444', deviceJwt: oleg.token, refreshToken: oleg.refreshToken, name: 'Олег Орлов', settings: {} },
      ]
      await session.execute('window.__zvOldPage = true; localStorage.setItem("zv_accounts", JSON.stringify(arguments[0])); location.reload()', saved)
      await waitForStartup(session)
      await waitForRoute(session, '/quick-login')

      await typePin(session, '123456')
      await waitForRoute(session, (r) => r.startsWith('/menu'))
      for (const type of ['transfer', 'customer_return']) {
        await press(session, `[data-test="tile-${type}"]`)
        await waitForRoute(session, `/contact?type=${type}`)
        expect(await session.waitForText('[data-test="contact-title"]')).toBe('Связаться с нами')
        await press(session, '[data-test="contact-menu"]')
        await waitForRoute(session, '/menu')
      }

      const stockDisplay = async () => {
        await session.execute('location.hash = "#/settings?section=account"')
        const select = await waitFor('the account settings', async () => (await session.findAll('[data-test="account-stock-display"]'))[0], 20_000)
        void select
        return session.execute<string>('return document.querySelector(\'[data-test="account-stock-display"]\').value')
      }
      expect(await stockDisplay()).toBe('both')

      await session.execute('location.hash = "#/menu"')
      await press(session, '[data-test="menu-exit"]')
      await press(session, '[data-test="confirm-yes"]')
      await waitForRoute(session, '/quick-login')
      await typePin(session, '333444')
      await waitForRoute(session, (r) => r.startsWith('/menu'))
      expect(await stockDisplay()).toBe('cell')
    } finally {
      await session.close()
    }
  })
})
