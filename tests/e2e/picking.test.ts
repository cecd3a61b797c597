// Picking in the desktop app against the local service host: a signed-in device opens a document by
// its address, scans arrive as a wedge scanner sends them — keys 8 ms apart and Enter, to whatever
// has the focus — and the screen answers with the message, the count and the list position; a scan
// before the contents arrive is refused; undo mode takes one off; leaving and opening the document
// again brings the draft back. A scan after a tapped button counts once and never presses the button
// again; a product on two lines is counted line by line; a new picker's manual field takes scans at once.
import { describe, expect, it } from 'vitest'
import { accountDocuments, largeDocumentBarcode } from '../../ui/demo'
import { press, restartAsDevice, useStandInRig } from './harness/standInApp'
import { waitFor } from './harness/wait'
import { Session } from './harness/webdriver'

const rig = useStandInRig()

const ENTER = '\uE007'
const TAB = '\uE004'
const CONTROL = '\uE009'
/** Key pause of a wedge scanner. */
const SCANNER_MS = 8

/** A wedge scan: the code's keys 8 ms apart and Enter, sent to whatever has the focus; `lead` goes first. */
async function wedge(session: Session, code: string, lead: Array<string | string[]> = []): Promise<void> {
  // The messages recorded so far are not this scan's; the page has drawn what the last tap changed, as
  // it has by the time a picker picks up the next item.
  await session.execute('if (window.__zvMessages) window.__zvMessages.length = 0')
  await session.executeAsync('const done = arguments[0]; requestAnimationFrame(() => requestAnimationFrame(() => done()))')
  await session.keys([...lead, ...code, ENTER], SCANNER_MS)
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
      await recordMessages(session)
      await wedge(session, far)
      await answered(session, 'Состав документа еще загружается — отсканируйте через пару секунд')
      expect(await session.waitForText('[data-test="tab-list"]', (t) => t.includes('(60)'), 10_000)).toContain('📋 Список (60)')

      // After loading the same scan counts; the list (the default tab) scrolls to the position.
      const id = 'large-00050'
      await wedge(session, far)
      await answered(session, '✅ Товар для сборки №50 (1/1000)')
      const row = await waitFor('row 50 in view', async () => ((await rowText(session, id)) ?? '').includes('1 / 1000') || undefined)
      expect(row).toBe(true)
      expect(await rowText(session, id)).toContain('Частично')
      expect(await session.execute<boolean>('return document.querySelector(`[data-test="list-row-${arguments[0]}"]`).classList.contains("plist__row--focused")', id)).toBe(true)
      // Row 1 is out of view: the list is virtual.
      expect(await rowText(session, 'large-00001')).toBeNull()
      await wedge(session, far)
      await answered(session, '✅ Товар для сборки №50 (2/1000)')

      // Undo mode takes one off.
      await session.click(await session.find('[data-test="undo-toggle"]'))
      expect(await session.waitForText('[data-test="undo-banner"]')).toBe('➖ Режим отмены — отсканируйте товар, чтобы убрать его из документа')
      await wedge(session, far)
      await answered(session, '➖ Убрано: Товар для сборки №50')
      expect(await session.waitForText(`[data-test="list-row-${id}"] [data-test="row-count"]`)).toBe('1 / 1000')

      // A code that is in no document of the account: the reference is asked, once.
      await session.click(await session.find('[data-test="undo-toggle"]'))
      await wedge(session, '4601111111118')
      await answered(session, 'В номенклатуре код не найден. Попробуйте найти на товаре другой код')
      expect((await rig.standIn.messages('barcodeCheck')).map((m) => m.p)).toEqual([{ barcode: '4601111111118' }])

      // Leaving and opening the document again brings the counted item back from the draft.
      await session.click(await session.find('[data-test="back"]'))
      await waitFor('the list route', async () => ((await session.execute<string>('return location.hash')) === '#/documents') || undefined)
      await session.execute('location.hash = arguments[0]', address)
      expect(await session.waitForText('[data-test="tab-list"]', (t) => t.includes('(60)'))).toContain('(60)')
      await session.click(await session.find('[data-test="tab-scan"]'))
      await wedge(session, far)
      await answered(session, '✅ Товар для сборки №50 (2/1000)')
      expect(await session.waitForText('[data-test="card-count"]', (t) => t === '2 / 1000')).toBe('2 / 1000')
    } finally {
      await session.close()
    }
  })
})

