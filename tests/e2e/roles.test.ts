// The two-person check in the desktop app against the local service host, one employee after another on
// the same stand-in: a collector starts a shipment, picks it short with a reason and finishes; a checker
// finds it under "На проверку" (the check tile counts it), checks it from zero, disputes one position with
// "Сколько нашли", gives the box count and finishes; the same checker cannot check what she collected
// herself; an administrator returns the shipment to collection, and its draft and completed-here mark go.
import { describe, expect, it } from 'vitest'
import { accountDocuments, stageOf, type DemoDocument } from '../../ui/demo'
import { press, restartAsDevice, scanByWedge, setFieldValue, textOf, useStandInRig, waitForRoute } from './harness/standInApp'
import { waitFor } from './harness/wait'
import type { Session } from './harness/webdriver'

const rig = useStandInRig()
const ACCOUNT = 'acc-lesnaya'

interface Item {
  positionId: string
  quantity: number
  ordered?: number
  shortfall?: { reason: string; comment: string; disputed?: boolean }
  disputed?: boolean
}
interface Completed {
  documentId: string
  role?: string
  boxes?: number
  userId: string
  items: Item[]
}

const docs = () => accountDocuments(rig.standIn.host.backend, ACCOUNT)!
const product = (id: string) => docs().products.get(id)!

/** A new shipment among the newest, of two to four products without marks, each on one line. */
function plainShipment(skip: Set<string>): DemoDocument {
  const found = docs()
    .byType.get('shipment')!
    .filter((d) => d.inFilter && d.status === 'pending' && !d.check && !skip.has(d.id))
    .slice(0, 60)
    .find(
      (d) =>
        d.positions.length >= 2 &&
        d.positions.length <= 4 &&
        new Set(d.positions.map((p) => p.productId)).size === d.positions.length &&
        d.positions.every((p) => !product(p.productId).markable && p.quantity >= 2 && p.quantity <= 4),
    )
  if (!found) throw new Error('no plain shipment among the newest')
  return found
}

async function completions(documentId: string): Promise<Completed[]> {
  const { completions: all } = await rig.standIn.control<{ completions: Completed[] }>('GET', '/completions')
  return all.filter((c) => c.documentId === documentId)
}

/** The app on a fresh profile (or the given session), signed in as a device of `userId`, on the menu. */
async function signIn(userId: string, session?: Session): Promise<Session> {
  const device = await rig.standIn.mint(userId)
  const s = session ?? (await rig.open()).session
  await restartAsDevice(s, rig.standIn, device.token)
  await s.execute('location.hash = "#/menu"')
  await s.waitForText('[data-test="menu-tiles"]', () => true, 30_000)
  return s
}

const scan = scanByWedge

/** Finds the card by number in the list shown and presses it. */
async function pressCard(session: Session, doc: DemoDocument): Promise<void> {
  await session.type(await session.find('[data-test="doc-search"]'), doc.number)
  await press(session, `[data-test="doc-card"][data-id="${doc.id}"]`)
}

const setValue = setFieldValue
const text = textOf

