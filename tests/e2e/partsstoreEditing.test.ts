// Correcting the parts store in the desktop app against the local service host: a cell renamed and given a
// new barcode is opened by scanning that barcode on the placement screen; a cell dragged by mouse to the top
// of another zone, then reordered there by a finger's long press; a product split 10 → 6 + 4 and the split
// undone from the history; a series of cells A-01…A-20 created from its preview and their 20 labels printed.
import { describe, expect, it } from 'vitest'
import { press, signInWithDeviceCode, textOf, useStandInRig, waitForRoute } from './harness/standInApp'
import { waitFor } from './harness/wait'
import type { Session } from './harness/webdriver'

const rig = useStandInRig()
const ACCOUNT = 'acc-master'
const PIN = '975310'
const ENTER = '\uE007'
const SCANNER_MS = 8

interface StoreRow {
  zone: string
  path: string
  cellBarcode: string | null
  product: string
  productBarcode: string
  quantity: number
}

const message = (session: Session) => textOf(session, '[data-test="parts-message"]')

async function waitForMessage(session: Session, expected: string | ((t: string) => boolean)): Promise<string> {
  const ok = typeof expected === 'string' ? (t: string) => t === expected : expected
  return waitFor(`the message ${String(expected)}`, async () => {
    const t = await message(session)
    return ok(t) ? t : undefined
  }).catch(async (err: Error) => {
    throw new Error(`${err.message}: the screen says "${await message(session)}"`)
  })
}

/** Replaces a field's text as typing does (an input event per change). */
function fill(session: Session, css: string, value: string): Promise<unknown> {
  return session.execute(
    `const el = document.querySelector(arguments[0]); el.focus(); el.value = arguments[1]; el.dispatchEvent(new Event('input', { bubbles: true }))`,
    css,
    value,
  )
}

/** Clicks the `button` inside the element of `rowCss` whose text holds `text`. */
function pressIn(session: Session, rowCss: string, text: string, button: string): Promise<boolean> {
  return session.execute<boolean>(
    `const row = [...document.querySelectorAll(arguments[0])].find((r) => r.textContent.includes(arguments[1]))
     const b = row && row.querySelector(arguments[2]); if (b) b.click(); return Boolean(b)`,
    rowCss,
    text,
    button,
  )
}

/**
 * Drags the cell named `name` by its grip to `target` as a pointer of `kind` does: press, (for a finger) hold
 * past the long press, move, release. `dy` places the release within the target (0 its top, 1 its bottom).
 */
async function dragCell(session: Session, name: string, target: string, kind: 'mouse' | 'touch', dy: number): Promise<void> {
  const pointer = (type: string, x: number, y: number, on: string) =>
    `(${on}).dispatchEvent(new PointerEvent('${type}', { bubbles: true, pointerId: 7, pointerType: '${kind}', clientX: ${x}, clientY: ${y}, button: 0 }))`
  const grip = await session.execute<{ x: number; y: number }>(
    `const row = [...document.querySelectorAll('[data-test="cell-row"]')].find((r) => r.querySelector('.row__name').textContent === arguments[0])
     const g = row.querySelector('[data-test="cell-grip"]'); g.scrollIntoView({ block: 'center' }); const b = g.getBoundingClientRect()
     window.__grip = g; return { x: b.left + b.width / 2, y: b.top + b.height / 2 }`,
    name,
  )
  await session.execute(pointer('pointerdown', grip.x, grip.y, 'window.__grip'))
  if (kind === 'touch') {
    await waitFor('the long press', () => session.execute<boolean>('return Boolean(document.querySelector(".row--dragged"))'))
  }
  const to = await session.execute<{ x: number; y: number }>(
    `const el = document.querySelector(arguments[0]); const b = el.getBoundingClientRect(); return { x: b.left + b.width / 2, y: b.top + 2 + (b.height - 4) * arguments[1] }`,
    target,
    dy,
  )
  await session.execute(pointer('pointermove', grip.x, grip.y + 8, 'window'))
  await session.execute(pointer('pointermove', to.x, to.y, 'window'))
  await session.execute(pointer('pointerup', to.x, to.y, 'window'))
}

const treeNames = (session: Session) =>
  session.execute<string[]>('return [...document.querySelectorAll(\'[data-test="cell-tree"] > li > [data-test="cell-row"] .row__name\')].map((e) => e.textContent)')

