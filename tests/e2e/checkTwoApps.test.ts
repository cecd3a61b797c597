// The two-person check with two desktop apps signed in at once against one stand-in: a checker who agrees
// with the collector's shortfall reason (and one who disputes it) is recorded beside the collector and the
// shipment ends checked; a second collector on a document in collection can neither scan nor finish and is
// told why, an administrator takes it over after a question naming the collector, whose next scan is
// refused; a roles setting the administrator saves applies at once on a device signed in before; and on an
// account that withdraws marks, a marked product's plain barcode and an excess mark are asked about before
// finishing, and only the kept codes are withdrawn.
import { describe, expect, it } from 'vitest'
import { accountDocuments, type DemoDocument } from '../../ui/demo'
import { press, restartAsDevice, scanByWedge, setFieldValue, textOf, useStandInRig, waitForRoute } from './harness/standInApp'
import { waitFor } from './harness/wait'
import type { Session } from './harness/webdriver'

const rig = useStandInRig()
const LESNAYA = 'acc-lesnaya'
const MASTER = 'acc-master'

interface Item {
  positionId: string
  quantity: number
  marks: string[]
  ordered?: number
  shortfall?: { reason: string; comment: string; disputed?: boolean; confirmed?: boolean }
  disputed?: boolean
}
interface Completed {
  documentId: string
  role?: string
  userId: string
  completionId?: string
  items: Item[]
}

const docsOf = (account: string) => accountDocuments(rig.standIn.host.backend, account)!
const used = new Set<string>()

/** A new shipment among the newest, of two to four products without marks, each on one line, quantities 2 to 4. */
function plainShipment(): DemoDocument {
  const docs = docsOf(LESNAYA)
  const found = docs.byType
    .get('shipment')!
    .filter((d) => d.inFilter && d.status === 'pending' && !d.check && !used.has(d.id))
    .slice(0, 400)
    .find(
      (d) =>
        d.positions.length >= 2 &&
        d.positions.length <= 4 &&
        new Set(d.positions.map((p) => p.productId)).size === d.positions.length &&
        d.positions.every((p) => !docs.products.get(p.productId)!.markable && p.quantity >= 2 && p.quantity <= 4),
    )
  if (!found) throw new Error('no plain shipment among the newest')
  used.add(found.id)
  return found
}

async function completions(documentId: string): Promise<Completed[]> {
  const { completions: all } = await rig.standIn.control<{ completions: Completed[] }>('GET', '/completions')
  return all.filter((c) => c.documentId === documentId)
}

/** A fresh app signed in as a device of `userId`, on the menu. */
async function signIn(userId: string): Promise<Session> {
  const device = await rig.standIn.mint(userId)
  const { session } = await rig.open()
  await restartAsDevice(session, rig.standIn, device.token)
  await session.execute('location.hash = "#/menu"')
  await session.waitForText('[data-test="menu-tiles"]', () => true, 30_000)
  return session
}

/** Opens the document screen by address alone, as a link or the Ozon page does. */
async function openByAddress(session: Session, doc: DemoDocument): Promise<void> {
  await session.execute('location.hash = arguments[0]', `#/documents/${encodeURIComponent(doc.id)}?type=shipment`)
  await waitForRoute(session, (r) => r.startsWith(`/documents/${encodeURIComponent(doc.id)}`))
}

const barcodeOf = (account: string, productId: string) => docsOf(account).products.get(productId)!.barcodes[0]!

/** Every position scanned in full, except `short` one item short. */
async function scanShort(session: Session, doc: DemoDocument, short: string): Promise<void> {
  for (const p of doc.positions) {
    const n = p.productId === short ? p.quantity - 1 : p.quantity
    for (let k = 0; k < n; k++) await scanByWedge(session, barcodeOf(LESNAYA, p.productId))
  }
}

