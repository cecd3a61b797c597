// The desktop app against the local service host: token, channel, recovery after a network break.
import { afterAll, beforeAll, describe, expect, it } from 'vitest'
import { StandIn } from '../../ui/core/testing/standIn'
import { startDisplay, type Display } from './harness/display'
import { Profile, waitForLog } from './harness/desktopApp'
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
