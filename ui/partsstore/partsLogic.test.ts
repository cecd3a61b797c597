import { describe, expect, it, vi } from 'vitest'
import { RefusalError } from '../core/requests'
import { candidateCodes, classifyCode, lookUpFirst } from './codes'
import { filterTree, searchCells } from './cellSearch'
import { createPartsCommands } from './commands'
import { failureText } from './failures'
import { applyUndo, entryText, filterHistory, undoInList } from './history'
import { clampCopies, createLabelQueue, labelResultText, labelSize, selectionProblem, type LabelRequest, type LabelShare } from './labelQueue'
import { flattenZones, type HistoryEntry, type LabelPrintReply, type Zone } from './records'

describe('code classification', () => {
  it.each<[string, string, string | null]>([
    ['ABC123', 'barcode', 'ABC123'],
    ['  abc-123  ', 'barcode', 'abc-123'],
    ['ФИС123', 'barcode-russian-layout', 'ABC123'],
    ['фис123', 'barcode-russian-layout', 'abc123'],
    ['ФИС 123', 'name', null],
    ['A1234', 'name', null], // 5 characters
    ['A'.repeat(32), 'barcode', 'A'.repeat(32)],
    ['A'.repeat(33), 'name', null],
    ['Ф'.repeat(33), 'name', null],
    ['Полка 3', 'name', null],
    ['болт М6', 'name', null],
  ])('%s → %s', (text, kind, barcode) => {
    expect(classifyCode(text)).toMatchObject({ kind, barcode })
  })

  it('lookups try the text, then its Latin-layout form', async () => {
    expect(candidateCodes(' ФИС123 ')).toEqual(['ФИС123', 'ABC123'])
    expect(candidateCodes('ABC123')).toEqual(['ABC123'])
    const tried: string[] = []
    const found = await lookUpFirst('ФИС123', async (c) => {
      tried.push(c)
      return c === 'ABC123' ? { id: 7 } : null
    })
    expect(found).toEqual({ id: 7 })
    expect(tried).toEqual(['ФИС123', 'ABC123'])
  })
})

const zones: Zone[] = [
  {
    id: 1,
    name: 'Зона А',
    cells: [
      { id: 10, name: 'Стеллаж 1', barcode: 'ST-000001', children: [{ id: 11, name: 'Короб 7', barcode: 'BOX-777', children: [] }] },
      { id: 12, name: 'Полка BOX-777 старая', barcode: null, children: [] },
    ],
  },
  { id: 2, name: 'Зона Б', cells: [{ id: 20, name: 'Короб с болтами', barcode: 'XX-BOX777', children: [] }] },
]

describe('cell search', () => {
  const rows = flattenZones(zones)

  it('flattens depth first with paths', () => {
    expect(rows.map((r) => [r.id, r.depth, r.parentId, r.path.join('/')])).toEqual([
      [10, 0, null, 'Стеллаж 1'],
      [11, 1, 10, 'Стеллаж 1/Короб 7'],
      [12, 0, null, 'Полка BOX-777 старая'],
      [20, 0, null, 'Короб с болтами'],
    ])
  })

  it.each<[string, number[]]>([
    ['BOX-777', [11, 12]], // the barcode match first, then the name that contains it
    ['box-777', [11, 12]],
    ['короб', [11, 20]],
    ['KOPOБ', [11, 20]], // Latin look-alikes fold to the same text
    ['777', [12, 11, 20]], // the name that holds it, then barcodes by suffix
    ['7', [11, 12]], // names only: one character never matches a barcode by suffix
    ['', []],
  ])('%s → %j', (q, ids) => {
    expect(searchCells(rows, q).map((r) => r.id)).toEqual(ids)
  })

  it('returns at most 20 rows', () => {
    const many: Zone[] = [{ id: 1, name: 'З', cells: Array.from({ length: 30 }, (_, i) => ({ id: i + 1, name: `Ячейка ${i}`, barcode: null, children: [] })) }]
    expect(searchCells(flattenZones(many), 'ячейка')).toHaveLength(20)
  })

  it('keeps matching cells with their ancestors, expanded', () => {
    const t = filterTree(zones[0]!.cells, 'короб 7')
    expect(t.cells.map((c) => [c.id, c.children.map((x) => x.id)])).toEqual([[10, [11]]])
    expect([...t.expanded]).toEqual([10])
  })
})