/** Opens a document by its address and waits for its `positions` lines; a failure says what the page shows. */
async function openByAddress(session: Session, address: string, positions: number): Promise<void> {
  await session.execute('location.hash = arguments[0]', address)
  await session.waitForText('[data-test="tab-list"]', (t) => t.includes(`(${positions})`), 60_000).catch(async (err: Error) => {
    const page = await session.execute<string>('return location.hash + " | " + document.body.innerText.slice(0, 400)')
    throw new Error(`${err.message}: the page is ${page}`)
  })
}

/** The counts of the document's draft, by line key. */
const draftCounts = (session: Session, documentId: string) =>
  session.execute<Record<string, number>>('return (JSON.parse(localStorage.getItem(`zv_scan_state:${arguments[0]}`) || "{}").checked) || {}', documentId)

/** Keeps every scan message the page shows (window.__zvMessages), for a failure to tell what came instead. */
const recordMessages = (session: Session) =>
  session.execute(`window.__zvMessages = []
    new MutationObserver(() => {
      const t = document.querySelector('[data-test="scan-message"]')?.textContent.trim()
      if (t) window.__zvMessages.push(t)
    }).observe(document.body, { subtree: true, childList: true, characterData: true })`)

/** Waits for the scan message to read `text` exactly. */
async function answered(session: Session, text: string): Promise<void> {
  // A message shows for 2 s; the record keeps it for a slow look (the page of each test records them).
  const shown = () => session.execute<string | undefined>('return (window.__zvMessages || []).slice(-1)[0]')
  await waitFor(`the message "${text}"`, async () => (await shown()) === text || undefined).catch(async (err: Error) => {
    // The message the screen shows instead says what went wrong.
    const seen = await session.execute<string[]>('return window.__zvMessages || []')
    throw new Error(`${err.message}: wanted "${text}", the screen says "${await message(session)}", before: ${JSON.stringify(seen.slice(-5))}`)
  })
}

