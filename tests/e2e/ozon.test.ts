// Ozon in the desktop app against the stand-in seller and a private CUPS
// scheduler: a new posting opened from the Ozon page, picked on the picking
// screen by its barcodes, completed and shipped from the Ozon page; its label,
// ready only on the third request, comes out here once (one 75 × 120 mm page)
// although completion and shipping both reach the print step. Then a shop
// printer registered by a second app: the next posting's label is relayed to
// that app and printed there, once.
import { afterAll, beforeAll, describe, expect, it } from 'vitest'
import type { StandIn } from '../../ui/core/testing/standIn'
import { accountDocuments, type OzonPostingRecord, type RelayJob } from '../../ui/demo'
import { MM, pdfPages, PrintProfile, startPrintRig, type PrintRig } from './harness/cupsd'
import { pointAt, press, restartAsDevice, waitForRoute } from './harness/standInApp'
import { waitFor } from './harness/wait'
import { Session } from './harness/webdriver'

const ACCOUNT = 'acc-master'
const ENTER = '\uE007'
/** Key pause of a wedge scanner. */
const SCANNER_MS = 8

let rig: PrintRig | undefined
let standIn: StandIn
let cupsd: PrintRig['cupsd']
let session: Session
let other: { session: Session; profile: PrintProfile } | undefined

beforeAll(async () => {
  rig = await startPrintRig()
  ;({ standIn, cupsd, session } = rig)
  const device = await standIn.mint('u-oleg')
  await restartAsDevice(session, standIn, device.token)
  // This desk prints Ozon posting labels: the label size of its print settings is 75 × 120.
  await session.execute('location.hash = "#/settings?section=print"')
  await waitFor('the size presets', async () => (await session.findAll('[data-test="size-preset"]')).length > 0)
  await session.execute('[...document.querySelectorAll(\'[data-test="size-preset"]\')].find((b) => b.textContent.trim() === "75 × 120").click()')
  await session.waitForText('[data-test="current-size"]', (t) => t === 'Сейчас: 75 × 120 мм')
}, 120_000)

afterAll(async () => {
  await other?.session.close().catch(() => {})
  other?.profile.remove()
  await rig?.stop()
}, 120_000)

async function newPosting(fields: Record<string, unknown> = {}): Promise<OzonPostingRecord> {
  const { posting } = await standIn.control<{ posting: OzonPostingRecord }>('POST', '/ozon/posting', { accountId: ACCOUNT, ...fields })
  return posting
}

/** The barcode of each item of the posting's document, as many times as it is ordered. */
function itemsOf(documentId: string): string[] {
  const docs = accountDocuments(standIn.host.backend, ACCOUNT)!
  return docs.byId.get(documentId)!.positions.flatMap((p) => Array<string>(p.quantity).fill(docs.products.get(p.productId)!.barcodes[0]!))
}

async function openOzonPage(s: Session): Promise<void> {
  await s.execute('location.hash = "#/marketplaces/ozon"')
  await waitForRoute(s, '/marketplaces/ozon')
}

const row = (id: string) => `[data-test="ozon-row"][data-id="${id}"]`
/** The row's state, or undefined while it is not shown. */
const rowState = async (s: Session, id: string) =>
  (await s.execute<string | null>('const r = document.querySelector(arguments[0]); return r ? r.dataset.state : null', row(id))) ?? undefined

/** Waits for the next job in the capture queue and answers its size: one page expected. */
async function nextLabel(before: number): Promise<{ pages: number; width: number; height: number }> {
  const jobs = await waitFor('the label in the queue', () => (cupsd.jobs().length > before ? cupsd.jobs() : undefined), 60_000)
  expect(jobs).toHaveLength(before + 1)
  return pdfPages(jobs.at(-1)!.pdf)
}