describe('labels', () => {
  it.each<[number, number, string]>([
    [42, 24, '42x24'],
    [42.5, 23, '42x24'],
    [44, 26, '42x24'],
    [45, 24, '58x40'],
    [58, 40, '58x40'],
  ])('%s × %s mm → %s', (w, h, size) => expect(labelSize(w, h)).toBe(size))

  it.each<[unknown, number]>([[0, 1], [3.7, 3], [80, 50], ['x', 1], ['4', 4], [undefined, 1]])('copies %j → %s', (v, n) => expect(clampCopies(v)).toBe(n))

  it.each<[number, string | null]>([
    [0, 'Выберите хотя бы одну этикетку для печати'],
    [1, null],
    [50, null],
    [51, 'Выбрано 51 — это больше предела 50 за один раз'],
  ])('a selection of %s', (n, text) => expect(selectionProblem(n)).toBe(text))

  function rig(answer: (r: LabelRequest) => Promise<LabelPrintReply> = async (r) => ({ printed: true, printedCount: r.ids.length, copies: r.copies, skippedIds: [], printedOn: 'Zebra' })) {
    vi.useFakeTimers()
    const sent: LabelRequest[] = []
    const q = createLabelQueue({
      send: (r) => {
        sent.push(r)
        return answer(r)
      },
      failureText: (err) => failureText('printLabels', err),
      setTimer: (fn, ms) => setTimeout(fn, ms),
    })
    return { q, sent }
  }
  const ids = (from: number, n: number) => Array.from({ length: n }, (_, i) => from + i)

  it('120 product labels go out as 50, 50 and 20 in one group', async () => {
    const { q, sent } = rig()
    const a = q.print({ kind: 'product', ids: ids(1, 50), copies: 1, size: '58x40' })
    const b = q.print({ kind: 'product', ids: ids(51, 50), copies: 1, size: '58x40' })
    const c = q.print({ kind: 'product', ids: ids(101, 20), copies: 1, size: '58x40' })
    await vi.advanceTimersByTimeAsync(499)
    expect(sent).toHaveLength(0)
    await vi.advanceTimersByTimeAsync(1)
    const shares = await Promise.all([a, b, c])
    expect(sent.map((r) => r.ids.length)).toEqual([50, 50, 20])
    expect(shares.map((s) => s.printedCount)).toEqual([50, 50, 20])
    expect(labelResultText('product', shares[2]!)).toBe('Напечатано 20 на «Zebra».')
    vi.useRealTimers()
  })

  it('two requests with different copies within 500 ms form two groups', async () => {
    const { q, sent } = rig()
    const a = q.print({ kind: 'cell', ids: [1, 2], copies: 1, size: '42x24' })
    await vi.advanceTimersByTimeAsync(200)
    const b = q.print({ kind: 'cell', ids: [3], copies: 2, size: '42x24' })
    await vi.advanceTimersByTimeAsync(500)
    await Promise.all([a, b])
    expect(sent.map((r) => [r.ids, r.copies])).toEqual([[[1, 2], 1], [[3], 2]])
    vi.useRealTimers()
  })

  it('each caller gets its own share of the skipped ids', async () => {
    const { q } = rig(async (r) => ({ printed: true, printedCount: r.ids.length - 2, copies: 2, skippedIds: [2, 4], printedOn: 'Zebra' }))
    const a = q.print({ kind: 'cell', ids: [1, 2, 3], copies: 2, size: '42x24' })
    const b = q.print({ kind: 'cell', ids: [4], copies: 2, size: '42x24' })
    await vi.advanceTimersByTimeAsync(500)
    const [sa, sb] = await Promise.all([a, b])
    expect(sa).toMatchObject({ printedCount: 2, skippedIds: [2] })
    expect(labelResultText('cell', sa)).toBe('Напечатано 4 на «Zebra». Пропущено 1 ячейка: нет своего штрихкода или в нём кириллица — такие печатать нельзя')
    expect(labelResultText('cell', sb)).toBe('Пропущено 1 ячейка: нет своего штрихкода или в нём кириллица — такие печатать нельзя')
    vi.useRealTimers()
  })

  it('a failed later chunk leaves the printed chunks counted as printed', async () => {
    let n = 0
    const { q } = rig(async (r) => {
      if (++n === 3) throw new RefusalError('printer gone', { code: 'printer_failed', message: 'printer gone' })
      return { printed: true, printedCount: r.ids.length, copies: 1, skippedIds: [] }
    })
    const p = q.print({ kind: 'product', ids: ids(1, 120), copies: 1, size: '58x40' })
    await vi.advanceTimersByTimeAsync(500)
    const share = await p
    expect(share).toMatchObject({ printed: false, printedCount: 100, failedIds: ids(101, 20) })
    expect(labelResultText('product', share)).toBe('Напечатано 100. Не напечатано 20: printer gone')
    vi.useRealTimers()
  })

  it.each<[string, Partial<LabelShare>, string]>([
    ['nothing printed, nothing skipped', { printedCount: 0 }, 'Печать не выполнена'],
    ['products skipped', { printedCount: 3, copies: 2, skippedIds: [1, 2] }, 'Напечатано 6. Пропущено 2 товара: штрихкод не распознан'],
    ['only skipped', { printedCount: 0, skippedIds: [1, 2, 3, 4, 5] }, 'Пропущено 5 товаров: штрихкод не распознан'],
  ])('result text: %s', (_w, s, text) => {
    expect(labelResultText('product', { printed: true, printedCount: 0, copies: 1, skippedIds: [], failedIds: [], ...s })).toBe(text)
  })
})

