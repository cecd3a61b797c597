import { describe, expect, it } from 'vitest'
import { matchesFboSearch, orderRows, readPage, readRows } from './fboRecords'
import {
  blockersPanel, cargoEditable, cargoText, contentCounts, contentShownText, detailRows, rowActions, rowNumber, shortDate, stageBar, supplyLabelErrorText,
} from './fboTexts'

describe('FBO rows', () => {
  it('reads rows defensively: ids as text, rows without a supply id dropped, counts 0 when absent', () => {
    expect(readRows([{ supplyId: 5, orderId: 50, cargoCount: '2' }, { orderId: 1 }, 'x', { supplyId: ' 6 ', cargoCount: -1 }])).toEqual([
      { supplyId: '5', orderId: '50', orderNumber: '', bundleId: '', state: '', stateText: '', warehouse: '', createdAt: '', cargoCount: 2, storeTitle: '', clientId: '' },
      { supplyId: '6', orderId: '', orderNumber: '', bundleId: '', state: '', stateText: '', warehouse: '', createdAt: '', cargoCount: 0, storeTitle: '', clientId: '' },
    ])
  })

  it('orders newest first, unreadable dates last, stable', () => {
    const rows = [
      { id: 'a', createdAt: '2026-12-01T10:00:00Z' },
      { id: 'b', createdAt: 'вчера' },
      { id: 'c', createdAt: '2026-12-09T10:00:00Z' },
      { id: 'd', createdAt: '' },
      { id: 'e', createdAt: '2026-12-01T10:00:00Z' },
    ]
    expect(orderRows(rows).map((r) => r.id)).toEqual(['c', 'a', 'e', 'b', 'd'])
  })

  it.each([[0, 'грузомест пока нет'], [1, '1 грузоместо'], [3, '3 грузоместа'], [11, '11 грузомест'], [21, '21 грузоместо'], [25, '25 грузомест']])(
    'cargo text of %i', (n, expected) => expect(cargoText(n)).toBe(expected),
  )

  it('number, date, buttons and search', () => {
    const [row] = readRows([{ supplyId: '9', orderNumber: '2000-0117', createdAt: '2026-12-10T09:15:00', bundleId: 'b-1', state: 'assembly' }])
    expect(rowNumber(row!)).toBe('№ 2000-0117')
    expect(rowNumber({ orderNumber: '', supplyId: '9' })).toBe('№ Поставка 9')
    expect(shortDate(row!.createdAt)).toBe('10.12.26')
    expect(rowActions(row!)).toEqual({ assemble: true, content: true, productLabels: true, cargoLabels: false })
    expect(rowActions({ ...row!, state: 'ready', bundleId: '', cargoCount: 2 })).toEqual({ assemble: false, content: false, productLabels: false, cargoLabels: true })
    expect(matchesFboSearch(row!, ' 20000117 ')).toBe(true)
    expect(matchesFboSearch(row!, '0118')).toBe(false)
  })
})

describe('the content dialog', () => {
  it('counts and the shown note', () => {
    expect(contentCounts({ itemsCount: 3, itemsTotal: 25 })).toBe('3 товара · 25 шт.')
    expect(contentShownText({ itemsCount: 600, itemsShown: 500 })).toBe('Показаны первые 500 из 600 строк')
    expect(contentShownText({ itemsCount: 3, itemsShown: 3 })).toBe('')
  })
})

describe('supply label refusals', () => {
  it.each<[Record<string, unknown>, string]>([
    [{ errorCode: 'ozon-rate-limited', retryAfter: 12 }, 'Ozon временно ограничил запросы магазина, этикетка не напечатана. Повторите через 12 с'],
    [{ errorCode: 'label-not-ready', retryAfterSec: 9 }, 'Ozon еще готовит этикетки — нажмите печать через 9 с'],
    [{ errorCode: 'label-not-ready' }, 'Ozon еще готовит этикетки — нажмите печать через минуту'],
    [{ errorCode: 'no-cargoes', message: 'Грузомест нет: сначала разложите товар' }, 'Грузомест нет: сначала разложите товар'],
    [{ errorCode: 'no-cargoes' }, 'В поставке нет грузомест — печатать нечего'],
    [{ errorCode: 'no-items' }, 'В поставке нет товаров — печатать нечего'],
    [{ errorCode: 'label-error' }, 'Ozon не подготовил этикетки поставки. Попробуйте еще раз'],
    [{ errorCode: 'ozon-error' }, 'Ozon ответил ошибкой. Попробуйте через минуту'],
    [{ errorCode: 'no-integration' }, 'Магазин Ozon не подключен — подключите его в настройках'],
    [{ errorCode: 'settings-error' }, 'Магазин Ozon подключен с ошибкой — проверьте ключи в настройках'],
    [{ errorCode: 'bad-request' }, 'Сервер не принял запрос этикеток. Попробуйте еще раз'],
    [{ error: 'Склад не принимает поставку' }, 'Склад не принимает поставку'],
  ])('%j', (answer, expected) => expect(supplyLabelErrorText(answer)).toBe(expected))
})

