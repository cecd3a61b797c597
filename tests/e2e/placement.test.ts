// Placement in the desktop app against the local service host, by wedge scans — keys 8 ms apart and
// Enter, sent to whatever has the focus: a cell is opened, three products are put into it (one with a
// price, answered with the new average), one is moved to another cell and the move is undone; the
// stand-in's store matches the screen at every step. A scan's Enter never presses the focused button;
// typing a name shows the live list (arrows, Enter, Escape); a product's label goes out through the
// parts store's label path; an unknown code creates a product with that barcode and quantity 0, its
// form kept on the device until saved.
import { describe, expect, it } from 'vitest'
import { press, signInWithDeviceCode, textOf, useStandInRig, waitForRoute } from './harness/standInApp'
import { waitFor } from './harness/wait'
import type { Session } from './harness/webdriver'

const rig = useStandInRig()
const ACCOUNT = 'acc-master'
const PIN = '975310'
const ENTER = '\uE007'
const ARROW_DOWN = '\uE015'
const ESCAPE = '\uE00C'
/** Key pause of a wedge scanner, and of a person typing. */
const SCANNER_MS = 8
const PERSON_MS = 120

interface StoreRow {
  zone: string
  path: string
  cellBarcode: string | null
  product: string
  productBarcode: string
  quantity: number
}

/** A wedge scan to whatever has the focus, once the page has drawn what the last tap changed. */
async function wedge(session: Session, code: string): Promise<void> {
  await session.executeAsync('const done = arguments[0]; requestAnimationFrame(() => requestAnimationFrame(() => done()))')
  await session.keys([...code, ENTER], SCANNER_MS)
}

const message = (session: Session) => textOf(session, '[data-test="parts-message"]')

async function waitForMessage(session: Session, expected: string): Promise<void> {
  await waitFor(`the message "${expected}"`, async () => (await message(session)) === expected || undefined).catch(async (err: Error) => {
    throw new Error(`${err.message}: the screen says "${await message(session)}"`)
  })
}