describe('commands', () => {
  it('deleting 450 products sends 200, 200 and 50 ids and adds the replies', async () => {
    const sent: number[][] = []
    const cmds = createPartsCommands(async (_name, p) => {
      const part = (p?.ids as number[]) ?? []
      sent.push(part)
      return { deletedIds: part.slice(1), skippedIds: part.slice(0, 1) }
    })
    const r = await cmds.productDelete(Array.from({ length: 450 }, (_, i) => i + 1))
    expect(sent.map((s) => s.length)).toEqual([200, 200, 50])
    expect(r.deletedCount).toBe(447)
    expect(r.skippedIds).toEqual([1, 201, 401])
  })

  it.each<[string, string, unknown]>([
    ['radioCellSave', 'Сервер не вернул сохраненную ячейку', (c: ReturnType<typeof createPartsCommands>) => c.cellSave({ name: 'x' })],
    ['radioPlacementPut', 'Сервер не вернул новое количество', (c: ReturnType<typeof createPartsCommands>) => c.placementPut({ cellId: 1, productId: 2, quantity: 1 })],
    ['radioExport', 'Сервер не вернул файл выгрузки', (c: ReturnType<typeof createPartsCommands>) => c.exportProducts()],
    ['radioImportUploadToken', 'Сервер не вернул токен загрузки', (c: ReturnType<typeof createPartsCommands>) => c.importUploadToken()],
  ])('%s with an empty reply fails with "%s"', async (_name, text, call) => {
    const cmds = createPartsCommands(async () => ({}))
    await expect((call as (c: typeof cmds) => Promise<unknown>)(cmds)).rejects.toThrow(text)
  })

  it('payloads carry only what is set', async () => {
    const sent: Array<[string, unknown]> = []
    const cmds = createPartsCommands(async (name, p) => {
      sent.push([name, p])
      return { id: 1, quantity: 2 }
    })
    await cmds.cellSave({ name: ' Полка ', barcode: '  ', parentId: null, zoneId: 3 })
    await cmds.placementPut({ cellId: 1, productId: 2, quantity: 3, comment: '  ' })
    await cmds.historyList({ limit: 50 })
    expect(sent).toEqual([
      ['radioCellSave', { name: 'Полка', zoneId: 3 }],
      ['radioPlacementPut', { cellId: 1, productId: 2, quantity: 3 }],
      ['radioHistoryList', { limit: 50 }],
    ])
  })
})

