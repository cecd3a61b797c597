// Completion scenarios in the desktop app against the local service host. An administrator configures the
// scenario "После сборки" with a status action and a box label print in Настройки → Сценарии; the same
// employee, working as a collector, finishes a shipment: the document screen shows the run's progress while
// the print hangs on the stand-in, then its outcome when the print fails (a success line and the error line
// with the server's text); once the failure is lifted, "Повторить" runs the print again and the run succeeds.
import { describe, expect, it } from 'vitest'
import { accountDocuments, accountScenarios, type DemoDocument } from '../../ui/demo'
import { press, restartAsDevice, scanByWedge, setFieldValue, textOf, useStandInRig, waitForRoute } from './harness/standInApp'
import { waitFor } from './harness/wait'
import type { Session } from './harness/webdriver'

const rig = useStandInRig()
const ACCOUNT = 'acc-lesnaya'
const PRINTER_DOWN = 'Принтер контролера не в сети'

const docs = () => accountDocuments(rig.standIn.host.backend, ACCOUNT)!

/** A new shipment among the newest of two or three products without marks, each on one line. */
function plainShipment(): DemoDocument {
  const found = docs()
    .byType.get('shipment')!
    .filter((d) => d.inFilter && d.status === 'pending' && !d.check)
    .slice(0, 60)
    .find(
      (d) =>
        d.positions.length >= 2 &&
        d.positions.length <= 3 &&
        new Set(d.positions.map((p) => p.productId)).size === d.positions.length &&
        d.positions.every((p) => !docs().products.get(p.productId)!.markable && p.quantity <= 3),
    )
  if (!found) throw new Error('no plain shipment among the newest')
  return found
}

const choose = setFieldValue
const text = textOf

/** Presses an element of the long settings page, brought to the middle first (the save bar sticks to the bottom). */
async function pressInPage(session: Session, css: string): Promise<void> {
  await waitFor(`${css} to appear`, async () => (await session.findAll(css))[0], 20_000)
  await session.execute('document.querySelector(arguments[0]).scrollIntoView({ block: "center" })', css)
  await press(session, css)
}

/** Waits until the element's text satisfies `ok`, and answers it. */
const textWhen = (session: Session, css: string, ok: (t: string) => boolean) =>
  waitFor(`${css} to read as expected`, async () => {
    const t = await text(session, css)
    return ok(t) ? t : undefined
  }, 30_000)

describe('completion scenarios in the desktop app', () => {
  it('an administrator configures a scenario; a finished shipment shows its run, a failed print and a retry', async () => {
    const doc = plainShipment()
    const device = await rig.standIn.mint('u-anna')
    const { session: anna } = await rig.open()
    try {
      await restartAsDevice(anna, rig.standIn, device.token)

      // ---- the administrator's editor
      await anna.execute('location.hash = "#/settings?section=scenarios"')
      await anna.waitForText('[data-test="scenario-summary-collected"]', (t) => t === 'Ничего не делается', 30_000)
      await pressInPage(anna, '[data-test="action-on-collected-documentState"]')
      await pressInPage(anna, '[data-test="action-on-collected-printBox"]')
      expect(await text(anna, '[data-test="scenario-summary-collected"]')).toBe('Включено: 2 действия')
      // Saving without a status is refused on the screen, before the server sees anything.
      await pressInPage(anna, '[data-test="scenarios-save"]')
      expect(await anna.waitForText('[data-test="scenarios-problems"]')).toBe('После сборки: выберите статус для действия «Статус документа»')
      expect(await rig.standIn.messages('accountSettingsSet')).toEqual([])
      await waitFor('the status list', async () => (await anna.findAll('[data-test="action-state-collected-documentState"] option[value="st-demand-collected"]'))[0])
      await choose(anna, '[data-test="action-state-collected-documentState"]', 'st-demand-collected')
      await pressInPage(anna, '[data-test="scenarios-save"]')
      expect(await anna.waitForText('[data-test="scenarios-message"]')).toBe('Сохранено')
      expect(accountScenarios(rig.standIn.host.backend, ACCOUNT).events.collected.filter((a) => a.enabled)).toEqual([
        expect.objectContaining({ key: 'documentState', stateId: 'st-demand-collected' }),
        expect.objectContaining({ key: 'printBox' }),
      ])

      // ---- the collector's shipment; the box label hangs on the stand-in for now
      await rig.standIn.control('POST', '/scenario-fault', { action: 'printBox', mode: 'hang' })
      await anna.execute('location.hash = "#/menu"')
      await press(anna, '[data-test="tile-shipment"]')
      const search = await waitFor('the list search', async () => (await anna.findAll('[data-test="doc-search"]'))[0], 30_000)
      await anna.type(search, doc.number)
      await press(anna, `[data-test="doc-card"][data-id="${doc.id}"]`)
      await waitForRoute(anna, (r) => r.startsWith(`/documents/${encodeURIComponent(doc.id)}`))
      for (const p of doc.positions) {
        const barcode = docs().products.get(p.productId)!.barcodes[0]!
        for (let n = 0; n < p.quantity; n++) expect(await scanByWedge(anna, barcode)).toMatch(/^✅/)
      }
      await anna.waitForText('[data-test="finish"]', (t) => t.trim() === '✅ Завершить сборку')
      await press(anna, '[data-test="finish"]')
      await press(anna, '[data-test="finish-confirm"]')

      expect(await anna.waitForText('[data-test="scenario-queued"]', () => true, 30_000)).toBe('Сценарий: 2 действия в очереди')
      expect(await textWhen(anna, '[data-test="scenario-progress"]', (t) => t.endsWith('1 из 2'))).toBe('Сценарий выполняется: сделано 1 из 2')
      expect(await anna.findAll('[data-test="scenario-retry"]')).toEqual([])

      // ---- the print fails: the outcome, and the administrator's retry once the failure is lifted
      await rig.standIn.control('POST', '/scenario-fault', { action: 'printBox', mode: 'fail', error: PRINTER_DOWN })
      expect(await textWhen(anna, '[data-test="scenario-error"]', Boolean)).toBe(`Не получилось: печать не ушла — ${PRINTER_DOWN}`)
      expect(await text(anna, '[data-test="scenario-success"]')).toBe('Сценарий: статус поставлен')
      await rig.standIn.control('POST', '/scenario-lift', { action: 'printBox' })
      await press(anna, '[data-test="scenario-retry"]')
      expect(await textWhen(anna, '[data-test="scenario-success"]', (t) => t.includes('печать'))).toBe('Сценарий: статус поставлен, печать ушла')
      expect(await anna.findAll('[data-test="scenario-error"]')).toEqual([])
      expect(await anna.findAll('[data-test="scenario-retry"]')).toEqual([])

      // Only this completion's run was asked about, and its retry went out once.
      const runId = (await rig.standIn.messages('scenarioRetry')).map((m) => m.p.runId)
      expect(runId).toHaveLength(1)
      const { runs } = await rig.standIn.control<{ runs: Array<{ runId: string; documentId: string; status: string }> }>('GET', `/scenario-runs?documentId=${encodeURIComponent(doc.id)}`)
      expect(runs).toEqual([expect.objectContaining({ runId: runId[0], status: 'done' })])

      await press(anna, '[data-test="scenario-to-list"]')
      await waitForRoute(anna, (r) => r.startsWith('/documents?'))
    } finally {
      await anna.close()
    }
  })
})