describe('the two-person check on two apps at once', () => {
  it.each<['confirms' | 'disputes']>([['confirms'], ['disputes']])('the collector finishes short with a reason, the checker %s it', async (answer) => {
    const doc = plainShipment()
    const second = doc.positions[1]!
    const row = `[data-test="short-row-${second.productId}"]`
    const egor = await signIn('u-egor')
    const maria = await signIn('u-maria')
    try {
      await openByAddress(egor, doc)
      await egor.waitForText('[data-test="stage-bar-text"]', (t) => t === 'Документ за вами')
      await scanShort(egor, doc, second.productId)
      await press(egor, '[data-test="finish"]')
      await setFieldValue(egor, `${row} [data-test="short-reason"]`, 'брак')
      await press(egor, '[data-test="finish-submit"]')
      await waitForRoute(egor, (r) => r.startsWith('/documents?'))

      await openByAddress(maria, doc)
      await maria.waitForText('[data-test="document-progress"]', (t) => t.startsWith('0 /'))
      await scanShort(maria, doc, second.productId)
      expect(await maria.waitForText('[data-test="finish"]', (t) => t.trim() === 'Завершить с расхождениями')).toBe('Завершить с расхождениями')
      await press(maria, '[data-test="finish"]')
      if (answer === 'confirms') {
        await press(maria, `${row} [data-test="short-confirm"]`)
        await maria.waitForText(`${row} [data-test="short-confirm"]`, (t) => t === '✓ Причина та')
      } else {
        await press(maria, `${row} [data-test="short-dispute"]`)
        await setFieldValue(maria, `${row} [data-test="short-reason"]`, 'пересорт')
      }
      await maria.execute('document.querySelector(\'[data-test="boxes"]\')?.scrollIntoView({ block: "center" })')
      await press(maria, '[data-test="finish-submit"]')
      await waitForRoute(maria, (r) => r.startsWith('/documents?'))
    } finally {
      await egor.close()
      await maria.close()
    }
    const both = await completions(doc.id)
    expect(both.map((c) => [c.role, c.userId])).toEqual([
      ['collector', 'u-egor'],
      ['checker', 'u-maria'],
    ])
    expect(both[0]!.completionId).not.toBe(both[1]!.completionId)
    expect(both[1]!.items.find((i) => i.positionId === second.productId)?.shortfall).toEqual(
      answer === 'confirms' ? { reason: 'брак', comment: '', confirmed: true } : { reason: 'пересорт', comment: '', disputed: true },
    )
    expect(doc.check?.stage).toBe('checked')
  }, 300_000)

  it('a second collector cannot work on a document in collection; an administrator takes it over, and the collector is told at his next scan', async () => {
    const doc = plainShipment()
    const [first] = doc.positions
    const egor = await signIn('u-egor')
    const igor = await signIn('u-igor')
    const anna = await signIn('u-anna')
    try {
      await openByAddress(egor, doc)
      await egor.waitForText('[data-test="stage-bar-text"]', (t) => t === 'Документ за вами')
      expect(await scanByWedge(egor, barcodeOf(LESNAYA, first!.productId))).toMatch(/^✅/)

      // The second collector: the screen says whose it is; a scan is refused and the finish stays grey.
      await openByAddress(igor, doc)
      const reason = await igor.waitForText('[data-test="screen-locked-reason"]', (t) => t.startsWith('Документ уже собирает Егор Лукин'))
      expect(reason).toMatch(/^Документ уже собирает Егор Лукин с \d\d:\d\d\. Возьмите другой или попросите его отпустить\.$/)
      expect(await scanByWedge(igor, barcodeOf(LESNAYA, first!.productId))).toBe(reason)
      expect(await igor.execute<boolean>('return document.querySelector(\'[data-test="finish"]\').disabled')).toBe(true)
      expect(await textOf(igor, '[data-test="take-over"]')).toBe('')
      await press(igor, '[data-test="locked-back"]')
      await waitForRoute(igor, (r) => r.startsWith('/documents?'))

      // The administrator takes it over, after a question naming the collector.
      await openByAddress(anna, doc)
      await anna.waitForText('[data-test="screen-locked-reason"]', (t) => t.startsWith('Документ уже собирает Егор Лукин'))
      await press(anna, '[data-test="take-over"]')
      expect(await anna.waitForText('[data-test="take-over-text"]')).toContain('Документ сейчас собирает Егор Лукин.')
      await press(anna, '[data-test="take-over-confirm"]')
      await waitFor('the screen to be hers', async () => (await anna.execute<boolean>('return !document.querySelector(\'[data-test="screen-locked"]\')')) || undefined)
      expect(await scanByWedge(anna, barcodeOf(LESNAYA, first!.productId))).toMatch(/^✅/)
      expect(doc.check?.collector?.id).toBe('u-anna')

      // Егор's next scan is refused with the reason.
      const told = 'Документ забрал себе администратор: теперь его собирает Анна Смирнова. Ваши сканы здесь больше не считаются.'
      expect(await waitFor('the takeover to reach Егор', async () => ((await scanByWedge(egor, barcodeOf(LESNAYA, first!.productId))) === told ? told : undefined))).toBe(told)
      expect(await textOf(egor, '[data-test="screen-locked-reason"]')).toBe(told)
    } finally {
      await egor.close()
      await igor.close()
      await anna.close()
    }
  }, 300_000)

  it('a roles setting the administrator saves applies on a device signed in before, without a restart', async () => {
    const doc = plainShipment()
    const second = doc.positions[1]!
    const row = `[data-test="short-row-${second.productId}"]`
    const egor = await signIn('u-egor')
    const anna = await signIn('u-anna')
    try {
      await openByAddress(egor, doc)
      await egor.waitForText('[data-test="stage-bar-text"]', (t) => t === 'Документ за вами')
      await scanShort(egor, doc, second.productId)
      await press(egor, '[data-test="finish"]')
      expect(await egor.waitForText(`${row} label span`)).toBe('Причина (по желанию)')
      await press(egor, '[data-test="finish-cancel"]')

      await anna.execute('location.hash = "#/settings?section=roles"')
      await press(anna, '[data-test="roles-flag-shortfallReasonRequired"]')
      await press(anna, '[data-test="roles-save"]')
      await anna.waitForText('[data-test="roles-message"]', (t) => t === 'Сохранено')

      await press(egor, '[data-test="finish"]')
      expect(await egor.waitForText(`${row} label span`, (t) => t === 'Причина')).toBe('Причина')
      expect(await egor.waitForText('[data-test="finish-lead"]')).toContain('Укажите причину у каждой.')
    } finally {
      await egor.close()
      await anna.close()
    }
  }, 300_000)
})

