import { afterEach, beforeEach, describe, expect, it, vi } from 'vitest'
import { accountDocuments, DEMO_ACCOUNT_ID, sampleMark } from '../../demo'
import { writeCachedContents } from '../dataCache'
import type { PositionRecord } from '../records'
import { readDraft } from './draft'
import { shortTime } from './contentsLoading'
import { mark } from './testing/marks'
import { DOC_ID, ELSEWHERE, pickingKit, PRODUCTS, record, type PickingKit } from './testing/pickingKit'
import { resetAskingSwitch } from './unknownCodeHelp'
import { LookupIndex } from '../../reference/lookupIndex'

let kit: PickingKit
beforeEach(() => {
  resetAskingSwitch()
  kit = pickingKit()
})
afterEach(() => {
  kit.session.close()
  kit.end()
  vi.useRealTimers()
})

const { shoes, mug, cable } = PRODUCTS
const position = (id: string) => kit.session.products.value.find((p) => p.assortmentId === id)!
const shoeMark = (serial: string, tail: 'full' | 'none' | 'no-gs' = 'full') => sampleMark({ barcodes: [shoes.barcode] }, serial, tail)
const flash = () => kit.session.state.flash?.text
async function opened() {
  await kit.session.open(record())
  return kit.session
}
/** Lets the demonstration channel deliver what is on its way. */
const settle = () => new Promise((r) => setTimeout(r, 5))

describe('opening a document', () => {
  it('refuses a scan before the contents arrive without counting it; after loading the same scan counts', async () => {
    const s = kit.session
    const loading = s.open(record())
    const early = s.scan(mug.barcode)
    expect(early).toMatchObject({ kind: 'composition-loading', checked: null, sound: 'error' })
    expect(flash()).toBe('Состав документа еще загружается — отсканируйте через пару секунд')
    await loading
    expect(position(mug.id).checked).toBe(0)
    expect(s.scan(mug.barcode)).toMatchObject({ kind: 'progress', message: '✅ Кружка (1/2)' })
    expect(position(mug.id)).toMatchObject({ checked: 1, status: 'partial' })
    expect(kit.documents.currentDocument).toMatchObject({ totalPositions: 3, checkedPositions: 0 })
  })

  it('shows cached contents at once, counts against them, and re-applies those counts to the fresh contents', async () => {
    const cachedAt = Date.now() - 60_000
    const cached: PositionRecord[] = [
      { assortmentId: mug.id, name: mug.name, code: 'X', barcodes: [mug.barcode], required: 2, checked: 0, status: 'pending', cell: '' },
      { assortmentId: 'p-gone', name: 'Убранный', code: '', barcodes: ['777'], required: 1, checked: 0, status: 'pending', cell: '' },
    ]
    writeCachedContents(DOC_ID, cached, cachedAt)
    const s = kit.session
    const loading = s.open(record())
    expect(s.state.banner).toBe(`Обновляем данные… показаны от ${shortTime(cachedAt, Date.now())}`)
    expect(s.scan(mug.barcode).kind).toBe('progress')
    expect(s.scan('777').kind).toBe('done')
    await loading
    expect(s.state.banner).toBe('')
    expect(s.products.value.map((p) => p.assortmentId)).toEqual([shoes.id, mug.id, cable.id])
    expect(position(mug.id)).toMatchObject({ checked: 1, status: 'partial', required: 2 })
    expect(readDraft(DOC_ID)?.checked).toEqual({ [mug.id]: 1 })
    expect(s.scan('777').kind).toBe('not-found')
  })

  it('keeps the cache when fresh contents do not come, and says what the server said', async () => {
    writeCachedContents(DOC_ID, [{ assortmentId: mug.id, name: mug.name, code: '', barcodes: [mug.barcode], required: 2, checked: 0, status: 'pending', cell: '' }])
    kit.script('subscribeDocument', [() => ({ documentId: DOC_ID, items: [], total: 0, final: true })])
    const s = await opened()
    expect(s.state.banner).toBe(
      'Состав документа не пришел — работаем по тому, что уже загружено. Обновите через минуту: МойСклад ограничивает число запросов',
    )
    expect(kit.logs).toContain('[DocumentWork] нет связи, работаем по кэшу:')
    expect(s.scan(mug.barcode).kind).toBe('progress')
  })

  it('with neither cache nor answer the list is empty with the reason, and scans are not in the document', async () => {
    kit.script('subscribeDocument', [() => ({ documentId: DOC_ID, items: [{ id: 'a', name: 'A', quantity: 1 }], total: 2, final: true })])
    const s = await opened()
    expect(s.state.emptyText).toBe('Товары документа загрузились не полностью: 1 из 2. Откройте документ заново — собирать по неполному списку нельзя.')
    expect(s.products.value).toEqual([])
    expect(s.scan(mug.barcode).kind).toBe('not-found')
  })

  it('restores the draft: counts and marks, and tells how many marks', async () => {
    const s = await opened()
    s.scan(mug.barcode)
    s.scan(shoeMark('S1'))
    s.close()
    const again = kit.reopen()
    await again.open(record())
    expect(again.products.value.find((p) => p.assortmentId === mug.id)?.checked).toBe(1)
    expect(again.marks[shoes.id]).toEqual([shoeMark('S1')])
    expect(kit.logs).toContain('[DocumentWork] восстановлено состояние: марок 1')
    expect(again.scan(shoeMark('S1', 'none')).kind).toBe('duplicate-mark')
  })

  it('without drafts nothing is written and leaving is marked as unsaved', async () => {
    kit.work.saveDraft = false
    const s = await opened()
    s.scan(mug.barcode)
    expect(readDraft(DOC_ID)).toBeUndefined()
    expect(s.state.unsaved).toBe(true)
  })

  it('leaving empties the positions outside demo mode and keeps them in demo mode', async () => {
    const s = await opened()
    s.close()
    expect(kit.documents.currentDocument?.products).toEqual([])
    const demo = kit.reopen({ demo: () => true })
    await demo.open(record())
    demo.close()
    expect(kit.documents.currentDocument?.products).toHaveLength(3)
  })
})

