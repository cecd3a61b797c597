// Ozon FBO supplies in the desktop app against the stand-in seller and a
// private CUPS scheduler: a new supply opened from its row on the Ozon page
// with "Начать сборку", assembled by wedge scans (a code that is not in the
// supply refused with the error sound), laid out into two boxes, and its cargo
// labels printed here: one 75 × 120 mm page per box in the queue.
import { afterAll, beforeAll, describe, expect, it } from 'vitest'
import type { StandIn } from '../../ui/core/testing/standIn'
import type { FboSupplyRecord } from '../../ui/demo'
import { MM, pdfPages, startPrintRig, type PrintRig } from './harness/cupsd'
import { chooseLabelSize } from './harness/printSettings'
import { press, restartAsDevice, scanByWedge, waitForRoute } from './harness/standInApp'
import { waitFor } from './harness/wait'
import type { Session } from './harness/webdriver'

const ACCOUNT = 'acc-master'

let rig: PrintRig | undefined
let standIn: StandIn
let cupsd: PrintRig['cupsd']
let session: Session

beforeAll(async () => {
  rig = await startPrintRig()
  ;({ standIn, cupsd, session } = rig)
  await restartAsDevice(session, standIn, (await standIn.mint('u-oleg')).token)
  await chooseLabelSize(session, '75 × 120')
}, 120_000)

afterAll(() => rig?.stop(), 120_000)

/** Records the duration of every scan sound the page starts, and answers the four sounds' own durations. */
async function listenToSounds(s: Session): Promise<Record<string, number>> {
  return s.executeAsync<Record<string, number>>(
    `const done = arguments[arguments.length - 1];
     window.__played = [];
     const start = AudioBufferSourceNode.prototype.start;
     AudioBufferSourceNode.prototype.start = function (...args) { window.__played.push(this.buffer ? this.buffer.duration : -1); return start.apply(this, args) };
     (async () => {
       const ctx = new AudioContext(), out = {};
       for (const name of ['successSound', 'checkedSound', 'errorSound', 'tooMuchSound'])
         out[name] = (await ctx.decodeAudioData(await (await fetch('/assets/sounds/' + name + '.mp3')).arrayBuffer())).duration;
       return out;
     })().then(done, (e) => done({ error: String(e) }))`,
  )
}
const lastSound = (s: Session) => waitFor('a sound', () => s.execute<number | null>('return window.__played.at(-1) ?? null').then((d) => d ?? undefined), 10_000)

describe('Ozon FBO supplies in the desktop app', () => {
  it('a supply assembled by scanning, laid out into two boxes, its cargo labels printed: a page per box', { timeout: 240_000 }, async () => {
    const { supply } = await standIn.control<{ supply: FboSupplyRecord }>('POST', '/ozon/fbo/supply', { accountId: ACCOUNT })
    const row = `[data-test="fbo-row"][data-id="${supply.supplyId}"]`
    await session.execute('location.hash = "#/marketplaces"')
    await press(session, '[data-test="hub-card-ozon"]')
    await waitForRoute(session, '/marketplaces/ozon')
    expect(await session.waitForText(`${row} [data-test="fbo-row-number"]`, () => true, 30_000)).toBe(`№ ${supply.orderNumber}`)
    expect(await session.text(await session.find(`${row} [data-test="fbo-row-cargo"]`))).toBe('грузомест пока нет')

    await press(session, `${row} [data-test="fbo-assemble"]`)
    await waitForRoute(session, (r) => r.startsWith(`/marketplaces/ozon/supply/${supply.orderId}/${supply.supplyId}?`) && r.includes('assemble=1'))
    expect(await session.waitForText('[data-test="fbo-page-title"]', (t) => t.startsWith('Поставка №'))).toBe(`Поставка №${supply.orderNumber}`)
    await session.waitForText('[data-test="fbo-assembly-progress"]', () => true)

    // A code of no item in the supply: refused, with the error sound.
    const sounds = await listenToSounds(session)
    expect(sounds.errorSound).not.toBe(sounds.checkedSound)
    expect(await scanByWedge(session, '4600000000000')).toBe('В поставке нет товара с кодом 4600000000000')
    expect(await lastSound(session)).toBeCloseTo(sounds.errorSound!, 3)

    const [first, second] = supply.items
    for (let i = 1; i <= first!.quantity; i++) expect(await scanByWedge(session, first!.barcode)).toBe(`${first!.name}: собрано ${i} из ${first!.quantity}`)
    expect(await scanByWedge(session, second!.barcode)).toBe(`${second!.name}: собрано 1 из 1`)
    expect(await session.text(await session.find('[data-test="fbo-assembly-progress"]'))).toBe('Собрано 3 из 3 шт')
    expect(await session.text(await session.find('[data-test="fbo-assembly-complete"]'))).toBe('Состав собран')

    // Two boxes: the first item in box 1, the second in box 2.
    await press(session, '[data-test="fbo-assembly-cargo"]')
    await press(session, '[data-test="fbo-cargo-count-plus"]')
    for (let i = 0; i < first!.quantity; i++) await press(session, '[data-test="fbo-cell-0-0-plus"]')
    await press(session, '[data-test="fbo-cell-1-1-plus"]')
    await press(session, '[data-test="fbo-cargo-save"]')
    expect(await session.waitForText('[data-test="fbo-page-note"]', (t) => t !== '', 30_000)).toBe('Грузоместа сохранены')
    expect((await standIn.messages('ozonCargoesCreate')).map((m) => m.p)).toEqual([
      {
        supplyId: supply.supplyId,
        deleteCurrent: true,
        clientId: '1048576',
        cargoes: [
          { key: 'box-1', type: 'BOX', items: [{ barcode: first!.barcode, offerId: first!.offerId, quantity: first!.quantity, quant: 1 }] },
          { key: 'box-2', type: 'BOX', items: [{ barcode: second!.barcode, offerId: second!.offerId, quantity: 1, quant: 1 }] },
        ],
      },
    ])
    expect(await session.waitForText('[data-test="fbo-cargo-text"]', (t) => t.startsWith('2 '))).toBe('2 грузоместа')

    // The cargo labels: one job here, a 75 × 120 mm page per box.
    const before = cupsd.jobs().length
    await press(session, '[data-test="fbo-cargo-labels"]')
    expect(await session.waitForText('[data-test="fbo-page-note"]', (t) => t.includes('отправлены'), 60_000)).toBe(
      `Этикетки поставки ${supply.orderNumber} отправлены на принтер по умолчанию этого компьютера`,
    )
    const jobs = await waitFor('the labels in the queue', () => (cupsd.jobs().length > before ? cupsd.jobs() : undefined), 60_000)
    expect(jobs).toHaveLength(before + 1)
    const printed = await pdfPages(jobs.at(-1)!.pdf)
    expect(printed.pages).toBe(2)
    expect(printed.width).toBeCloseTo(75 * MM, 0)
    expect(printed.height).toBeCloseTo(120 * MM, 0)
    expect((await standIn.messages('ozonSupplyLabel')).map((m) => m.p)).toEqual([{ supplyId: supply.supplyId, clientId: '1048576' }])
  })
})
