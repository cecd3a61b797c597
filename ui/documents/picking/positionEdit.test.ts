import { describe, expect, it } from 'vitest'
import { RefusalError } from '../../core/requests'
import { buildBarcodeIndex } from './barcodeIndex'
import { applyNewQuantity, confirmOverText, editErrorText, lineKeyMoves, validateQuantity } from './positionEdit'
import { refusalText } from './refusalText'

describe('the quantity field', () => {
  it.each<[string, string, number | string]>([
    ['empty', '  ', 'Введите количество'],
    ['letters', 'пять', 'Количество — число, например 5 или 2,5'],
    ['two commas', '2,5,1', 'Количество — число, например 5 или 2,5'],
    ['an exponent', '1e3', 'Количество — число, например 5 или 2,5'],
    ['zero', '0', 'Количество должно быть больше нуля. Чтобы убрать товар, удалите позицию'],
    ['below zero', '-3', 'Количество должно быть больше нуля. Чтобы убрать товар, удалите позицию'],
    ['four decimals', '1,2345', 'Не больше 3 знаков после запятой'],
    ['above a million', '1000000,5', 'Слишком большое количество'],
    ['a whole number with blanks', ' 1 200 ', 1200],
    ['a decimal comma', '2,5', 2.5],
    ['three decimals', '0,125', 0.125],
    ['trailing zeros do not count as decimals', '2,5000', 2.5],
    ['exactly a million', '1000000', 1_000_000],
  ])('%s', (_what, input, expected) => {
    const r = validateQuantity(input)
    expect(r).toEqual(typeof expected === 'number' ? { ok: true, value: expected } : { ok: false, error: expected })
  })
})

describe('a new quantity for a position', () => {
  it('4 counted marks, quantity 2: the last two marks go and the note says the scanned count was reduced', () => {
    const change = applyNewQuantity({ name: 'Кроссовки', checked: 4 }, ['m1', 'm2', 'm3', 'm4'], 2)
    expect(change).toEqual({
      required: 2,
      checked: 2,
      marks: ['m1', 'm2'],
      removedMarks: ['m3', 'm4'],
      note: 'Отсканированное по «Кроссовки» уменьшено до 2',
    })
  })

  it('a count within the new quantity stays; the ordered quantity follows when it was set', () => {
    expect(applyNewQuantity({ name: 'Кружка', checked: 1, orderedQuantity: 5 }, [], 3)).toEqual({
      required: 3,
      checked: 1,
      marks: [],
      removedMarks: [],
      orderedQuantity: 3,
      note: 'Количество по «Кружка» изменено',
    })
  })

  it('plain counts before the marks: marks never outnumber the new count', () => {
    const change = applyNewQuantity({ name: 'Вода', checked: 5 }, ['m1', 'm2', 'm3'], 2.5)
    expect(change).toMatchObject({ checked: 2.5, marks: ['m1', 'm2'], removedMarks: ['m3'], note: 'Отсканированное по «Вода» уменьшено до 2,5' })
  })

  it('asks before going over the order, in the picker\'s numbers', () => {
    expect(confirmOverText(5, 7.12345)).toBe('Заказано 5, поставить 7,123?')
  })
})

describe('edit refusals', () => {
  const refusal = (code: string, message?: string) => new RefusalError(message ?? code, message ? { code, message } : { code })
  it.each<[string, unknown, string]>([
    ['no answer', new Error('timeout'), 'Нет ответа. Проверьте связь и повторите.'],
    ['no channel', new Error('нет соединения с сервером'), 'Нет ответа. Проверьте связь и повторите.'],
    ['forbidden', refusal('forbidden'), 'Вашей роли нельзя править состав документа. Обратитесь к администратору.'],
    ['unsupported', refusal('unsupported'), 'Состав этого документа править нельзя: отправления Ozon не правятся.'],
    ['not-found', refusal('not-found'), 'Такой позиции в документе уже нет. Обновите документ.'],
    ['ms-error with a message', refusal('ms-error', 'нет связи с API'), 'МойСклад не принял правку: нет связи с API'],
    ['ms-error without one', refusal('ms-error'), 'МойСклад не принял правку. Попробуйте еще раз.'],
    ['invalid with a message', refusal('invalid', 'Количество не может быть дробным'), 'Количество не может быть дробным'],
    ['invalid without one', refusal('invalid'), 'Сервер не принял количество. Проверьте число.'],
    ['confirm-required', refusal('confirm-required'), 'Нужно подтвердить количество больше заказанного.'],
    ['another code: the common refusal texts', refusal('start-required'), 'Сначала возьмите документ в работу, потом завершайте.'],
    ['an unknown code with a message', refusal('weird', 'Что-то пошло не так'), 'Что-то пошло не так'],
    ['an unknown code without one', new RefusalError('', { code: 'weird' }), 'Не удалось выполнить. Попробуйте еще раз.'],
  ])('%s', (_what, err, text) => {
    expect(editErrorText(err)).toBe(text)
  })
})