describe('roles and the two-person check in the desktop app', () => {
  it('collector, checker, the checker\'s own document, and an administrator\'s reopen', async () => {
    const doc = plainShipment(new Set())
    const [first, second, ...rest] = doc.positions
    const barcode = (productId: string) => product(productId).barcodes[0]!

    // ---- the collector
    const egor = await signIn('u-egor')
    try {
      await press(egor, '[data-test="tile-shipment"]')
      await egor.waitForText('[data-test="tab-new"]', (t) => t === 'Новые')
      expect(await egor.waitForText('[data-test="role-hint"]')).toBe('Вы видите новые и свои документы в сборке')
      expect((await rig.standIn.messages('getDocumentList')).at(-1)?.p.stage).toEqual(['new', 'collecting'])
      await pressCard(egor, doc)
      await waitForRoute(egor, (r) => r.startsWith(`/documents/${encodeURIComponent(doc.id)}`))
      // Opening starts the collection by itself.
      await waitFor('the automatic start', async () => (await rig.standIn.messages('documentStart')).some((m) => m.p.documentId === doc.id) || undefined)
      expect(await egor.waitForText('[data-test="stage-bar-text"]', (t) => t === 'Документ за вами')).toBe('Документ за вами')

      for (const p of [first!, ...rest]) for (let n = 0; n < p.quantity; n++) expect(await scan(egor, barcode(p.productId))).toMatch(/^✅/)
      for (let n = 0; n < second!.quantity - 1; n++) await scan(egor, barcode(second!.productId))
      expect(await egor.waitForText('[data-test="finish"]', (t) => t.trim() === 'Завершить с недобором')).toBe('Завершить с недобором')
      await press(egor, '[data-test="finish"]')
      expect(await egor.waitForText('[data-test="finish-title"]')).toBe('Завершить с недобором?')
      const row = `[data-test="short-row-${second!.productId}"]`
      expect(await text(egor, `${row} [data-test="short-row-count"]`)).toBe(`Собрано ${second!.quantity - 1} из ${second!.quantity}`)
      await setValue(egor, `${row} [data-test="short-reason"]`, 'брак')
      await press(egor, '[data-test="finish-submit"]')
      await waitForRoute(egor, (r) => r.startsWith('/documents?'))
    } finally {
      await egor.close()
    }
    const collected = await completions(doc.id)
    expect(collected).toHaveLength(1)
    expect(collected[0]).toMatchObject({ role: 'collector', userId: 'u-egor' })
    expect(collected[0]!.items.find((i) => i.positionId === second!.productId)).toEqual({
      positionId: second!.productId,
      quantity: second!.quantity - 1,
      marks: [],
      ordered: second!.quantity,
      shortfall: { reason: 'брак', comment: '' },
    })

    // A shipment "the checker collected herself" (she was its collector before she became a checker).
    const own = plainShipment(new Set([doc.id]))
    own.status = 'completed'
    own.check = { stage: 'collected', collector: { id: 'u-vera', name: 'Вера Соколова' }, collected: {}, checked: {}, collectorShortfalls: {}, checkerShortfalls: {} }

    // ---- the checker
    const vera = await signIn('u-vera')
    try {
      const badge = await vera.waitForText('[data-test="tile-check-count"]')
      const waiting = docs().byType.get('shipment')!.filter((d) => d.inFilter && stageOf(d) === 'collected')
      expect(waiting.map((d) => d.id)).toContain(doc.id)
      expect(badge).toBe(String(waiting.length))
      await press(vera, '[data-test="tile-check"]')
      await waitForRoute(vera, '/documents?type=shipment&entry=check')
      expect(await vera.waitForText('[data-test="tab-to-check"]')).toBe('На проверку')
      expect(await vera.execute<string>('return document.querySelector(\'[data-test="tab-to-check"]\').className')).toContain('btn--primary')

      await pressCard(vera, own)
      expect(await vera.waitForText('[data-test="doc-note"]')).toBe('Этот заказ собирали вы — проверить его должен другой сотрудник')
      expect(await waitForRoute(vera, (r) => r.startsWith('/documents?'))).toContain('entry=check')

      await vera.execute('const s = document.querySelector(\'[data-test="doc-search"]\'); s.value = ""; s.dispatchEvent(new Event("input"))')
      await pressCard(vera, doc)
      await waitForRoute(vera, (r) => r.startsWith(`/documents/${encodeURIComponent(doc.id)}`))
      // Check mode counts from zero and shows what the collector counted.
      expect(await vera.waitForText('[data-test="document-progress"]', (t) => t.startsWith('0 /'))).toMatch(/^0 \//)
      for (const p of [first!, ...rest]) for (let n = 0; n < p.quantity; n++) expect(await scan(vera, barcode(p.productId))).toMatch(/^✅/)
      for (let n = 0; n < second!.quantity - 1; n++) await scan(vera, barcode(second!.productId))
      expect(await vera.waitForText('[data-test="finish"]', (t) => t.trim() === 'Завершить с расхождениями')).toBe('Завершить с расхождениями')
      await press(vera, '[data-test="finish"]')
      expect(await vera.waitForText('[data-test="finish-title"]')).toBe('Завершить проверку?')
      const row = `[data-test="short-row-${second!.productId}"]`
      expect(await text(vera, `${row} [data-test="short-row-count"]`)).toBe(
        `Заказано ${second!.quantity}, сборщик насчитал ${second!.quantity - 1}, проверено ${second!.quantity - 1}`,
      )
      await press(vera, `${row} [data-test="short-dispute"]`)
      await setValue(vera, `${row} [data-test="short-found"]`, String(second!.quantity - 2))
      await waitFor('the found count', async () => (await text(vera, `${row} [data-test="short-row-count"]`)).endsWith(`проверено ${second!.quantity - 2}`) || undefined)
      // The dialog scrolls: the box count is below the rows.
      await vera.execute('document.querySelector(\'[data-test="boxes"]\').scrollIntoView({ block: "center" })')
      await press(vera, '[data-test="boxes-plus"]')
      await press(vera, '[data-test="finish-submit"]')
      await waitForRoute(vera, (r) => r.startsWith('/documents?'))
    } finally {
      await vera.close()
    }
    const both = await completions(doc.id)
    expect(both.map((c) => [c.role, c.userId, c.boxes])).toEqual([
      ['collector', 'u-egor', undefined],
      ['checker', 'u-vera', 2],
    ])
    expect(both[1]!.items.find((i) => i.positionId === second!.productId)).toEqual({
      positionId: second!.productId,
      quantity: second!.quantity - 2,
      marks: [],
      ordered: second!.quantity,
      disputed: true,
    })
    expect(doc.check?.stage).toBe('checked')

    // ---- the administrator, on a computer that still holds a draft and a completed-here mark of the shipment
    const anna = await signIn('u-anna')
    try {
      await anna.execute('localStorage.setItem("zv_scan_state:" + arguments[0], JSON.stringify({ checked: { x: 1 }, marks: {}, updatedAt: Date.now(), byLine: true }))', doc.id)
      await anna.execute(
        'localStorage.setItem("zv_completed_docs", JSON.stringify({ [arguments[0]]: { at: Date.now(), by: "Егор Лукин", role: "collector" } }))',
        doc.id,
      )
      await press(anna, '[data-test="tile-shipment"]')
      await press(anna, '[data-test="tab-collected"]')
      // A part of the number: the whole one would open the document by itself after a moment, and start it.
      await anna.type(await anna.find('[data-test="doc-search"]'), doc.number.slice(0, 3))
      // The card says it was completed here; the dispute is the stand-in's.
      const completedLine = `[data-test="doc-card"][data-id="${doc.id}"] [data-test="doc-completed"]`
      expect(await waitFor('the completed-here line', async () => (await text(anna, completedLine)) || undefined)).toMatch(/^✓ Егор Лукин/)
      await press(anna, `[data-test="doc-card"][data-id="${doc.id}"] [data-test="doc-role-reopen"]`)
      expect(await anna.waitForText('[data-test="role-dialog-title"]')).toBe('Вернуть документ к сборке?')
      await press(anna, '[data-test="reopen-confirm"]')
      expect(await anna.waitForText('[data-test="role-dialog-title"]', (t) => t === 'Готово')).toBe('Готово')
      await press(anna, '[data-test="reopen-ok"]')
      await press(anna, '[data-test="tab-new"]')
      const stageLine = `[data-test="doc-card"][data-id="${doc.id}"] [data-test="doc-stage"]`
      expect(await waitFor('the card under "Новые"', async () => (await text(anna, stageLine)) || undefined)).toBe('Новый')
      expect(await anna.execute('return [localStorage.getItem("zv_scan_state:" + arguments[0]), JSON.parse(localStorage.getItem("zv_completed_docs") || "{}")[arguments[0]] ?? null]', doc.id)).toEqual([
        null,
        null,
      ])
    } finally {
      await anna.close()
    }
    expect(doc.check?.stage).toBe('new')
  })
})