describe('placement in the desktop app', () => {
  it('opens a cell, puts three products, moves one and undoes the move, by wedge scans', { timeout: 240_000 }, async () => {
    const { standIn } = rig
    const rows = async () => (await standIn.control<{ rows: StoreRow[] }>('GET', `/partsstore?accountId=${ACCOUNT}`)).rows
    /** product → quantity in the cell at `path`, as the stand-in holds it */
    const cellStock = async (path: string) => Object.fromEntries((await rows()).filter((r) => r.path === path).map((r) => [r.product, r.quantity]))
    const start = await rows()
    const barcodeOfCell = (path: string) => start.find((r) => r.path === path)!.cellBarcode!
    const barcodeOf = (product: string) => start.find((r) => r.product === product)!.productBarcode
    const SHELF = 'Стеллаж 1/Полка 2'
    const RACK = 'Стеллаж 2'
    const shelfPath = 'Основной склад → Стеллаж 1 → Полка 2'
    const rackPath = 'Основной склад → Стеллаж 2'
    expect(await cellStock(SHELF)).toEqual({ 'Фильтр масляный': 6 })
    expect(await cellStock(RACK)).toEqual({ 'Ремень приводной': 2 })

    const { session } = await rig.open()
    try {
      await signInWithDeviceCode(session, '45678901', 'Олег Орлов', PIN)
      await press(session, '[data-test="tile-partsstore"]')
      await waitForRoute(session, '/radio')
      await press(session, '[data-test="nav-placement"]')
      await waitForRoute(session, '/radio/scan')
      await waitFor('the field', async () => (await session.execute<string>('return document.querySelector(\'[data-test="scanner-manual"]\')?.placeholder ?? ""')) === 'Отсканируйте ячейку или товар, или начните печатать название — список появится сам' || undefined)

      // The cell, scanned with the focus on a mode button.
      await press(session, '[data-test="mode-put"]')
      await wedge(session, barcodeOfCell(SHELF))
      await waitForMessage(session, 'Работаем с „Полка 2“ — сканируйте товары')
      expect(await textOf(session, '[data-test="open-cell-name"]')).toBe('Полка 2')

      // A scan with the focus on "Сделать рабочим столом": the button is not pressed by the scan's Enter.
      await session.execute('document.querySelector(\'[data-test="desk-make"]\').focus()')
      await wedge(session, barcodeOf('Болт М6×20'))
      await session.waitForText('[data-test="product-card-name"]', (t) => t === 'Болт М6×20')
      expect(await session.findAll('[data-test="desk-clear"]')).toHaveLength(0)

      // Three products put, each checked against the stand-in; the one with a price answers the average.
      const puts: Array<[product: string, qty: string, price: string, note: string]> = [
        ['Болт М6×20', '3', '', `Положили 3 шт „Болт М6×20“ в „${shelfPath}“`],
        ['Гайка М6', '2', '', `Положили 2 шт „Гайка М6“ в „${shelfPath}“`],
        // 2 held at 1200 and 1 more at 1500: 1300
        ['Ремень приводной', '1', '1500', 'Средняя цена теперь 1300'],
      ]
      const expected: Record<string, number> = { 'Фильтр масляный': 6 }
      for (const [product, qty, price, note] of puts) {
        if (product !== 'Болт М6×20') await wedge(session, barcodeOf(product))
        await session.waitForText('[data-test="product-card-name"]', (t) => t === product)
        await session.type(await session.find('[data-test="card-quantity"]'), qty)
        if (price) await session.type(await session.find('[data-test="card-price"]'), price)
        await press(session, '[data-test="card-apply"]')
        await waitForMessage(session, note)
        expected[product] = Number(qty)
        expect(await cellStock(SHELF)).toEqual(expected)
        await session.waitForText('[data-test="cell-item"]', (t) => t.includes(product) && t.includes(`${qty} шт`))
      }
      expect(await textOf(session, '[data-test="last-action-text"]')).toBe(`Положили 1 шт „Ремень приводной“ в „${shelfPath}“`)

      // Typing a name shows the live list: the arrows choose, Enter takes the choice; Escape closes the list
      // and Enter then searches the typed name.
      await session.keys([...'болт'], PERSON_MS)
      await session.waitForText('[data-test="live-product"]', (t) => t.includes('Болт М6×20'))
      await session.keys([ARROW_DOWN, ENTER], PERSON_MS)
      await session.waitForText('[data-test="product-card-name"]', (t) => t === 'Болт М6×20')
      expect(await session.findAll('[data-test="live-list"]')).toHaveLength(0)
      await press(session, '[data-test="card-close"]')
      await session.keys([...'гайк'], PERSON_MS)
      await session.waitForText('[data-test="live-product"]', (t) => t.includes('Гайка М6'))
      await session.keys([ESCAPE], PERSON_MS)
      await waitFor('the live list to close', async () => (await session.findAll('[data-test="live-list"]')).length === 0)
      await session.keys([ENTER], PERSON_MS)
      await session.waitForText('[data-test="product-card-name"]', (t) => t === 'Гайка М6')
      await press(session, '[data-test="card-close"]')

      // The label of an item goes through the parts store's label path.
      await standIn.control('POST', '/partsstore/label-capture', { printedOn: 'Этикетки' })
      await session.execute('[...document.querySelectorAll(\'[data-test="cell-item"]\')].find((r) => r.textContent.includes("Гайка М6")).querySelector(\'[data-test="item-label"]\').click()')
      await waitForMessage(session, 'Напечатано 1 на «Этикетки».')
      const labels = await standIn.control<{ jobs: Array<{ codes: string[]; copies: number }> }>('GET', '/partsstore/labels')
      expect(labels.jobs).toEqual([expect.objectContaining({ codes: [barcodeOf('Гайка М6')], copies: 1 })])

      // The move: the open cell stays the source; the product, the target, then the run.
      await press(session, '[data-test="mode-move"]')
      await session.waitForText('[data-test="placement-hint"]', (t) => t === 'Сканируйте товары, затем ячейку назначения')
      await wedge(session, barcodeOfCell(SHELF))
      await waitForMessage(session, 'Уже в „Полка 2“')
      await wedge(session, barcodeOf('Гайка М6'))
      await session.waitForText('[data-test="move-list"]', (t) => t.includes('Гайка М6'))
      await wedge(session, barcodeOfCell(RACK))
      await waitForMessage(session, 'Переносим в „Стеллаж 2“ — сканируйте товары')
      await session.waitForText('[data-test="placement-hint"]', (t) => t === `Назначение: ${rackPath}`)
      await session.waitForText('[data-test="group-move-run"]', (t) => t === 'Переместить 1 позицию')
      await press(session, '[data-test="group-move-run"]')
      const moved = `2 шт. Гайка М6 перенесено из ${shelfPath} в ${rackPath}`
      await waitForMessage(session, moved)
      delete expected['Гайка М6']
      expect(await cellStock(SHELF)).toEqual(expected)
      expect(await cellStock(RACK)).toEqual({ 'Ремень приводной': 2, 'Гайка М6': 2 })

      // Undo of the move: back in the shelf, and no second undo.
      await press(session, '[data-test="undo"]')
      await waitForMessage(session, `Отменено: ${moved}`)
      expect(await session.findAll('[data-test="undo"]')).toHaveLength(0)
      expect(await cellStock(SHELF)).toEqual({ ...expected, 'Гайка М6': 2 })
      expect(await cellStock(RACK)).toEqual({ 'Ремень приводной': 2 })

      // An unknown code offers a new product with that barcode; the form stays on the device until saved.
      const productsBefore = (await standIn.control<{ products: number }>('GET', `/partsstore?accountId=${ACCOUNT}`)).products
      await press(session, '[data-test="mode-put"]')
      await wedge(session, 'NEW-4242')
      await waitForMessage(session, 'Не найдено: NEW-4242')
      await session.waitForText('[data-test="new-product-barcode"]', (t) => t === 'Штрихкод: NEW-4242')
      expect(await session.findAll('[data-test="new-product-error"]')).toHaveLength(0)
      await press(session, '[data-test="new-product-save"]')
      await session.waitForText('[data-test="new-product-error"]', (t) => t === 'Введите название товара')
      await session.type(await session.find('[data-test="new-product-name"]'), 'Клипса')
      await press(session, '[data-test="new-product-cancel"]')
      await wedge(session, 'NEW-4242')
      await session.waitForText('[data-test="new-product-barcode"]', (t) => t === 'Штрихкод: NEW-4242')
      expect(await session.execute<string>('return document.querySelector(\'[data-test="new-product-name"]\').value')).toBe('Клипса')
      const quantity = await session.find('[data-test="new-product-quantity"]')
      await session.execute('document.querySelector(\'[data-test="new-product-quantity"]\').value = ""')
      await session.type(quantity, '0')
      await press(session, '[data-test="new-product-save"]')
      await waitForMessage(session, 'Товар «Клипса» создан без размещения: в ячейку положено 0')
      expect(await session.execute<string | null>('return localStorage.getItem("radio.scanProductDraft")')).toBeNull()
      const after = await standIn.control<{ products: number; rows: StoreRow[] }>('GET', `/partsstore?accountId=${ACCOUNT}`)
      expect(after.products).toBe(productsBefore + 1)
      expect(after.rows.filter((r) => r.product === 'Клипса')).toEqual([])
      await wedge(session, 'NEW-4242')
      await session.waitForText('[data-test="product-card-name"]', (t) => t === 'Клипса')
    } finally {
      await session.close()
    }
  })
})