describe('refusal texts', () => {
  it.each<[string, Parameters<typeof refusalText>[0], string]>([
    ['taken, name and time', { code: 'taken', collector: { name: 'Игорь' }, startedAt: new Date(2026, 0, 5, 9, 7).toISOString() }, 'Документ уже собирает Игорь с 09:07. Возьмите другой или попросите его отпустить.'],
    ['taken, name only', { code: 'taken', collector: 'Игорь' }, 'Документ уже собирает Игорь. Возьмите другой или попросите его отпустить.'],
    ['taken, nobody named', { code: 'taken' }, 'Документ уже взят в работу другим сотрудником. Возьмите другой.'],
    ['wrong-stage with a stage', { code: 'wrong-stage', stage: 'collected' }, 'С этим документом уже нельзя это сделать: сейчас он в состоянии «ждет проверки». Обновите список.'],
    ['wrong-stage without', { code: 'wrong-stage' }, 'Документ уже ушел на другой этап. Обновите список.'],
    ['own-document', { code: 'own-document' }, 'Этот заказ собирали вы — проверить его должен другой сотрудник.'],
    ['forbidden', { code: 'forbidden' }, 'У вас нет прав на это действие. Обратитесь к администратору.'],
    ['boxes-required', { code: 'boxes-required' }, 'Укажите, сколько получилось коробок.'],
    ['reason-required', { code: 'reason-required' }, 'Укажите причину недобора по каждой недобранной позиции.'],
    ['role-not-assigned', { code: 'role-not-assigned' }, 'Эта роль вам не назначена. Попросите администратора добавить ее.'],
    ['answers-invalid', { code: 'answers-invalid' }, 'Ответьте на вопросы и проверьте введенное.'],
    ['invalid', { code: 'invalid' }, 'Сервер не принял введенное. Проверьте поля.'],
    ['state-not-trigger', { code: 'state-not-trigger' }, 'Выбранный статус не входит в статусы проверки: контролер не увидит документ. Добавьте его в настройках виджета или выберите другой.'],
  ])('%s', (_what, info, text) => {
    expect(refusalText(info)).toBe(text)
  })

  it('reason-required names the position when known', () => {
    expect(refusalText({ code: 'reason-required' }, 'Кружка')).toBe('Укажите причину недобора по позиции «Кружка».')
  })
})

describe('line keys after a line of the document goes', () => {
  const line = (assortmentId: string) => ({ assortmentId, code: '', barcodes: [] as string[] })
  const a1 = line('a'), b = line('b'), a2 = line('a'), a3 = line('a')

  it.each([
    ['the first of three lines of a product: the others move up', [a1, b, a2, a3], [b, a2, a3], [['a#2', 'a'], ['a#3', 'a#2']]],
    ['the middle line: only the last moves', [a1, b, a2, a3], [a1, b, a3], [['a#3', 'a#2']]],
    ['the last line: nothing moves', [a1, b, a2], [a1, b], []],
    ['another product: nothing moves', [a1, b, a2], [a1, a2], []],
  ])('%s', (_what, before, after, moves) => {
    expect([...lineKeyMoves(buildBarcodeIndex(before).keys, buildBarcodeIndex(after).keys)]).toEqual(moves)
  })
})