describe('a product on two lines of one document', () => {
  // The mug on line 1 (1 item) and again on line 3 (3 items), the cable between them.
  const line = (id: string, name: string, barcode: string, quantity: number) => ({ id, name, barcodes: [barcode], quantity })
  beforeEach(() => {
    kit.script('subscribeDocument', [
      () => ({
        documentId: DOC_ID,
        items: [line(mug.id, mug.name, mug.barcode, 1), line(cable.id, cable.name, cable.barcode, 1), line(mug.id, mug.name, mug.barcode, 3)],
        total: 3,
        final: true,
      }),
    ])
  })
  const counts = (s = kit.session) => s.products.value.map((p) => p.checked)

  it('fills the first line, then the next that needs items, then counts excess on the first; the counted line is shown', async () => {
    const s = await opened()
    expect(s.scan(mug.barcode)).toMatchObject({ kind: 'done', message: '✅ Кружка (1/1)' })
    expect(s.state.focusedId).toBe(mug.id)
    expect(s.scrollRequest.value?.id).toBe(mug.id)
    expect(s.scan(mug.barcode)).toMatchObject({ kind: 'progress', message: '✅ Кружка (1/3)' })
    expect(s.state.focusedId).toBe(`${mug.id}#2`)
    expect(s.scrollRequest.value?.id).toBe(`${mug.id}#2`)
    s.scan(mug.barcode)
    expect(s.scan(mug.barcode)).toMatchObject({ kind: 'done', message: '✅ Кружка (3/3)' })
    expect(counts()).toEqual([1, 0, 3])
    s.scan(cable.barcode)
    expect(s.canFinish.value).toBe(true)
    expect(kit.documents.currentDocument?.checkedPositions).toBe(3)
    expect(s.scan(mug.barcode)).toMatchObject({ kind: 'excess', checked: 2 })
    expect(counts()).toEqual([2, 1, 3])
    // Undo takes from the last line that holds a count.
    s.toggleUndo()
    expect(s.scan(mug.barcode)).toMatchObject({ kind: 'undone', checked: 2 })
    expect(counts()).toEqual([2, 1, 2])
  })

  it('the draft keeps each line; opening again without a scan shows exactly what was counted', async () => {
    const s = await opened()
    s.scan(mug.barcode)
    s.scan(mug.barcode)
    expect(readDraft(DOC_ID)?.checked).toEqual({ [mug.id]: 1, [`${mug.id}#2`]: 1 })
    s.close()
    const again = kit.reopen()
    await again.open(record())
    expect(counts(again)).toEqual([1, 0, 1])
    expect(kit.documents.currentDocument?.checkedPositions).toBe(1)
  })

  it('a draft written per product before lines were kept apart fills the lines in order', async () => {
    kit.storage.setItem(`zv_scan_state:${DOC_ID}`, JSON.stringify({ checked: { [mug.id]: 3 }, marks: {}, updatedAt: Date.now() }))
    const s = await opened()
    expect(counts(s)).toEqual([1, 0, 2])
    expect(s.scan(mug.barcode)).toMatchObject({ kind: 'done', message: '✅ Кружка (3/3)' })
  })

  it('the edit of one line leaves the other alone; deleting a line moves the next one up with its count', async () => {
    const s = await opened()
    s.scan(mug.barcode)
    s.scan(mug.barcode)
    expect(await s.deletePosition(mug.id)).toEqual({ ok: true })
    expect(s.products.value.map((p) => [p.assortmentId, p.required, p.checked])).toEqual([
      [cable.id, 1, 0],
      [mug.id, 3, 1],
    ])
    expect(s.keyOf(s.products.value[1]!)).toBe(mug.id)
    expect(readDraft(DOC_ID)?.checked).toEqual({ [mug.id]: 1 })
  })
})

