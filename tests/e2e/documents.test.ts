// The document list in the desktop app against the local service host: a signed-in device opens the
// shipments from the menu, the list loads up to its budget, "Загрузить еще" goes on, a search by number
// opens the document, and a change made in MoySklad (documentChanged.push) updates the list.
import { afterAll, beforeAll, describe, expect, it } from 'vitest'
import { StandIn } from '../../ui/core/testing/standIn'
import { startDisplay, type Display } from './harness/display'
import { Profile } from './harness/desktopApp'
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

/**
 * Signs the profile's device in the way a finished device sign-in leaves it: the device token in the
 * host's credentials store, and the stand-in's address for this run. Then the page starts again.
 */
async function signInDevice(session: Session, token: string): Promise<void> {
  const done = await session.executeAsync<string>(
    `const [url, token, finish] = arguments
     const invoke = window.__ZORVIK__.invoke
     localStorage.setItem('zv_service_url', JSON.stringify(url))
     invoke('plugin:store|load', { path: 'credentials.dat', options: { defaults: {} } })
       .then((rid) => invoke('plugin:store|set', { rid, key: 'device_jwt', value: token }).then(() => invoke('plugin:store|save', { rid })))
       .then(() => finish('ok'), (e) => finish(String(e)))`,
    standIn.url,
    token,
  )
  expect(done).toBe('ok')
}

const hash = (session: Session) => session.execute<string>('return location.hash')

describe('the document list in the desktop app', () => {
  it('loads shipments up to the budget, loads more, opens a document found by number and follows a change in MoySklad', async () => {
    const profile = new Profile()
    profiles.push(profile)
    const device = await standIn.mint('u-pavel')
    const session = await Session.start(profile, display.name)
    try {
      await signInDevice(session, device.token)
      // The first two pages come slowly, so the progress of the load can be read on the way.
      await standIn.nextReply('getDocumentList', 'delay', { ms: 1_500, times: 2 })
      await session.execute('location.reload()')
      await waitFor('the device to connect', async () => (await standIn.connections()).some((c) => c.kind === 'device' && c.token === device.token), 30_000)
      await session.execute('location.hash = "#/menu"')

      await session.click(await waitFor('the shipment tile', () => session.find('[data-test="tile-shipment"]').catch(() => undefined), 30_000))
      expect(await session.waitForText('[data-test="doc-progress-text"]', (t) => t.startsWith('Загружено 100'))).toBe(
        'Загружено 100 из 200… (всего 1200)',
      )
      const more = await session.waitForText('[data-test="load-more"]')
      expect(more).toBe('Загрузить еще 1000')
      const lists = await standIn.messages('getDocumentList')
      expect(lists.map((m) => m.p.offset ?? 0)).toEqual([0, 100])
      // Only the rows in view are in the page.
      expect((await session.findAll('[data-test="doc-card"]')).length).toBeLessThan(60)

      await session.click(await session.find('[data-test="load-more"]'))
      expect(await session.waitForText('[data-test="load-more"]', (t) => t === 'Загрузить еще 800')).toBe('Загрузить еще 800')

      // Shipment 1500 is far beyond what is loaded: MoySklad finds it, and it opens.
      await session.type(await session.find('[data-test="doc-search"]'), '1500\uE007')
      const opened = await waitFor('the document to open', async () => {
        const h = await hash(session)
        return h.startsWith('#/documents/acc-lesnaya-shipment-') ? h : undefined
      })
      const found = await standIn.messages('findDocument')
      expect(found.map((m) => m.p)).toEqual([{ type: 'shipment', number: '1500' }])
      expect(decodeURIComponent(opened)).toMatch(/shipment-\d+$/)

      await session.execute('history.back()')
      await session.waitForText('[data-test="doc-card"]')
      const first = await session.execute<{ id: string; number: string }>(
        `const card = document.querySelector('[data-test="doc-card"]')
         return { id: card.dataset.id, number: card.querySelector('[data-test="doc-number"]').textContent.replace('№ ', '') }`,
      )
      await standIn.control('POST', '/document-changed', { documentId: first.id, checkState: 'checked' })
      expect(await session.waitForText('[data-test="doc-note"]')).toBe(`Документ ${first.number} отмечен проверенным в МоемСкладе`)
      // The list was loaded again and the checked document left the open tab.
      await waitFor('the checked document to leave the list', async () =>
        (await session.execute<boolean>('return !document.querySelector(`[data-id="${arguments[0]}"]`)', first.id)) || undefined,
      )
      expect((await standIn.messages('getDocumentList')).length).toBeGreaterThan(4)
    } finally {
      await session.close()
    }
  })
})
