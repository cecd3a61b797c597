import { describe, expect, it } from 'vitest'
import { clearQueueText, contentsText, entryErrorText, queueTimeText } from './sendQueueText'

describe('queue screen texts', () => {
  it('writes the queue time as dd.mm, hh:mm', () => {
    expect(queueTimeText(new Date(2026, 0, 5, 7, 3).getTime())).toBe('05.01, 07:03')
  })

  it.each([
    [{ items: [{}, {}], markIdentities: [] }, 'Позиций: 2'],
    [{ items: [{ marks: ['a', 'b'] }, { marks: ['c'] }], markIdentities: [] }, 'Позиций: 2, марок: 3'],
    [{ items: [{}], markIdentities: ['g:1'] }, 'Позиций: 1, марок: 1'],
  ])('%j', (entry, text) => {
    expect(contentsText(entry)).toBe(text)
  })

  it.each([
    [{ refused: true, attempts: 0, lastError: 'Документ уже собирает Иван.' }, 'Сервер не принял: Документ уже собирает Иван. Удалите документ из очереди.'],
    [{ attempts: 3, lastError: 'timeout' }, 'Попыток: 3 · timeout'],
    [{ attempts: 0 }, ''],
  ])('%j', (entry, text) => {
    expect(entryErrorText(entry)).toBe(text)
  })
})

describe('clearing the queue', () => {
  it.each([
    [1, '1 документ не попадет на сервер. Это нельзя отменить.'],
    [3, '3 документа не попадут на сервер. Это нельзя отменить.'],
    [11, '11 документов не попадут на сервер. Это нельзя отменить.'],
    [21, '21 документ не попадет на сервер. Это нельзя отменить.'],
  ])('%i', (n, text) => {
    expect(clearQueueText(n)).toBe(text)
  })
})