describe('scanning', () => {
  it('a marking code with a leading GS (FNC1) is matched as the code without it', async () => {
    const s = await opened()
    const m = shoeMark('S1')
    expect(s.scan(`\x1d${m}`)).toMatchObject({ kind: 'progress', addMark: m })
    expect(s.marks[shoes.id]).toEqual([m])
  })

  it('counts the 6th of 5 as excess with the tooMuch sound and shows 6/5', async () => {
    const s = await opened()
    for (let i = 0; i < 5; i++) s.scan(shoes.barcode)
    expect(kit.documents.currentDocument?.checkedPositions).toBe(1)
    kit.played.length = 0
    expect(s.scan(shoes.barcode)).toMatchObject({ kind: 'excess', message: '⚠️ Лишнее: Кроссовки', checked: 6 })
    expect(kit.played).toEqual(['notifyWarning', 'playTooMuch'])
    expect(position(shoes.id)).toMatchObject({ checked: 6, required: 5, status: 'excess' })
    expect(s.timeline.scans).toBe(6)
  })

  it('counts a mark once: the same item again is refused, a plain barcode then asks for the mark', async () => {
    const s = await opened()
    const m = shoeMark('S1')
    expect(s.scan(m)).toMatchObject({ kind: 'progress', addMark: m })
    expect(s.scan(shoeMark('S1', 'no-gs'))).toMatchObject({ kind: 'duplicate-mark', message: 'Этот код уже сканировали: Кроссовки' })
    expect(s.scan(shoes.barcode)).toMatchObject({ kind: 'mark-required', message: 'Отсканируйте марку: Кроссовки' })
    expect(position(shoes.id).checked).toBe(1)
    expect(s.marks[shoes.id]).toEqual([m])
  })

  it('a mark without the crypto tail warns once per 30 s; one without separators is only logged', async () => {
    vi.useFakeTimers({ toFake: ['Date'] })
    const s = await opened()
    s.scan(shoeMark('S1', 'none'))
    expect(s.state.markNote).toMatch(/^Сканер передал код без криптохвоста/)
    s.scan(shoeMark('S2', 'none'))
    expect(s.state.markNote).toBe('')
    vi.setSystemTime(Date.now() + 30_000)
    s.scan(shoeMark('S3', 'none'))
    expect(s.state.markNote).toMatch(/^Сканер передал код без криптохвоста/)
    s.scan(shoeMark('S4', 'no-gs'))
    expect(s.state.markNote).toBe('')
    expect(kit.logs.some((l) => l.startsWith('[scan] марка без разделителей GS'))).toBe(true)
  })

  it('corrects a code typed on the Russian layout and logs it', async () => {
    const s = await opened()
    const bare = cable.barcode.replace(/^0+/, '')
    // The product code "P-CABLE" typed with the Russian layout on.
    expect(s.scan('З-СФИДУ')).toMatchObject({ kind: 'done' })
    expect(kit.logs).toContain('[scan] раскладка исправлена: З-СФИДУ → P-CABLE')
    expect(s.scan(bare).kind).toBe('excess')
  })

  it('undo mode takes one item off, a counted mark by its code, and neither counts as a scan', async () => {
    const s = await opened()
    s.scan(mug.barcode)
    s.scan(mug.barcode)
    s.scan(shoeMark('S1'))
    s.toggleUndo()
    expect(s.scan(mug.barcode)).toMatchObject({ kind: 'undone', message: '➖ Убрано: Кружка', checked: 1 })
    expect(s.scan(shoes.barcode)).toMatchObject({ kind: 'mark-required', message: 'Отсканируйте марку, которую нужно убрать: Кроссовки' })
    expect(s.scan(shoeMark('S9'))).toMatchObject({ kind: 'unknown-mark' })
    expect(s.scan(shoeMark('S1', 'none'))).toMatchObject({ kind: 'undone' })
    expect(s.marks[shoes.id]).toBeUndefined()
    expect(s.isMarkCounted(shoeMark('S1'))).toBe(false)
    expect(s.scan(cable.barcode)).toMatchObject({ kind: 'nothing-to-undo', message: 'Нечего убирать: Кабель' })
    expect(s.timeline.scans).toBe(3)
    expect(readDraft(DOC_ID)?.checked).toEqual({ [mug.id]: 1 })
  })

  it('with afterScan "list" the scan tab turns to the list 1.5 s after a scan, at the scanned position', async () => {
    vi.useFakeTimers()
    kit.work.afterScan = 'list'
    kit.work.defaultTab = 'scan'
    const s = kit.session
    const loading = s.open(record())
    await vi.advanceTimersByTimeAsync(10)
    await loading
    expect(s.state.tab).toBe('scan')
    s.scan(mug.barcode)
    expect(s.focused.value?.assortmentId).toBe(mug.id)
    await vi.advanceTimersByTimeAsync(1_000)
    s.scan(cable.barcode)
    await vi.advanceTimersByTimeAsync(1_000)
    expect(s.state.tab).toBe('scan')
    await vi.advanceTimersByTimeAsync(500)
    expect(s.state.tab).toBe('list')
    expect(s.scrollRequest.value?.id).toBe(cable.id)
    // A refused scan cancels it too.
    s.setTab('scan')
    s.scan(mug.barcode)
    s.scan('0000000')
    await vi.advanceTimersByTimeAsync(2_000)
    expect(s.state.tab).toBe('scan')
  })
})