describe('a wedge scan reaches the scanner whole, whatever has the focus', () => {
  it('after "+", "➖", a tab, "⌨", the cells order and a closed dialog, with a leading Tab or GS; a new picker\'s manual field too', async () => {
    const device = await rig.standIn.mint('u-oleg')
    const doc = await rig.standIn.control<{ documentId: string }>('POST', '/seed-document', { accountId: 'acc-master', size: 12, id: 'taps-12' })
    const address = `#/documents/${encodeURIComponent(doc.documentId)}?type=shipment`
    const { session } = await rig.open()
    const name = (i: number) => `Товар для сборки №${i}`
    try {
      await restartAsDevice(session, rig.standIn, device.token)
      await openByAddress(session, address, 12)
      await recordMessages(session)
      await press(session, '[data-test="tab-scan"]')
      await wedge(session, largeDocumentBarcode(1))
      await answered(session, `✅ ${name(1)} (1/1000)`)

      // "+" keeps the focus; the next scan is the scanned product's, and its Enter does not press "+" again.
      await press(session, '[data-test="card-plus"]')
      await session.waitForText('[data-test="card-count"]', (t) => t === '2 / 1000')
      await wedge(session, largeDocumentBarcode(2))
      await answered(session, `✅ ${name(2)} (1/1000)`)

      // "➖": the scan removes one, and undo mode stays on.
      await press(session, '[data-test="undo-toggle"]')
      await wedge(session, largeDocumentBarcode(2))
      await answered(session, `➖ Убрано: ${name(2)}`)
      expect(await session.findAll('[data-test="undo-banner"]')).toHaveLength(1)
      await press(session, '[data-test="undo-toggle"]')
      await waitFor('undo mode off', async () => (await session.findAll('[data-test="undo-banner"]')).length === 0 || undefined)

      // A tab, "⌨" (its field takes the scan) and the cells order.
      await press(session, '[data-test="tab-scan"]')
      await wedge(session, largeDocumentBarcode(2))
      await answered(session, `✅ ${name(2)} (1/1000)`)
      await press(session, '[data-test="manual-toggle"]')
      await session.waitForText('[data-test="scanner-manual"]', () => true)
      expect(await session.execute<string>('return document.activeElement.dataset.test')).toBe('scanner-manual')
      await wedge(session, largeDocumentBarcode(3))
      await answered(session, `✅ ${name(3)} (1/1000)`)
      expect(await session.findAll('[data-test="scanner-manual"]')).toHaveLength(1)
      await press(session, '[data-test="manual-toggle"]')
      await press(session, '[data-test="cells-order"]')
      const order = await session.waitForText('[data-test="cells-order"]')
      await wedge(session, largeDocumentBarcode(2))
      await answered(session, `✅ ${name(2)} (2/1000)`)
      expect(await session.waitForText('[data-test="cells-order"]')).toBe(order)

      // A dialog closed and nothing focused: the burst is one whole scan, not its last keys.
      await press(session, '[data-test="card-edit"]')
      await press(session, '[data-test="edit-dialog"] .pedit__actions button:last-child')
      await waitFor('the dialog to close', async () => (await session.findAll('[data-test="edit-dialog"]')).length === 0 || undefined)
      await session.execute('document.activeElement && document.activeElement.blur()')
      await wedge(session, largeDocumentBarcode(1))
      await answered(session, `✅ ${name(1)} (3/1000)`)

      // A burst that starts with Tab or with GS (the focus on a button), and one with GS as Ctrl+].
      await press(session, '[data-test="tab-scan"]')
      await wedge(session, largeDocumentBarcode(4), [TAB])
      await answered(session, `✅ ${name(4)} (1/1000)`)
      await wedge(session, largeDocumentBarcode(4), ['\x1d'])
      await answered(session, `✅ ${name(4)} (2/1000)`)
      await wedge(session, largeDocumentBarcode(4), [[CONTROL, ']']])
      await answered(session, `✅ ${name(4)} (3/1000)`)

      // Each counted once, on its own line.
      expect(await draftCounts(session, doc.documentId)).toEqual({ 'large-00001': 3, 'large-00002': 2, 'large-00003': 1, 'large-00004': 3 })

      // A new picker: the first PIN leaves the scanner on manual entry. Its field has the focus when a
      // document opens, so the first scan counts without a tap.
      await session.execute('location.hash = "#/settings?section=work"')
      await press(session, '[data-test="scanner-mode"] option[value="manual"]')
      await waitFor('manual entry', () => session.execute<boolean>('return document.querySelector(\'[data-test="scanner-mode"]\').value === "manual"'))
      await openByAddress(session, address, 12)
      await wedge(session, largeDocumentBarcode(5))
      await answered(session, `✅ ${name(5)} (1/1000)`)
      // …and again after a dialog closes.
      await press(session, '[data-test="tab-scan"]')
      await press(session, '[data-test="card-edit"]')
      await press(session, '[data-test="edit-dialog"] .pedit__actions button:last-child')
      await waitFor('the dialog to close', async () => (await session.findAll('[data-test="edit-dialog"]')).length === 0 || undefined)
      expect(await session.execute<string>('return document.activeElement.dataset.test')).toBe('scanner-manual')
      await wedge(session, largeDocumentBarcode(5))
      await answered(session, `✅ ${name(5)} (2/1000)`)

      // The screen fits the window with every banner up: the connection strip, undo mode, the manual field.
      await rig.standIn.control('POST', '/outage', { ms: 120_000 })
      try {
        await session.waitForText('[data-test="connection-notice"]', () => true, 30_000)
        await press(session, '[data-test="undo-toggle"]')
        await session.waitForText('[data-test="undo-banner"]')
        const fits = await session.execute<{ bottom: number; height: number }>(
          'const r = document.querySelector(\'[data-test="finish"]\').getBoundingClientRect(); return { bottom: r.bottom, height: window.innerHeight }',
        )
        expect(fits.bottom).toBeLessThanOrEqual(fits.height)
      } finally {
        await rig.standIn.control('POST', '/outage', { ms: 0 })
      }
    } finally {
      await session.close()
    }
  })
})

