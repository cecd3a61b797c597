// Completion in the desktop app against the local service host. One employee signs in once through
// the screens and works through several shipments: a picked order reaches the server once with its
// counts and marks; a large one travels in pages; refusals keep the dialog and queue nothing; a
// completion whose answer is lost waits in the send queue and goes out after the connection returns;
// and a queued completion survives the app being killed.
import { afterAll, describe, expect, it } from 'vitest'
import { accountDocuments, type DemoDocument } from '../../ui/demo'
import type { ControlMessage } from '../../ui/core/testing/standIn'
import type { Profile } from './harness/desktopApp'
import { killApp } from './harness/processes'
import { press, scanByWedge, typePin, useStandInRig, waitForRoute, waitForStartup } from './harness/standInApp'
import { waitFor } from './harness/wait'
import { Session } from './harness/webdriver'

const rig = useStandInRig()

const ACCOUNT = 'acc-master'
const PIN = '333444'
const SEEDED = 'seeded-60'
const QUEUED = '📦 Документ сохранен на устройстве и уйдет сам, как появится связь.'

interface Completed {
  documentId: string
  items: Array<{ positionId: string; quantity: number; marks: string[] }>
  timeline: { openedAt: number; firstScanAt: number; lastScanAt: number; completedAt: number; scans: number } | null
  answers?: Record<string, unknown>
}

interface Item {
  positionId: string
  quantity: number
  marks: string[]
}

// ---- the one signed-in app of this file

let app: { session: Session; profile: Profile } | undefined

/** The app signed in as Oleg (an account without roles) through device code and PIN, on the first call. */
async function signedIn(): Promise<Session> {
  if (app) return app.session
  // A shipment of 60 positions (two pages), there before the first list loads.
  await rig.standIn.control('POST', '/seed-document', { accountId: ACCOUNT, size: 60, id: SEEDED })
  app = await rig.open()
  const { session } = app
  await waitForRoute(session, '/device-auth')
  await session.type(await session.find('[data-test="device-code"]'), '45678901')
  await press(session, '[data-test="device-code-submit"]')
  await waitForRoute(session, (r) => r.startsWith('/create-pin?'))
  await session.waitForText('[data-test="create-pin-name"]', (t) => t === 'Олег Орлов')
  await typePin(session, PIN)
  await session.waitForText('[data-test="create-pin-title"]', (t) => t === 'Повторите PIN-код')
  await typePin(session, PIN)
  await waitForRoute(session, (r) => r.startsWith('/menu'))
  // The first PIN of a device turns the scanner to manual entry; this desk has a wedge scanner.
  await session.execute('location.hash = "#/settings?section=work"')
  await press(session, '[data-test="scanner-mode"] option[value="wedge"]')
  await waitFor('the wedge scanner setting', () =>
    session.execute<boolean>('return document.querySelector(\'[data-test="scanner-mode"]\').value === "wedge"'),
  )
  return session
}

afterAll(async () => {
  await app?.session.close()
})


// ---- the shipments of the account as the stand-in holds them

function shipments(): DemoDocument[] {
  return accountDocuments(rig.standIn.host.backend, ACCOUNT)!.byType.get('shipment')!
}

function shipment(number: string): DemoDocument {
  const doc = shipments().find((d) => d.number === number)
  if (!doc) throw new Error(`no shipment ${number}`)
  return doc
}

function product(id: string) {
  return accountDocuments(rig.standIn.host.backend, ACCOUNT)!.products.get(id)!
}

/** A marking code of the product in its bare form: the GTIN (the EAN-13 with a leading zero), then the serial. */
const markOf = (productId: string, serial: string) => `0${product(productId).barcodes[0]}${serial}`

async function completions(documentId: string): Promise<Completed[]> {
  const { completions: all } = await rig.standIn.control<{ completions: Completed[] }>('GET', '/completions')
  return all.filter((c) => c.documentId === documentId)
}

async function pagesOf(documentId: string): Promise<ControlMessage[]> {
  return (await rig.standIn.messages('completeDocument')).filter((m) => m.p.documentId === documentId)
}

const byPosition = (items: Item[]) => [...items].sort((a, b) => a.positionId.localeCompare(b.positionId))

// ---- the document screen

/** Opens a shipment from the list, as a picker does, and waits for its contents. */
async function openDocument(session: Session, id: string, positions: number): Promise<void> {
  await session.execute('location.hash = "#/documents?type=shipment"')
  await press(session, `[data-test="doc-card"][data-id="${id}"]`)
  await waitForRoute(session, (r) => r.startsWith(`/documents/${encodeURIComponent(id)}`))
  await session.waitForText('[data-test="tab-list"]', (t) => t.includes(`(${positions})`), 30_000)
}