describe('manual counting and auto-completion', () => {
  it('"+" is refused on a position counted by marks; "−" takes the last mark off; sounds follow the status', async () => {
    const s = await opened()
    s.scan(shoeMark('S1'))
    s.scan(shoeMark('S2'))
    kit.played.length = 0
    expect(s.increment(shoes.id)).toBe(false)
    expect(flash()).toBe('Отсканируйте марку — количество считается по маркам')
    expect(s.decrement(shoes.id)).toBe(true)
    expect(s.marks[shoes.id]).toEqual([shoeMark('S1')])
    expect(position(shoes.id).checked).toBe(1)
    kit.played.length = 0
    s.increment(mug.id)
    s.increment(mug.id)
    s.increment(mug.id)
    expect(kit.played).toEqual(['impactMedium', 'playChecked', 'impactMedium', 'playSuccess', 'notifyWarning', 'playTooMuch'])
    for (let i = 0; i < 4; i++) s.decrement(mug.id)
    expect(position(mug.id).checked).toBe(0)
  })

  it('finishes by itself 400 ms after the last position is complete, when switched on', async () => {
    vi.useFakeTimers()
    kit.work.autoComplete = true
    const s = kit.session
    const loading = s.open(record())
    await vi.advanceTimersByTimeAsync(10)
    await loading
    for (let i = 0; i < 5; i++) s.scan(shoes.barcode)
    s.scan(mug.barcode)
    s.increment(mug.id)
    expect(s.canFinish.value).toBe(false)
    s.scan(cable.barcode)
    expect(s.canFinish.value).toBe(true)
    await vi.advanceTimersByTimeAsync(399)
    expect(kit.finished).toEqual([])
    await vi.advanceTimersByTimeAsync(1)
    expect(kit.finished).toEqual([{ auto: true }])
    kit.work.autoComplete = false
    s.finish()
    expect(kit.finished).toEqual([{ auto: true }, { auto: false }])
  })
})