describe('a product on two lines of a shipment', () => {
  it('fills line 2, then line 118, shows each line as it is counted, reopens with 1 and 3, and finishes by scanning alone', { timeout: 300_000 }, async () => {
    const device = await rig.standIn.mint('u-oleg')
    const docs = accountDocuments(rig.standIn.host.backend, 'acc-master')!
    const big = docs.byType.get('shipment')!.find((d) => d.positions.length === 120)!
    const product = (id: string) => docs.products.get(id)!
    const twice = big.positions[1]!.productId
    expect(big.positions[117]!.productId).toBe(twice)
    const { name } = product(twice)
    const barcode = product(twice).barcodes[0]!
    const address = `#/documents/${encodeURIComponent(big.id)}?type=shipment`
    const row = (key: string) => `[data-test="list-row-${key}"]`
    const { session } = await rig.open()
    try {
      await restartAsDevice(session, rig.standIn, device.token)
      await openByAddress(session, address, 120)
      await recordMessages(session)
      // Lines in document order, whatever the account's default cells order is.
      for (let i = 0; i < 3 && (await session.waitForText('[data-test="cells-order"]')) !== '📍 Ячейки: как в документе'; i++) {
        await press(session, '[data-test="cells-order"]')
      }
      expect(await session.waitForText('[data-test="cells-order"]', (t) => t === '📍 Ячейки: как в документе')).toBe('📍 Ячейки: как в документе')

      // The list shows the line that was counted: line 2, then line 118.
      await wedge(session, barcode)
      await answered(session, `✅ ${name} (1/1)`)
      expect(await session.waitForText(`${row(twice)}.plist__row--focused [data-test="row-count"]`)).toBe('1 / 1')
      await wedge(session, barcode)
      await answered(session, `✅ ${name} (1/3)`)
      expect(await session.waitForText(`${row(`${twice}#2`)}.plist__row--focused [data-test="row-count"]`)).toBe('1 / 3')
      await wedge(session, barcode)
      await answered(session, `✅ ${name} (2/3)`)
      await wedge(session, barcode)
      await answered(session, `✅ ${name} (3/3)`)
      expect(await session.waitForText('[data-test="document-progress"]')).toBe('2 / 120')

      // Leaving and opening again, with no new scan: exactly what was counted.
      await press(session, '[data-test="back"]')
      await waitFor('the list route', async () => (await session.execute<string>('return location.hash')).startsWith('#/documents?') || (await session.execute<string>('return location.hash')) === '#/documents' || undefined)
      await openByAddress(session, address, 120)
      expect(await session.waitForText('[data-test="document-progress"]', (t) => t === '2 / 120')).toBe('2 / 120')
      expect(await session.waitForText(`${row(twice)} [data-test="row-count"]`)).toBe('1 / 1')
      expect(await draftCounts(session, big.id)).toEqual({ [twice]: 1, [`${twice}#2`]: 3 })

      // Every other line by scanning, a few lines at a time.
      const rest = big.positions.filter((_, i) => i !== 1 && i !== 117)
      for (let i = 0; i < rest.length; i += 10) {
        const keys = rest.slice(i, i + 10).flatMap((p) => Array.from({ length: p.quantity }, () => [...product(p.productId).barcodes[0]!, ENTER]).flat())
        await session.keys(keys, SCANNER_MS)
      }
      await session.waitForText('[data-test="document-progress"]', (t) => t === '120 / 120', 60_000).catch(async (err: Error) => {
        const counted = await draftCounts(session, big.id)
        const wrong = big.positions.filter((p, i) => counted[i === 117 ? `${p.productId}#2` : p.productId] !== p.quantity).map((p) => p.productId)
        const seen = await session.execute<string[]>('return (window.__zvMessages || []).filter((t) => !t.startsWith("✅"))')
        throw new Error(`${err.message}: lines counted wrong ${JSON.stringify(wrong)}, other messages ${JSON.stringify(seen.slice(-8))}`)
      })
      await press(session, '[data-test="finish"]')
      await press(session, '[data-test="finish-confirm"]')
      await waitFor('the completion', async () => {
        const { completions } = await rig.standIn.control<{ completions: Array<{ documentId: string; items: Array<{ positionId: string; quantity: number }> }> }>('GET', '/completions')
        return completions.find((c) => c.documentId === big.id)
      }, 30_000).then((done) => {
        // Items go in the order the lines are shown; each line with its own count.
        expect(done.items.filter((i) => i.positionId === twice).map((i) => i.quantity).sort()).toEqual([1, 3])
        const lines = (list: Array<{ positionId: string; quantity: number }>) => list.map((i) => `${i.positionId}:${i.quantity}`).sort()
        expect(lines(done.items)).toEqual(lines(big.positions.map((p) => ({ positionId: p.productId, quantity: p.quantity }))))
      })
    } finally {
      await session.close()
    }
  })
})
