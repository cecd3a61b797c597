// Picking in the desktop app against the local service host: a signed-in device opens a document by
// its address, scans are typed into the page key by key as a wedge scanner does, and the screen
// answers with the message, the count and the list position; a scan before the contents arrive is
// refused; undo mode takes one off; leaving and opening the document again brings the draft back.
import { describe, expect, it } from 'vitest'
import { largeDocumentBarcode } from '../../ui/demo'
import { restartAsDevice, useStandInRig } from './harness/standInApp'
import { waitFor } from './harness/wait'
import { Session } from './harness/webdriver'

const rig = useStandInRig()

/** Types a code into the scanner's field key by key and ends it with Enter, as a wedge scanner does. */
async function wedge(session: Session, code: string): Promise<void> {
  await session.type(await session.find('[data-test="scanner-wedge"]'), `${code}\uE007`)
}

const message = (session: Session) => session.execute<string>('return document.querySelector(\'[data-test="scan-message"]\').textContent.trim()')
const rowText = (session: Session, id: string) =>
  session.execute<string | null>('const r = document.querySelector(`[data-test="list-row-${arguments[0]}"]`); return r ? r.textContent : null', id)

describe('picking in the desktop app', () => {
  it('scans by keystrokes, refuses a scan before the contents, undoes one and keeps the draft', async () => {
    // Oleg's account works without roles: "Проверено" for a complete position, editing allowed.
    const device = await rig.standIn.mint('u-oleg')
    const doc = await rig.standIn.control<{ documentId: string; number: string }>('POST', '/seed-document', { accountId: 'acc-master', size: 60 })
    const address = `#/documents/${encodeURIComponent(doc.documentId)}?type=shipment`
    const { session } = await rig.open()
    try {
      // Start-up ends by going to "/"; the document is opened after that.
      await restartAsDevice(session, rig.standIn, device.token)

      // The contents come late: a scan meanwhile is refused and counts nothing.
      await rig.standIn.nextReply('subscribeDocument', 'delay', { ms: 3_000 })
      await session.execute('location.hash = arguments[0]', address)
      await session.waitForText('[data-test="document-screen"]')
      const far = largeDocumentBarcode(50)
      await wedge(session, far)
      expect(await session.waitForText('[data-test="scan-message"]', (t) => t !== '')).toBe(
        'Состав документа еще загружается — отсканируйте через пару секунд',
      )
      expect(await session.waitForText('[data-test="tab-list"]', (t) => t.includes('(60)'), 10_000)).toContain('📋 Список (60)')

      // After loading the same scan counts; the list (the default tab) scrolls to the position.
      const id = 'large-00050'
      await wedge(session, far)
      expect(await session.waitForText('[data-test="scan-message"]', (t) => t.startsWith('✅'))).toBe('✅ Товар для сборки №50 (1/1000)')
      const row = await waitFor('row 50 in view', async () => ((await rowText(session, id)) ?? '').includes('1 / 1000') || undefined)
      expect(row).toBe(true)
      expect(await rowText(session, id)).toContain('Частично')
      expect(await session.execute<boolean>('return document.querySelector(`[data-test="list-row-${arguments[0]}"]`).classList.contains("plist__row--focused")', id)).toBe(true)
      // Row 1 is out of view: the list is virtual.
      expect(await rowText(session, 'large-00001')).toBeNull()
      await wedge(session, far)
      expect(await session.waitForText('[data-test="scan-message"]', (t) => t.includes('(2/1000)'))).toBe('✅ Товар для сборки №50 (2/1000)')

      // Undo mode takes one off.
      await session.click(await session.find('[data-test="undo-toggle"]'))
      expect(await session.waitForText('[data-test="undo-banner"]')).toBe('➖ Режим отмены — отсканируйте товар, чтобы убрать его из документа')
      await wedge(session, far)
      expect(await session.waitForText('[data-test="scan-message"]', (t) => t.startsWith('➖'))).toBe('➖ Убрано: Товар для сборки №50')
      expect(await session.waitForText(`[data-test="list-row-${id}"] [data-test="row-count"]`)).toBe('1 / 1000')

      // A code that is in no document of the account: the reference is asked, once.
      await session.click(await session.find('[data-test="undo-toggle"]'))
      await wedge(session, '4601111111118')
      expect(await session.waitForText('[data-test="scan-message"]', (t) => t.startsWith('В номенклатуре'))).toBe(
        'В номенклатуре код не найден. Попробуйте найти на товаре другой код',
      )
      expect((await rig.standIn.messages('barcodeCheck')).map((m) => m.p)).toEqual([{ barcode: '4601111111118' }])

      // Leaving and opening the document again brings the counted item back from the draft.
      await session.click(await session.find('[data-test="back"]'))
      await waitFor('the list route', async () => ((await session.execute<string>('return location.hash')) === '#/documents') || undefined)
      await session.execute('location.hash = arguments[0]', address)
      expect(await session.waitForText('[data-test="tab-list"]', (t) => t.includes('(60)'))).toContain('(60)')
      await session.click(await session.find('[data-test="tab-scan"]'))
      await wedge(session, far)
      expect(await session.waitForText('[data-test="card-count"]', (t) => t === '2 / 1000')).toBe('2 / 1000')
      expect(await message(session)).toBe('✅ Товар для сборки №50 (2/1000)')
    } finally {
      await session.close()
    }
  })
})