describe('editing positions', () => {
  it('a quantity of 2 for a position with 4 marks drops the last two marks with the note', async () => {
    const s = await opened()
    for (const serial of ['S1', 'S2', 'S3', 'S4']) s.scan(shoeMark(serial))
    expect(await s.changeQuantity(shoes.id, 2)).toEqual({ ok: true })
    expect(s.state.editNote).toBe('Отсканированное по «Кроссовки» уменьшено до 2')
    expect(s.marks[shoes.id]).toEqual([shoeMark('S1'), shoeMark('S2')])
    expect(position(shoes.id)).toMatchObject({ required: 2, checked: 2, status: 'done' })
    expect(s.isMarkCounted(shoeMark('S3'))).toBe(false)
    expect(readDraft(DOC_ID)?.marks[shoes.id]).toHaveLength(2)
    const onServer = accountDocuments(kit.backend, DEMO_ACCOUNT_ID)!.byId.get(DOC_ID)!.positions.find((p) => p.productId === shoes.id)
    expect(onServer?.quantity).toBe(2)
  })

  it('a quantity above the order asks first and is sent again with confirmOver', async () => {
    const s = await opened()
    expect(await s.changeQuantity(mug.id, 3, ' не хватило ')).toEqual({ ok: false, confirm: 'Заказано 2, поставить 3?' })
    expect(await s.changeQuantity(mug.id, 3, ' не хватило ', true)).toEqual({ ok: true })
    expect(kit.sentOf('documentPositionQuantity')).toEqual([
      { documentId: DOC_ID, type: 'shipment', positionId: mug.id, quantity: 3, reason: 'не хватило' },
      { documentId: DOC_ID, type: 'shipment', positionId: mug.id, quantity: 3, reason: 'не хватило', confirmOver: true },
    ])
    expect(s.state.editNote).toBe('Количество по «Кружка» изменено')
    expect(position(mug.id).required).toBe(3)
  })

  it('deleting a position takes it, its marks and its card away; refusals come back as text', async () => {
    const s = await opened()
    s.scan(mug.barcode)
    expect(await s.deletePosition(mug.id)).toEqual({ ok: true })
    expect(s.state.editNote).toBe('Позиция «Кружка» удалена')
    expect(s.state.focusedId).toBeNull()
    expect(s.products.value.map((p) => p.assortmentId)).toEqual([shoes.id, cable.id])
    expect(kit.documents.currentDocument?.totalPositions).toBe(2)
    expect(s.scan(mug.barcode).kind).toBe('not-found')
    expect(await s.deletePosition(mug.id)).toEqual({ ok: false, error: 'Такой позиции в документе уже нет. Обновите документ.' })
    kit.script('documentPositionQuantity', [() => ({ error: 'forbidden', errorCode: 'forbidden' })])
    expect(await s.changeQuantity(cable.id, 2)).toEqual({ ok: false, error: 'Вашей роли нельзя править состав документа. Обратитесь к администратору.' })
  })
})