/** Runs `body` with the service out of reach; the outage ends afterwards whatever happens. */
async function duringOutage<T>(body: () => Promise<T>): Promise<T> {
  await rig.standIn.control('POST', '/outage', { ms: 120_000 })
  try {
    return await body()
  } finally {
    await rig.standIn.control('POST', '/outage', { ms: 0 })
  }
}

const scan = scanByWedge

/** The finish button, then "Завершить" in the confirmation. */
async function finishAndConfirm(session: Session, label: string): Promise<void> {
  expect(await session.waitForText('[data-test="finish"]', (t) => t.trim() === label)).toBe(label)
  await press(session, '[data-test="finish"]')
  await press(session, '[data-test="finish-confirm"]')
}

const dialogMessage = (session: Session, match: (t: string) => boolean = () => true, timeoutMs = 20_000) =>
  session.waitForText('[data-test="finish-message"]', match, timeoutMs)

const queueInPage = (session: Session) =>
  session.execute<Array<{ documentId: string; items: unknown[] }>>('return JSON.parse(localStorage.getItem("zv_send_queue") || "[]")')

const classOf = (session: Session, css: string) =>
  session.execute<string>('const e = document.querySelector(arguments[0]); return e ? e.className : ""', css)

// ---- the app process

describe('completion in the desktop app', () => {
  it('sign in, open an order, scan every item and its marks, finish: the server holds exactly that, once', async () => {
    const session = await signedIn()
    const { standIn } = rig
    const doc = shipment('2202')
    expect(doc.status).toBe('pending')

    await openDocument(session, doc.id, doc.positions.length)

    // Marked goods by their marks, the others by their barcodes.
    const expected: Item[] = []
    let scans = 0
    for (const [k, p] of doc.positions.entries()) {
      const marks: string[] = []
      for (let n = 1; n <= p.quantity; n++) {
        const code = product(p.productId).markable ? markOf(p.productId, `Sn${k}x${n}QW`) : product(p.productId).barcodes[0]!
        if (product(p.productId).markable) marks.push(code)
        expect(await scan(session, code)).toMatch(/^✅/)
        scans += 1
      }
      expected.push({ positionId: p.productId, quantity: p.quantity, marks })
    }
    expect(expected.some((i) => i.marks.length > 0) && expected.some((i) => i.marks.length === 0)).toBe(true)

    await finishAndConfirm(session, '✅ Завершить проверку')
    await waitForRoute(session, '/documents?type=shipment')

    const done = await completions(doc.id)
    expect(done).toHaveLength(1)
    expect(byPosition(done[0]!.items)).toEqual(byPosition(expected))
    expect(done[0]!.timeline).toMatchObject({ scans })
    const t = done[0]!.timeline!
    expect(t.openedAt <= t.firstScanAt && t.firstScanAt <= t.lastScanAt && t.lastScanAt <= t.completedAt).toBe(true)
    const pages = await pagesOf(doc.id)
    expect(pages.map((m) => [m.p.page, m.p.final])).toEqual([[1, true]])
    // Nothing waits; the document counts as completed here.
    expect(await queueInPage(session)).toEqual([])
    expect(await session.waitForText(`[data-test="doc-card"][data-id="${doc.id}"] [data-test="doc-status"]`)).toBe('Собран')
  })

  it('a document of 120 positions goes out as pages of 50, 50 and 20; only the last is final and carries the timeline', async () => {
    const session = await signedIn()
    const doc = shipment('2199')
    expect(doc.positions).toHaveLength(120)
    await openDocument(session, doc.id, 120)
    const first = doc.positions[0]!
    const last = doc.positions[119]!
    for (const p of [first, last]) expect(await scan(session, product(p.productId).barcodes[0]!)).toMatch(/^✅/)

    await finishAndConfirm(session, 'Завершить с недобором')
    await waitForRoute(session, '/documents?type=shipment')

    const pages = await pagesOf(doc.id)
    expect(pages.map((m) => [m.p.page, (m.p.items as unknown[]).length, m.p.final, 'timeline' in m.p])).toEqual([
      [1, 50, false, false],
      [2, 50, false, false],
      [3, 20, true, true],
    ])
    const done = await completions(doc.id)
    expect(done).toHaveLength(1)
    const counted = done[0]!.items.filter((i) => i.quantity > 0)
    expect(byPosition(counted)).toEqual(byPosition([first, last].map((p) => ({ positionId: p.productId, quantity: 1, marks: [] }))))
    expect(done[0]!.items.map((i) => i.positionId)).toHaveLength(120)
    expect(new Set(done[0]!.items.map((i) => i.positionId))).toEqual(new Set(doc.positions.map((p) => p.productId)))
  })

  it('refusals keep the dialog and queue nothing; answers are checked here and marked as the server lists them', async () => {
    const session = await signedIn()
    const { standIn } = rig
    const doc = shipment('2203')
    await openDocument(session, doc.id, doc.positions.length)
    const plain = doc.positions.find((p) => !product(p.productId).markable)!
    expect(await scan(session, product(plain.productId).barcodes[0]!)).toMatch(/^✅/)
    const short = doc.positions.find((p) => p !== plain)!

    // "reason-required" naming a position: its text in the open dialog, the position shown behind it.
    await standIn.nextReply('completeDocument', 'fail', { payload: { errorCode: 'reason-required', positionId: short.productId } })
    await finishAndConfirm(session, 'Завершить с недобором')
    expect(await dialogMessage(session)).toBe(`Укажите причину недобора по позиции «${product(short.productId).name}».`)
    expect(await session.findAll('[data-test="finish-confirm"]')).toHaveLength(1)
    expect(await classOf(session, `[data-test="list-row-${short.productId}"]`)).toContain('plist__row--focused')
    expect(await queueInPage(session)).toEqual([])
    expect(await completions(doc.id)).toEqual([])
    await press(session, '[data-test="finish-cancel"]')

    // Questions: a required whole number, a required yes/no, an optional text.
    const questions = [
      { id: 'q-boxes', label: ' Сколько коробок ', required: true, type: 'attribute', valueType: 'long' },
      { id: 'q-fragile', label: 'Есть хрупкое', required: true, type: 'attribute', valueType: 'boolean' },
      { id: 'q-note', label: 'Комментарий', required: false, type: 'attribute', valueType: 'string' },
    ]
    await standIn.nextReply('finishQuestions', 'fail', { payload: { questions } })
    await press(session, '[data-test="finish"]')
    expect(await session.waitForText('[data-test="question-q-note"]')).toContain('Комментарий (по желанию)')
    const sentBefore = (await pagesOf(doc.id)).length

    // "12,5" is not a whole number: refused here, nothing goes out.
    await session.type(await session.find('[data-test="answer-q-boxes"]'), '12,5')
    await press(session, '[data-test="question-q-fragile"] [data-test="option-true"]')
    await press(session, '[data-test="finish-submit"]')
    expect(await session.waitForText('[data-test="question-q-boxes"] [role="alert"]')).toBe('Целое число')
    expect(await classOf(session, '[data-test="question-q-boxes"]')).toContain('question--bad')
    expect(await pagesOf(doc.id)).toHaveLength(sentBefore)

    // The server finds the answers wrong: the listed questions are marked, the dialog stays.
    await session.execute(
      'const f = document.querySelector(\'[data-test="answer-q-boxes"]\'); f.value = ""; f.dispatchEvent(new Event("input"))',
    )
    await session.type(await session.find('[data-test="answer-q-boxes"]'), '12')
    await standIn.nextReply('completeDocument', 'fail', { payload: { errorCode: 'answers-invalid', missing: ['q-note'], wrong: ['q-boxes'] } })
    await press(session, '[data-test="finish-submit"]')
    expect(await dialogMessage(session)).toBe('Ответьте на вопросы и проверьте введенное.')
    for (const id of ['q-boxes', 'q-note']) expect(await classOf(session, `[data-test="question-${id}"]`)).toContain('question--bad')
    expect(await classOf(session, '[data-test="question-q-fragile"]')).not.toContain('question--bad')
    expect(await queueInPage(session)).toEqual([])
    expect(await completions(doc.id)).toEqual([])

    // Answered again, it goes through with the answers on its last page.
    await session.type(await session.find('[data-test="answer-q-note"]'), 'у окна')
    await press(session, '[data-test="finish-submit"]')
    await waitForRoute(session, '/documents?type=shipment')
    const done = await completions(doc.id)
    expect(done).toHaveLength(1)
    expect(done[0]!.answers).toEqual({ 'q-boxes': 12, 'q-fragile': true, 'q-note': 'у окна' })
    expect(await queueInPage(session)).toEqual([])
  })

  it('the connection lost at the moment of completion: the document waits in the queue and arrives once, all pages, when it returns', { timeout: 120_000 }, async () => {
    const session = await signedIn()
    const { standIn } = rig
    const doc = await standIn.control<{ documentId: string; number: string }>('POST', '/seed-document', { accountId: ACCOUNT, size: 60, id: SEEDED })
    await openDocument(session, doc.documentId, 60)
    expect(await scan(session, product('large-00007').barcodes[0]!)).toMatch(/^✅/)

    // Page 1 is answered; page 2 arrives and is acted on, but its answer is lost with the connection.
    await standIn.nextReply('completeDocument', 'delay', { ms: 0 })
    await standIn.nextReply('completeDocument', 'drop')
    await finishAndConfirm(session, 'Завершить с недобором')
    await waitFor('the last page at the server', async () => (await pagesOf(doc.documentId)).length === 2)
    expect(await completions(doc.documentId)).toHaveLength(1)
    await duringOutage(async () => {
      // The page's time-out: queued, with the texts of that case.
      expect(await dialogMessage(session, (t) => t === QUEUED, 30_000)).toBe(QUEUED)
      expect(await session.waitForText('[data-test="finish-ok"]')).toBe('Понятно')
      await press(session, '[data-test="finish-ok"]')
      await waitForRoute(session, '/documents?type=shipment')
      await session.execute('location.hash = "#/send-queue"')
      expect(await session.waitForText('[data-test="queue-entry"]')).toContain(`№ ${doc.number}`)
      expect(await session.waitForText('[data-test="queue-entry"]')).toContain('Позиций: 60')
      expect(await session.waitForText('[data-test="queue-send"]', (t) => t === 'Нет связи')).toBe('Нет связи')
    })

    // The connection returns: the queue goes out by itself.
    expect(await session.waitForText('[data-test="queue-empty"]', () => true, 30_000)).toContain('Все отправлено')
    const pages = await pagesOf(doc.documentId)
    expect(pages.map((m) => [m.p.page, m.p.final])).toEqual([
      [1, false],
      [2, true],
      [1, false],
      [2, true],
    ])
    const done = await completions(doc.documentId)
    expect(done).toHaveLength(1)
    expect(done[0]!.items).toHaveLength(60)
    expect(done[0]!.items.find((i) => i.positionId === 'large-00007')).toEqual({ positionId: 'large-00007', quantity: 1, marks: [] })
    expect(await queueInPage(session)).toEqual([])
  })

  it('a queued completion outlives the app killed with SIGKILL and is delivered after the start', { timeout: 150_000 }, async () => {
    const session = await signedIn()
    const { standIn } = rig
    const doc = shipment('2201')
    await openDocument(session, doc.id, doc.positions.length)
    const p = doc.positions[0]!
    expect(await scan(session, product(p.productId).barcodes[0]!)).toMatch(/^✅/)

    // The server does not accept the page: queued at once, with the server's words.
    await standIn.nextReply('completeDocument', 'fail', { payload: { accepted: false, error: 'База на обслуживании...  ' } })
    await finishAndConfirm(session, 'Завершить с недобором')
    expect(await dialogMessage(session, (t) => t.startsWith('⚠️'))).toBe(
      '⚠️ Сервер не принял документ: База на обслуживании. Документ сохранен на устройстве, отправим повторно.',
    )
    expect((await queueInPage(session)).map((e) => e.documentId)).toEqual([doc.id])

    // Killed at once, the web and network processes with it; the network is down when it starts again.
    const again = await duringOutage(async () => {
      await killApp(app!.profile)
      await app!.session.close()

      const next = await Session.start(app!.profile, rig.display.name)
      app = { session: next, profile: app!.profile }
      await waitForStartup(next)
      await waitForRoute(next, '/quick-login')
      await typePin(next, PIN)
      await waitForRoute(next, (r) => r.startsWith('/menu'))
      await next.execute('location.hash = "#/send-queue"')
      expect(await next.waitForText('[data-test="queue-entry"]')).toContain(`№ ${doc.number}`)
      expect(await completions(doc.id)).toEqual([])
      return next
    })

    expect(await again.waitForText('[data-test="queue-empty"]', () => true, 30_000)).toContain('Все отправлено')
    const done = await completions(doc.id)
    expect(done).toHaveLength(1)
    expect(done[0]!.items.find((i) => i.positionId === p.productId)).toEqual({ positionId: p.productId, quantity: 1, marks: [] })
    expect((await pagesOf(doc.id)).filter((m) => m.p.final === true)).toHaveLength(2)
  })
})