describe('failure texts', () => {
  it.each<[Parameters<typeof failureText>[0], unknown, string]>([
    ['undo', new RefusalError('already', { code: 'already_undone' }), 'Операция уже отменена'],
    ['undo', new RefusalError('x', { code: 'not_enough', available: 3 }), 'В ячейке только 3'],
    ['undo', new Error('timeout'), 'Для отмены нужна серверная часть 1.36 или новее'],
    ['history', new Error('timeout'), 'Для истории нужна серверная часть 1.35 или новее'],
    ['placement', new Error('timeout'), 'Нет ответа от сервера'],
    ['placement', new RefusalError('x', { code: 'not_enough' }), 'В ячейке не хватает остатка'],
    ['saveCell', new RefusalError('x', { code: 'barcode_taken' }), 'Такой штрихкод уже есть у другой ячейки'],
    ['saveCell', new RefusalError('Имя занято', { code: 'other', message: 'Имя занято' }), 'Имя занято'],
    ['saveCell', new RefusalError('refused', { code: 'other' }), 'Не удалось сохранить ячейку'],
    ['search', new Error('timeout'), 'Нет ответа. Проверьте связь и повторите'],
    ['import', new Error('timeout'), 'Сервер долго отвечает (дольше 150 секунд). Попробуйте прервать импорт и повторить; если повторится, передайте в поддержку'],
    ['export', new Error('timeout'), 'Сервер не ответил. Скачивание товаров появится после обновления сервера'],
    ['split', new RefusalError('x', { code: 'not_enough', available: 2 }), 'В ячейке не хватает остатка исходного товара — есть только 2'],
  ])('%s: %s', (situation, err, text) => expect(failureText(situation, err)).toBe(text))
})

describe('history', () => {
  const entry = (e: Partial<HistoryEntry>): HistoryEntry => ({
    id: 1, at: '2026-12-10T10:00:00Z', kind: 'put', productId: 5, productName: 'Болт М6', barcode: 'P-000123', quantity: 2,
    fromCellId: null, fromCellPath: '', toCellId: 9, toCellPath: 'А → Полка 1', comment: '', undoneById: null, undoesId: null, ...e,
  })

  it.each<[Partial<HistoryEntry>, string]>([
    [{}, 'Положили 2 шт. в А → Полка 1'],
    [{ kind: 'take', fromCellId: 9, fromCellPath: 'А → Полка 1', toCellId: null, toCellPath: '', quantity: 1.5 }, 'Забрали 1,5 шт. из А → Полка 1'],
    [{ kind: 'move', fromCellId: null, fromCellPath: '', toCellPath: 'Б' }, 'Перенесли 2 шт.: ячейка удалена → Б'],
    [{ undoesId: 3, kind: 'take', fromCellId: 9, fromCellPath: 'А' }, 'Отмена: Забрали 2 шт. из А'],
  ])('entry text %#', (e, text) => expect(entryText(entry(e))).toBe(text))

  it('filters by name, path or barcode suffix', () => {
    const list = [entry({ id: 1 }), entry({ id: 2, productName: 'Гайка', barcode: 'P-000999', toCellPath: 'Б' })]
    expect(filterHistory(list, 'болт').map((e) => e.id)).toEqual([1])
    expect(filterHistory(list, '999').map((e) => e.id)).toEqual([2])
    expect(filterHistory(list, 'полка').map((e) => e.id)).toEqual([1])
  })

  it('an undo puts the new entry first and marks the undone one', () => {
    const list = [entry({ id: 2 }), entry({ id: 1 })]
    const after = applyUndo(list, { item: entry({ id: 3, kind: 'take', undoesId: 1 }), undoneId: 1 })
    expect(after.map((e) => [e.id, e.undoneById])).toEqual([[3, null], [2, null], [1, 3]])
  })

  it('undo of an entry already undone shows its text and changes nothing', async () => {
    const list = [entry({ id: 2, undoneById: null })]
    const r = await undoInList(list, 2, async () => { throw new RefusalError('already', { code: 'already_undone' }) }, (e) => failureText('undo', e))
    expect(r.error).toBe('Операция уже отменена')
    expect(r.entries).toBe(list)
    expect(r.entries[0]).toEqual(entry({ id: 2 }))
  })
})