describe('the marking check on scan', () => {
  beforeEach(() => vi.useFakeTimers())

  async function openedWithFakeTimers() {
    const loading = kit.session.open(record())
    await vi.advanceTimersByTimeAsync(10)
    await loading
    return kit.session
  }

  it('sends new marks in one batch after 500 ms and shows a refused one as a warning', async () => {
    const s = await openedWithFakeTimers()
    s.scan(shoeMark('G1'))
    s.scan(shoeMark('R2'))
    await vi.advanceTimersByTimeAsync(499)
    expect(kit.sentOf('checkMarks')).toEqual([])
    kit.played.length = 0
    await vi.advanceTimersByTimeAsync(10)
    expect(kit.sentOf('checkMarks')).toEqual([{ codes: [shoeMark('G1'), shoeMark('R2')] }])
    expect(flash()).toBe('⚠️ Код списан')
    expect(kit.played).toEqual(['notifyWarning', 'playTooMuch'])
    expect(s.snapshot().refusedMarks).toEqual({ [shoeMark('R2')]: 'Код списан' })
  })

  it('a mark in circulation gives a note; a code without an answer is "not checked" after 15 s', async () => {
    const s = await openedWithFakeTimers()
    s.scan(shoeMark('G1'))
    await vi.advanceTimersByTimeAsync(510)
    expect(s.state.markNote).toBe('Честный Знак: марка в обороте, на вашем балансе')
    s.scan(shoeMark('N2'))
    await vi.advanceTimersByTimeAsync(510)
    expect(s.verdictOf(shoeMark('N2'))).toBeUndefined()
    await vi.advanceTimersByTimeAsync(15_000)
    expect(s.verdictOf(shoeMark('N2'))).toMatchObject({ status: 'NOT_CHECKED', passes: true })
    expect(s.state.markNote).toBe('Честный Знак: Код не проверен')
  })

  it('asks nothing without the capability', async () => {
    kit.caps.checkMarksOnScan = false
    const s = await openedWithFakeTimers()
    s.scan(shoeMark('G1'))
    await vi.advanceTimersByTimeAsync(1_000)
    expect(kit.sentOf('checkMarks')).toEqual([])
  })
})

describe('unknown codes', () => {
  it('asks the reference once per code and shows what it knows', async () => {
    const s = await opened()
    expect(s.scan(ELSEWHERE.barcode).message).toBe(`Нет в документе: ${ELSEWHERE.barcode}`)
    await settle()
    expect(flash()).toBe(`Нет в документе, но в номенклатуре есть: ${ELSEWHERE.name} (${ELSEWHERE.article})`)
    s.scan('1234567890123')
    await settle()
    expect(flash()).toBe('В номенклатуре код не найден. Попробуйте найти на товаре другой код')
    s.scan(ELSEWHERE.barcode)
    s.scan(mark('QQQ1111', 'gs', '04699999999999'))
    await settle()
    expect(kit.sentOf('barcodeCheck')).toEqual([{ barcode: ELSEWHERE.barcode }, { barcode: '1234567890123' }, { barcode: '04699999999999' }])
  })

  it('the device\'s reference copy answers first, without asking the server', async () => {
    kit.session.close()
    kit.end()
    const index = new LookupIndex()
    index.put([{ assortmentId: ELSEWHERE.id, name: ELSEWHERE.name, code: 'LAMP', article: ELSEWHERE.article, barcodes: [`0${ELSEWHERE.barcode}`], markable: false, updatedAt: '', syncedAt: 1 }])
    kit = pickingKit({ reference: { lookup: async (code) => index.find(code) } })
    const s = await opened()
    s.scan(ELSEWHERE.barcode)
    await settle()
    expect(flash()).toBe(`Нет в документе, но в номенклатуре есть: ${ELSEWHERE.name} (${ELSEWHERE.article})`)
    expect(kit.sentOf('barcodeCheck')).toEqual([])
  })
})
