// The document list in the desktop app against the local service host: a signed-in device opens the
// shipments from the menu, the list loads up to its budget, "Загрузить еще" goes on, a search by number
// opens the document, and a change made in MoySklad (documentChanged.push) updates the list. The account
// has roles on: the employee, who has no role yet, says he collects, so the list holds the new documents
// and those in collection.
import { describe, expect, it } from 'vitest'
import { accountDocuments, stageOf } from '../../ui/demo'
import { restartAsDevice, useStandInRig } from './harness/standInApp'
import type { Session } from './harness/webdriver'
import { waitFor } from './harness/wait'

const rig = useStandInRig()

const hash = (session: Session) => session.execute<string>('return location.hash')

describe('the document list in the desktop app', () => {
  it('loads shipments up to the budget, loads more, opens a document found by number and follows a change in MoySklad', async () => {
    const device = await rig.standIn.mint('u-pavel')
    const { session } = await rig.open()
    try {
      // The first two pages come slowly, so the progress of the load can be read on the way.
      await rig.standIn.nextReply('getDocumentList', 'delay', { ms: 1_500, times: 2 })
      await restartAsDevice(session, rig.standIn, device.token)
      await session.execute('location.hash = "#/menu"')
      expect(await session.waitForText('[data-test="role-dialog-title"]', () => true, 30_000)).toBe('Кто вы на складе?')
      await session.click(await session.find('[data-test="role-choose-collector"]'))
      const total = accountDocuments(rig.standIn.host.backend, 'acc-lesnaya')!
        .byType.get('shipment')!
        .filter((d) => d.inFilter && ['new', 'collecting'].includes(stageOf(d))).length

      await session.click(await waitFor('the shipment tile', () => session.find('[data-test="tile-shipment"]').catch(() => undefined), 30_000))
      expect(await session.waitForText('[data-test="doc-progress-text"]', (t) => t.startsWith('Загружено 100'))).toBe(
        `Загружено 100 из 200… (всего ${total})`,
      )
      const more = await session.waitForText('[data-test="load-more"]')
      expect(more).toBe(`Загрузить еще ${total - 200}`)
      const lists = (await rig.standIn.messages('getDocumentList')).filter((m) => Array.isArray(m.p.stage) && (m.p.stage as string[]).includes('new'))
      expect(lists.map((m) => m.p.offset ?? 0)).toEqual([0, 100])
      // Only the rows in view are in the page.
      expect((await session.findAll('[data-test="doc-card"]')).length).toBeLessThan(60)

      await session.click(await session.find('[data-test="load-more"]'))
      expect(await session.waitForText('[data-test="load-more"]', (t) => t === `Загрузить еще ${total - 400}`)).toBe(`Загрузить еще ${total - 400}`)

      // Shipment 1500 is far beyond what is loaded: MoySklad finds it, and it opens.
      await session.type(await session.find('[data-test="doc-search"]'), '1500\uE007')
      const opened = await waitFor('the document to open', async () => {
        const h = await hash(session)
        return h.startsWith('#/documents/acc-lesnaya-shipment-') ? h : undefined
      })
      const found = await rig.standIn.messages('findDocument')
      expect(found.map((m) => m.p)).toEqual([{ type: 'shipment', number: '1500' }])
      expect(decodeURIComponent(opened)).toMatch(/shipment-\d+$/)

      await session.execute('history.back()')
      await session.waitForText('[data-test="doc-card"]')
      const first = await session.execute<{ id: string; number: string }>(
        `const card = document.querySelector('[data-test="doc-card"]')
         return { id: card.dataset.id, number: card.querySelector('[data-test="doc-number"]').textContent.replace('№ ', '') }`,
      )
      await rig.standIn.control('POST', '/document-changed', { documentId: first.id, checkState: 'checked' })
      expect(await session.waitForText('[data-test="doc-note"]')).toBe(`Документ ${first.number} отмечен проверенным в МоемСкладе`)
      // The list was loaded again and the checked document left the open tab.
      await waitFor('the checked document to leave the list', async () =>
        (await session.execute<boolean>('return !document.querySelector(`[data-id="${arguments[0]}"]`)', first.id)) || undefined,
      )
      expect((await rig.standIn.messages('getDocumentList')).length).toBeGreaterThan(4)
    } finally {
      await session.close()
    }
  })
})