describe('Ozon in the desktop app', () => {
  it('a posting picked, completed and shipped: its late label prints here once, 75 × 120 mm', { timeout: 240_000 }, async () => {
    const posting = await newPosting({ notReady: 2 })
    const id = posting.documentId
    await session.execute('location.hash = "#/marketplaces"')
    await press(session, '[data-test="hub-card-ozon"]')
    await waitForRoute(session, '/marketplaces/ozon')
    expect(await waitFor('the new posting', () => rowState(session, id), 30_000)).toBe('to-collect')
    expect(await session.text(await session.find(`${row(id)} [data-test="ozon-row-number"]`))).toBe(`№ ${posting.postingNumber}`)
    expect(await session.text(await session.find(`${row(id)} [data-test="ozon-ship"]`))).toBe('Собрано в Ozon')

    // The row opens the posting on the picking screen; its label is fetched ahead, not printed.
    const before = cupsd.jobs().length
    await press(session, `${row(id)} [data-test="ozon-row-number"]`)
    await waitForRoute(session, (r) => r.startsWith(`/documents/${encodeURIComponent(id)}`))
    const items = itemsOf(id)
    await session.waitForText('[data-test="tab-list"]', (t) => /\(\d+\)/.test(t), 30_000)
    await waitFor('the label fetched ahead', async () => (await standIn.messages('ozonLabel')).length >= 3, 30_000)
    expect(cupsd.jobs()).toHaveLength(before)

    for (const code of items) {
      await session.executeAsync('const done = arguments[0]; requestAnimationFrame(() => requestAnimationFrame(() => done()))')
      await session.keys([...code, ENTER], SCANNER_MS)
    }
    await waitFor('every item counted', async () => {
      const onScreen = (await session.findAll('[data-test="finish"]')).length > 0
      const left = !(await session.execute<string>('return location.hash')).includes('/documents/ozon')
      return onScreen || left
    }, 20_000)
    if ((await session.findAll('[data-test="finish"]')).length > 0) {
      await waitFor('the finish button', () => session.execute<boolean>('return !document.querySelector(\'[data-test="finish"]\').disabled'))
      await press(session, '[data-test="finish"]')
      if (await waitFor('the confirmation or the list', async () => (await session.findAll('[data-test="finish-confirm"]')).length > 0 || !(await session.execute<string>('return location.hash')).startsWith('#/documents/'), 20_000))
        if ((await session.findAll('[data-test="finish-confirm"]')).length > 0) await press(session, '[data-test="finish-confirm"]')
    }
    await waitForRoute(session, (r) => r.startsWith('/documents?'), 30_000)

    // Completion prints the label that was fetched ahead: one page of 75 × 120 mm here.
    const label = await nextLabel(before)
    expect(label.pages).toBe(1)
    expect(label.width).toBeCloseTo(75 * MM, 0)
    expect(label.height).toBeCloseTo(120 * MM, 0)
    expect((await standIn.messages('ozonLabel')).map((m) => m.p)).toEqual(Array(3).fill({ postingNumber: posting.postingNumber }))

    // Shipping from the Ozon page hands it over and reaches the print step again: nothing more is printed.
    await openOzonPage(session)
    expect(await waitFor('the collected posting', async () => ((await rowState(session, id)) === 'collected' ? true : undefined), 30_000)).toBe(true)
    expect(await session.text(await session.find(`${row(id)} [data-test="ozon-row-status"]`))).toBe('Собрано, не передано в Ozon')
    await press(session, `${row(id)} [data-test="ozon-ship"]`)
    expect(await waitFor('the shipped posting', async () => ((await rowState(session, id)) === 'shipped' ? true : undefined), 30_000)).toBe(true)
    expect((await standIn.messages('ozonShip')).map((m) => m.p)).toEqual([{ documentId: id }])
    expect(await session.text(await session.find('[data-test="ozon-note"]'))).toBe(
      `Этикетка Ozon ${posting.postingNumber} отправлена на принтер по умолчанию этого компьютера`,
    )
    await new Promise((r) => setTimeout(r, 2_000))
    expect(cupsd.jobs()).toHaveLength(before + 1)
    expect((await standIn.messages('ozonLabel')).length).toBe(3)
  })

  it('a shop printer on a second app: the label is relayed there and printed once', { timeout: 240_000 }, async () => {
    // The second app registers its raw queue as the account's printer.
    const profile = new PrintProfile(cupsd.socket)
    other = { session: await Session.start(profile, rig!.display.name), profile }
    const second = other.session
    await pointAt(second, standIn.url)
    await restartAsDevice(second, standIn, (await standIn.mint('u-oleg')).token)
    await second.execute('location.hash = "#/settings?section=print"')
    await second.waitForText('[data-test="remote-state"]')
    await press(second, '[data-test="printer-option"][data-name="raw"]')
    await second.type(await second.find('[data-test="remote-comment"]'), 'на упаковке')
    await waitFor('the register button', async () => (await second.findAll('[data-test="remote-precondition"]')).length === 0)
    await press(second, '[data-test="remote-register"]')
    await second.waitForText('[data-test="remote-state"]', (t) => t.startsWith('Из МоегоСклада'))
    const registry = await standIn.control<{ printers: Array<{ printerId: string }> }>('GET', `/printer-registry?accountId=${ACCOUNT}`)
    const printerId = registry.printers[0]!.printerId

    const posting = await newPosting()
    await standIn.control('POST', '/ozon/shop-printer', { accountId: ACCOUNT, clientId: posting.clientId, printerId, printerLabel: 'Склад, упаковка' })
    await openOzonPage(session)
    // The refresh rests a minute after the last load of the list.
    await session.waitForText('[data-test="ozon-refresh"]', (t) => t === 'Обновить', 70_000)
    await press(session, '[data-test="ozon-refresh"]')
    const id = posting.documentId
    expect(await waitFor('the new posting', () => rowState(session, id), 30_000)).toBe('to-collect')

    const before = cupsd.jobs().length
    await press(session, `${row(id)} [data-test="ozon-ship"]`)
    expect(await session.waitForText('[data-test="ozon-note"]', (t) => t.startsWith('Этикетка напечатана'), 90_000)).toMatch(
      /^Этикетка напечатана на принтере другого компьютера: raw/,
    )
    const label = await nextLabel(before)
    expect(label.pages).toBe(1)
    const jobs = (await standIn.control<{ jobs: RelayJob[] }>('GET', '/print-jobs')).jobs.filter((j) => j.documentId === id)
    expect(jobs).toHaveLength(1)
    expect(jobs[0]!.results).toHaveLength(1)
    expect(jobs[0]!.labelUrl).toContain(`/labels/ozon/posting-${posting.postingNumber}.pdf`)
    expect((await standIn.messages('printOzonLabel')).map((m) => m.p)).toEqual([{ documentId: id, requestId: expect.any(String) }])
    await new Promise((r) => setTimeout(r, 2_000))
    expect(cupsd.jobs()).toHaveLength(before + 1)
  })
})