describe('the supply page', () => {
  const page = (fields: Record<string, unknown>) => readPage({ supplyId: '1', ...fields })!
  const titles = (p: ReturnType<typeof page>) => stageBar(p).steps.map((s) => `${s.title}:${s.state}`)

  it.each<[Record<string, unknown>, string[], string]>([
    [{ stage: 'transit' }, ['Сборка:done', 'Готова:done', 'Отгружена:done', 'В пути:current', 'Приемка:todo', 'Завершена:todo'], ''],
    [{ stage: 'somewhere' }, ['Сборка:current', 'Готова:todo', 'Отгружена:todo', 'В пути:todo', 'Приемка:todo', 'Завершена:todo'], ''],
    [{ stage: 'cancelled', state: 'REJECTED_AT_SUPPLY_WAREHOUSE' }, ['Сборка:todo', 'Готова:todo', 'Отгружена:todo', 'В пути:todo', 'Приемка:todo', 'Завершена:todo'], 'Отказано в приемке'],
    [{ stage: 'cancelled', state: 'CANCELLED' }, ['Сборка:todo', 'Готова:todo', 'Отгружена:todo', 'В пути:todo', 'Приемка:todo', 'Завершена:todo'], 'Поставка отменена'],
    [{ stage: 'ready', stages: [{ title: 'Черновик', done: true }, { title: 'Слот', current: true }, 'Отгрузка'] }, ['Черновик:done', 'Слот:current', 'Отгрузка:todo'], ''],
  ])('stage bar of %j', (fields, steps, cancelled) => {
    const p = page(fields)
    expect(titles(p)).toEqual(steps)
    expect(stageBar(p).cancelled).toBe(cancelled)
  })

  it('details, blockers and whether cargo places may change', () => {
    const p = page({ stage: 'assembly', storeTitle: 'Лесная', warehouse: 'Хоругвино', createdAt: '2026-12-10T09:15:00', markingPossible: true, blockers: ['Укажите грузоместа'] })
    expect(detailRows(p)).toEqual([
      { label: 'Магазин', value: 'Лесная' },
      { label: 'Склад', value: 'Хоругвино' },
      { label: 'Создана', value: '10 декабря 2026, 09:15' },
      { label: 'Маркировка', value: 'Возможна' },
    ])
    expect(blockersPanel(p)).toEqual({ heading: 'Что осталось сделать', items: ['Укажите грузоместа'] })
    expect(blockersPanel({ ...p, blockers: [] })).toEqual({ heading: 'Поставка готова к отгрузке', items: [] })
    expect(blockersPanel(page({ stage: 'done' }))).toBeNull()
    expect(cargoEditable(p)).toBe(true)
    expect(cargoEditable(page({ stage: 'ready', rules: { editDeadline: { satisfied: false } } }))).toBe(false)
    expect(cargoEditable(page({ stage: 'shipped' }))).toBe(false)
  })

  it('reads existing cargo places with their content, or only their number', () => {
    expect(page({ cargoes: { boxes: [{ key: 'box-1', items: [{ barcode: '46', offerId: 'A', quantity: '3' }] }], pallets: 0 } }).cargoes).toEqual({
      count: 1, boxes: 1, pallets: 0, places: [{ key: 'box-1', type: 'BOX', items: [{ barcode: '46', offerId: 'A', quantity: 3 }] }],
    })
    expect(page({ cargoCount: 2, cargoes: { count: 2, boxes: 2 } }).cargoes).toEqual({ count: 2, boxes: 2, pallets: 0, places: [] })
  })
})