describe('correcting the parts store in the desktop app', () => {
  it('renames and rescans a cell, drags it to another zone and reorders it, splits a product and undoes it, prints a new series', { timeout: 300_000 }, async () => {
    const { standIn } = rig
    const rows = async () => (await standIn.control<{ rows: StoreRow[] }>('GET', `/partsstore?accountId=${ACCOUNT}`)).rows
    const start = await rows()
    const boltBarcode = start.find((r) => r.product === 'Болт М6×20')!.productBarcode

    const { session } = await rig.open()
    try {
      await signInWithDeviceCode(session, '45678901', 'Олег Орлов', PIN)
      await press(session, '[data-test="tile-partsstore"]')
      await waitForRoute(session, '/radio')
      await session.waitForText('[data-test="zone"]', (t) => t.includes('Основной склад'))
      await session.execute('[...document.querySelectorAll(\'[data-test="zone"]\')].find((z) => z.textContent.includes("Основной склад")).click()')
      await waitForRoute(session, (r) => r.startsWith('/radio/zones/'))

      // A cell renamed and given a new barcode; the tree loaded again keeps it open.
      await session.waitForText('[data-test="cell-row"]', (t) => t.includes('Стеллаж 2'))
      expect(await pressIn(session, '[data-test="cell-row"]', 'Стеллаж 2', '[data-test="cell-open"]')).toBe(true)
      await session.waitForText('[data-test="cell-title"]', (t) => t === 'Стеллаж 2')
      await fill(session, '[data-test="cell-edit-name"]', 'Стеллаж 2Б')
      await fill(session, '[data-test="cell-edit-barcode"]', 'RACK-2B')
      await press(session, '[data-test="cell-edit-save"]')
      await waitForMessage(session, 'Ячейка «Стеллаж 2Б» сохранена')
      expect((await rows()).find((r) => r.product === 'Ремень приводной')).toMatchObject({ path: 'Стеллаж 2Б', cellBarcode: 'RACK-2B' })
      await session.waitForText('[data-test="cell-row"]', (t) => t.includes('Стеллаж 2Б') && t.includes('RACK-2B'))
      await session.waitForText('[data-test="cell-title"]', (t) => t === 'Стеллаж 2Б')

      // The new barcode scanned on the placement screen opens that cell; 10 bolts go into it.
      await press(session, '[data-test="nav-placement"]')
      await waitForRoute(session, '/radio/scan')
      await waitFor('the scanner field', () => session.execute<boolean>('return Boolean(document.querySelector(\'[data-test="scanner-manual"]\'))'))
      await session.executeAsync('const done = arguments[0]; requestAnimationFrame(() => requestAnimationFrame(() => done()))')
      await session.keys([...'RACK-2B', ENTER], SCANNER_MS)
      await waitForMessage(session, 'Работаем с „Стеллаж 2Б“ — сканируйте товары')
      expect(await textOf(session, '[data-test="open-cell-name"]')).toBe('Стеллаж 2Б')
      await session.keys([...boltBarcode, ENTER], SCANNER_MS)
      await session.waitForText('[data-test="product-card-name"]', (t) => t === 'Болт М6×20')
      await session.type(await session.find('[data-test="card-quantity"]'), '10')
      await press(session, '[data-test="card-apply"]')
      await waitFor('10 bolts in the rack', async () => (await rows()).some((r) => r.path === 'Стеллаж 2Б' && r.product === 'Болт М6×20' && r.quantity === 10) || undefined)

      // Dragged by mouse to the top of the other zone (asked first), then by a finger before the box there.
      await press(session, '[data-test="nav-zones"]')
      await session.execute('[...document.querySelectorAll(\'[data-test="zone"]\')].find((z) => z.textContent.includes("Основной склад")).click()')
      await session.waitForText('[data-test="cell-row"]', (t) => t.includes('Стеллаж 2Б'))
      const antresol = await session.execute<string>('return [...document.querySelectorAll(\'[data-test="zone-chip"]\')].find((z) => z.textContent.trim() === "Антресоль").dataset.dropZone')
      await dragCell(session, 'Стеллаж 2Б', `[data-drop-zone="${antresol}"]`, 'mouse', 0.5)
      await session.waitForText('[data-test="parts-confirm"]', (t) => t.includes('Перенести «Стеллаж 2Б» в «Антресоль»?') && t.includes('Из зоны «Основной склад» в зону «Антресоль»'))
      await press(session, '[data-test="parts-confirm-yes"]')
      await waitForRoute(session, (r) => r.startsWith(`/radio/zones/${antresol}/cells`))
      await waitFor('the rack at the end of the other zone', async () => JSON.stringify(await treeNames(session)) === JSON.stringify(['Ящик с мелочью', 'Стеллаж 2Б']) || undefined)
      expect((await rows()).filter((r) => r.path === 'Стеллаж 2Б').map((r) => r.zone)).toEqual(['Антресоль', 'Антресоль'])

      const box = await session.execute<string>('return [...document.querySelectorAll(\'[data-test="cell-row"]\')].find((r) => r.textContent.includes("Ящик с мелочью")).dataset.cellId')
      await dragCell(session, 'Стеллаж 2Б', `[data-drop-cell="${box}"]`, 'touch', 0.05)
      await waitFor('the rack before the box', async () => JSON.stringify(await treeNames(session)) === JSON.stringify(['Стеллаж 2Б', 'Ящик с мелочью']) || undefined)
      // Another screen and back: the zone is loaded from the service again, in the new order.
      await press(session, '[data-test="nav-history"]')
      await waitForRoute(session, '/radio/history')
      await session.execute('history.back()')
      await waitFor('the order loaded again', async () => JSON.stringify(await treeNames(session)) === JSON.stringify(['Стеллаж 2Б', 'Ящик с мелочью']) || undefined)

      // The 10 bolts in the rack split into 6 + 4 new products, then the split undone from the history.
      await press(session, '[data-test="nav-products"]')
      await session.waitForText('[data-test="product"]', (t) => t.includes('Болт М6×20'))
      expect(await session.execute<boolean>(
        `const bolt = [...document.querySelectorAll('[data-test="product"]')].find((p) => p.querySelector('[data-test="product-name"]').textContent === 'Болт М6×20')
         const line = [...bolt.querySelectorAll('[data-test="product-cell"]')].find((c) => c.textContent.startsWith('Стеллаж 2Б:'))
         line?.querySelector('[data-test="product-split"]').click(); return Boolean(line)`,
      )).toBe(true)
      await session.waitForText('[data-test="split"]', (t) => t.includes('есть 10 шт.'))
      await fill(session, '[data-test="split-name"]', 'Болт М6×20 короткий')
      await fill(session, '[data-test="split-qty"]', '6')
      await press(session, '[data-test="split-add"]')
      await session.execute(
        `const names = document.querySelectorAll('[data-test="split-name"]'), qty = document.querySelectorAll('[data-test="split-qty"]')
         names[1].value = 'Болт М6×20 длинный'; names[1].dispatchEvent(new Event('input')); qty[1].value = '4'; qty[1].dispatchEvent(new Event('input'))`,
      )
      await press(session, '[data-test="split-run"]')
      await waitForMessage(session, (t) => t.startsWith('Из «Болт М6×20» выделено: Болт М6×20 короткий (P-') && t.endsWith('осталось 0 шт. Отменить можно в «Истории».'))
      const inRack = async () => Object.fromEntries((await rows()).filter((r) => r.path === 'Стеллаж 2Б').map((r) => [r.product, r.quantity]))
      expect(await inRack()).toEqual({ 'Ремень приводной': 2, 'Болт М6×20 короткий': 6, 'Болт М6×20 длинный': 4 })

      await press(session, '[data-test="nav-history"]')
      await session.waitForText('[data-test="history-text"]', (t) => t.startsWith('Выделили 10 шт. в Антресоль → Стеллаж 2Б:'))
      expect(await pressIn(session, '[data-test="history-entry"]', 'Выделили 10 шт.', '[data-test="history-undo"]')).toBe(true)
      await waitForMessage(session, 'Отменено')
      await session.waitForText('[data-test="history-text"]', (t) => t.startsWith('Отмена: Выделили 10 шт.'))
      expect(await inRack()).toEqual({ 'Ремень приводной': 2, 'Болт М6×20': 10 })

      // A series A-01…A-20 at the top of the main zone, previewed, created, ticked and printed as 20 labels.
      await standIn.control('POST', '/partsstore/label-capture', { printedOn: 'Этикетки' })
      await press(session, '[data-test="nav-zones"]')
      await session.execute('[...document.querySelectorAll(\'[data-test="zone"]\')].find((z) => z.textContent.includes("Основной склад")).click()')
      await press(session, '[data-test="cell-series"]')
      await fill(session, '[data-test="series-prefix"]', 'A-')
      await fill(session, '[data-test="series-from"]', '01')
      await fill(session, '[data-test="series-to"]', '20')
      await session.execute('const b = document.querySelector(\'[data-test="series-inside"]\'); if (b.checked) b.click()')
      await press(session, '[data-test="series-preview-button"]')
      await session.waitForText('[data-test="series-preview"]', (t) => t.includes('Будет создано: 20') && t.includes('A-01') && t.includes('A-20'))
      await press(session, '[data-test="series-create"]')
      await waitForMessage(session, 'Создано ячеек: 20 — они выбраны для печати этикеток')
      await session.waitForText('[data-test="label-selected"]', (t) => t === 'Выбрано: 20')
      const names = await treeNames(session)
      expect(names.slice(-20)).toEqual(Array.from({ length: 20 }, (_, i) => `A-${String(i + 1).padStart(2, '0')}`))
      await press(session, '[data-test="label-print"]')
      await session.waitForText('[data-test="label-result"]', (t) => t === 'Напечатано 20 на «Этикетки».', 60_000)
      const { jobs } = await standIn.control<{ jobs: Array<{ pages: number; codes: string[] }> }>('GET', '/partsstore/labels')
      expect(jobs.reduce((n, j) => n + j.pages, 0)).toBe(20)
      expect(jobs.flatMap((j) => j.codes)).toHaveLength(20)
    } finally {
      await session.close()
    }
  })
})
