import { describe, expect, it } from 'vitest'
import { connectionCheckText, labelErrorText, matchNote, staleText } from './ozonLogic'

const posting = (n: number, status = 'awaiting_packaging') => ({ postingNumber: `1234567${n}-0001-1`, status })

describe('Ozon texts', () => {
  it.each([
    [0, 0, 'Заказов Ozon, ожидающих сборку, не нашлось'],
    [3, 0, 'Ozon отдал 3 заказа, но ни один не совпал с отгрузками в списке — проверьте склад и дату'],
    [1, 1, 'Найдено 1 заказ Ozon, этикетки запрашиваются при сборке'],
    [7, 5, 'Найдено 5 заказов Ozon, этикетки запрашиваются при сборке, 2 без отгрузки в МоемСкладе'],
  ])('matching %i postings to %i documents', (postings, matched, text) => {
    expect(matchNote(postings, matched)).toBe(text)
  })

  it.each([
    [30_000, 'обновлено меньше минуты назад'],
    [60_000, 'обновлено 1 минуту назад'],
    [3 * 60_000, 'обновлено 3 минуты назад'],
    [11 * 60_000, 'обновлено 11 минут назад'],
  ])('a stale list loaded %i ms ago', (ago, tail) => {
    expect(staleText(0, ago)).toBe(`Ozon временно ограничил запросы, список прежний: ${tail}`)
  })

  it.each([
    [{ errorCode: 'ozon-error', error: 'timeout of shop' }, 'Ozon не отдал этикетку: timeout of shop'],
    [{ errorCode: 'ozon-error' }, 'Ozon ответил ошибкой. Попробуйте через минуту'],
    [{ errorCode: 'pending-timeout' }, 'Ozon не приготовил этикетку за минуту. Попробуйте еще раз'],
    [{ errorCode: 'weird-code' }, 'Этикетку напечатать не удалось. Сервер ответил «weird-code» — этого ответа приложение пока не знает, покажите код поддержке'],
    [{ errorCode: 'нет связи' }, 'нет связи'],
  ])('label refusal %j', (answer, text) => {
    expect(labelErrorText(answer)).toBe(text)
  })

  it.each([
    [{ error: 'boom' }, 'Ozon не ответил: boom'],
    [{ error: 'Too Many Requests', retryAfter: 12 }, 'Ozon временно ограничил запросы этого магазина. Подождите 12 с и нажмите «Обновить»'],
    [{ configured: false }, 'Магазин Ozon не подключен — ключи вводятся в личном кабинете, в настройках аккаунта'],
    [{ postings: [] }, 'Связь есть, заказов в ожидании сборки сейчас нет'],
    [{ postings: [1, 2, 3, 4, 5, 6].map((n) => posting(n)), incomplete: true },
      'Связь есть: в ожидании сборки — 6 заказов, показаны не все — Ozon отдал первую страницу: 12345671-0001-1 (ожидает сборки), 12345672-0001-1 (ожидает сборки), 12345673-0001-1 (ожидает сборки), 12345674-0001-1 (ожидает сборки), 12345675-0001-1 (ожидает сборки) и еще 1'],
  ])('the connection check answered %j', (answer, text) => {
    expect(connectionCheckText(answer)).toBe(text)
  })
})