describe('marked goods where codes are withdrawn', () => {
  /** A retail shipment of at most three lines, one of them marked with a quantity of two or more. */
  function markedShipment() {
    const docs = docsOf(MASTER)
    const doc = docs.byType
      .get('shipment')!
      .find(
        (d) =>
          d.status === 'pending' &&
          d.inFilter &&
          !used.has(d.id) &&
          d.positions.length <= 3 &&
          d.positions.filter((p) => docs.products.get(p.productId)!.markable).length === 1 &&
          d.positions.some((p) => docs.products.get(p.productId)!.markable && p.quantity >= 2),
      )!
    used.add(doc.id)
    const marked = doc.positions.find((p) => docs.products.get(p.productId)!.markable)!
    const product = docs.products.get(marked.productId)!
    return { doc, marked, product, mark: (n: number) => `0${product.barcodes[0]}Wd${doc.number.length}x${n}Q` }
  }

  /** Every other line of the document, in full. */
  async function scanOthers(session: Session, doc: DemoDocument, marked: DemoDocument['positions'][number]): Promise<void> {
    for (const p of doc.positions) if (p !== marked) for (let n = 1; n <= p.quantity; n++) await scanByWedge(session, barcodeOf(MASTER, p.productId))
  }

  async function finishWithdrawing(session: Session): Promise<void> {
    await press(session, '[data-test="withdraw-yes"]')
    await waitFor('the document to be sent', async () => {
      const r = await waitForRoute(session, () => true)
      if (r.startsWith('/documents?')) return true
      const confirm = await session.findAll('[data-test="finish-confirm"]')
      if (confirm[0]) await session.click(confirm[0]).catch(() => {})
      return undefined
    }, 30_000)
  }

  async function withdrawnCodes(documentId: string): Promise<string[]> {
    return waitFor('the withdrawal task', async () => {
      const { tasks } = await rig.standIn.control<{ tasks: Array<{ documentId: string; codes: string[] }> }>('GET', '/withdrawal-tasks')
      return tasks.find((t) => t.documentId === documentId)?.codes
    })
  }

  it('a marked product by its plain barcode is said to go out without a code, and the finish names that unit', async () => {
    await rig.standIn.control('POST', '/withdrawal-options', { accountId: MASTER, retail: true, ask: true })
    const { doc, marked, product, mark } = markedShipment()
    const oleg = await signIn('u-oleg')
    try {
      await openByAddress(oleg, doc)
      await oleg.waitForText('[data-test="tab-list"]', (t) => t.includes(`(${doc.positions.length})`), 30_000)
      expect(await scanByWedge(oleg, product.barcodes[0]!)).toBe(
        `⚠️ ${product.name} (1/${marked.quantity}): без кода маркировки — эту единицу не выведем из оборота`,
      )
      for (let n = 2; n <= marked.quantity; n++) expect(await scanByWedge(oleg, mark(n))).toMatch(/^✅/)
      await scanOthers(oleg, doc, marked)
      await press(oleg, '[data-test="finish"]')
      expect(await oleg.waitForText('[data-test="review-no-code-summary"]')).toBe('1 единица без кода маркировки: из оборота ее не выведем.')
      expect(await textOf(oleg, '[data-test="review-no-code"]')).toBe(`${product.name}: 1 ед. без кода маркировки — из оборота не выведем`)
      await press(oleg, '[data-test="review-proceed"]')
      await finishWithdrawing(oleg)
    } finally {
      await oleg.close()
    }
    const [sent] = await completions(doc.id)
    const kept = Array.from({ length: marked.quantity - 1 }, (_, i) => mark(i + 2))
    expect(sent!.items.find((i) => i.positionId === marked.productId)).toMatchObject({ quantity: marked.quantity, marks: kept })
    expect(await withdrawnCodes(doc.id)).toEqual(kept)
  }, 300_000)

  it('finishing with one excess mark asks first, and only the kept codes are withdrawn', async () => {
    await rig.standIn.control('POST', '/withdrawal-options', { accountId: MASTER, retail: true, ask: true })
    const { doc, marked, product, mark } = markedShipment()
    const oleg = await signIn('u-oleg')
    try {
      await openByAddress(oleg, doc)
      await oleg.waitForText('[data-test="tab-list"]', (t) => t.includes(`(${doc.positions.length})`), 30_000)
      for (let n = 1; n <= marked.quantity; n++) expect(await scanByWedge(oleg, mark(n))).toMatch(/^✅/)
      expect(await scanByWedge(oleg, mark(99))).toBe(`⚠️ Лишнее: ${product.name}`)
      await scanOthers(oleg, doc, marked)
      await press(oleg, '[data-test="finish"]')
      expect(await oleg.waitForText('[data-test="review-title"]')).toBe('Больше, чем заказано')
      expect(await textOf(oleg, '[data-test="review-excess"]')).toBe(`${product.name}: ${marked.quantity + 1} из ${marked.quantity}`)
      await press(oleg, '[data-test="review-remove"]')
      await oleg.waitForText('[data-test="finish-dialog"] h2', (t) => t === 'Вывести коды из оборота?')
      await finishWithdrawing(oleg)
    } finally {
      await oleg.close()
    }
    const [sent] = await completions(doc.id)
    const kept = Array.from({ length: marked.quantity }, (_, i) => mark(i + 1))
    expect(sent!.items.find((i) => i.positionId === marked.productId)).toMatchObject({ quantity: marked.quantity, marks: kept })
    const codes = await withdrawnCodes(doc.id)
    expect(codes).toEqual(kept)
    expect(codes).not.toContain(mark(99))
  }, 300_000)
})
