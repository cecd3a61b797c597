import { describe, expect, it } from 'vitest'
import { answersPayload, normaliseQuestions, optionColour, questionLabel, validateAnswer, type Question } from './questions'
import { collectedText, confirmText, finishButton } from './finishButton'

const long: Question = { id: 'q1', label: 'Вес', required: true, type: 'attribute', valueType: 'long' }
const dbl: Question = { id: 'q2', label: 'Объем', required: false, type: 'attribute', valueType: 'double' }
const str: Question = { id: 'q3', label: 'Комментарий', required: false, type: 'attribute', valueType: 'string' }
const txt: Question = { id: 'q6', label: 'Описание', required: false, type: 'attribute', valueType: 'text' }
const yes: Question = { id: 'q4', label: 'Упаковано', required: true, type: 'attribute', valueType: 'boolean' }
const state: Question = { id: 'q5', label: 'Статус', required: true, type: 'state', options: [{ id: 's1', name: 'Готов', color: '#00ff00' }] }

describe('normaliseQuestions', () => {
  it('keeps well-formed questions and drops the rest', () => {
    const got = normaliseQuestions([
      { id: 'a', label: '  Вес ', required: true, type: 'attribute', valueType: 'long' },
      { id: 'a', label: 'Дубль', type: 'attribute', valueType: 'long' },
      { id: 'b', label: ' ', type: 'attribute', valueType: 'string' },
      { id: 'c', label: 'Файл', type: 'attribute', valueType: 'file' },
      { id: 'd', label: 'Статус', type: 'state', options: [] },
      { id: 'e', label: 'Статус', type: 'state', options: [{ id: 's', color: 65280 }, { id: 't', name: 'Т', color: -1 }] },
      { id: 'f', label: 'Что-то', type: 'other' },
      null,
    ])
    expect(got).toEqual([
      { id: 'a', label: 'Вес', required: true, type: 'attribute', valueType: 'long' },
      { id: 'e', label: 'Статус', required: false, type: 'state', options: [{ id: 's', name: 's', color: '#00ff00' }, { id: 't', name: 'Т', color: '#9ca3af' }] },
    ])
  })

  it('colours options', () => {
    expect([optionColour(0), optionColour(16777215), optionColour(16777216), optionColour('red')]).toEqual(['#000000', '#ffffff', '#9ca3af', '#9ca3af'])
  })
})

describe('validateAnswer', () => {
  it.each([
    [long, '12', ''], [long, '-7', ''], [long, '12,5', 'Целое число'], [long, '12.5', 'Целое число'],
    [long, '99999999999999999', 'Целое число'], [long, '', 'Ответьте на этот вопрос'],
    [dbl, '12,5', ''], [dbl, '12.5', ''], [dbl, '1,2,3', 'Число, можно с запятой'], [dbl, '', ''],
    [str, 'x'.repeat(255), ''], [str, 'x'.repeat(256), 'Не длиннее 255 символов'],
    [txt, 'я'.repeat(4096), ''], [txt, 'я'.repeat(4097), 'Не длиннее 4096 символов'],
    [yes, true, ''], [yes, false, ''], [yes, undefined, 'Ответьте на этот вопрос'],
    [state, 's1', ''], [state, 'zz', 'Ответьте на этот вопрос'],
  ] as const)('%o %j → %j', (q, value, error) => {
    expect(validateAnswer(q, value)).toBe(error)
  })

  it('marks optional questions', () => {
    expect(questionLabel(dbl)).toBe('Объем (по желанию)')
    expect(questionLabel(long)).toBe('Вес')
  })
})

describe('answersPayload', () => {
  it('sends typed values and leaves out unanswered optional questions', () => {
    expect(answersPayload([long, dbl, str, yes, state], { q1: ' 12 ', q2: '3,25', q3: '  ', q4: false, q5: 's1' })).toEqual({
      q1: 12, q2: 3.25, q4: false, q5: 's1',
    })
  })
})

describe('finishButton', () => {
  const pos = (checked: number, required: number) => ({ checked, required })
  it.each([
    [[pos(2, 2), pos(3, 1)], true, '✅ Завершить проверку', true],
    [[pos(1, 2)], true, 'Завершить с недобором', true],
    [[pos(1, 2)], false, 'Осталась 1 позиция', false],
    [[pos(0, 2), pos(0, 1)], false, 'Осталось 2 позиции', false],
    [Array.from({ length: 11 }, () => pos(0, 1)), false, 'Осталось 11 позиций', false],
    [Array.from({ length: 21 }, () => pos(0, 1)), false, 'Осталась 21 позиция', false],
  ])('%j short=%s', (positions, short, label, enabled) => {
    expect(finishButton(positions, short)).toMatchObject({ label, enabled })
  })
})

describe('the confirmation', () => {
  it.each([
    [1, 1, 'Проверено 1 из 1 позиции. Действие нельзя отменить.'],
    [2, 3, 'Проверено 2 из 3 позиций. Действие нельзя отменить.'],
    [20, 21, 'Проверено 20 из 21 позиции. Действие нельзя отменить.'],
    [5, 120, 'Проверено 5 из 120 позиций. Действие нельзя отменить.'],
  ])('%i of %i', (done, total, text) => {
    expect(confirmText(done, total)).toBe(text)
  })

  it('a collector under roles is asked about collecting', () => {
    expect(collectedText(2, 2)).toBe('Собрано 2 из 2 позиций. Действие нельзя отменить.')
    expect(collectedText(1, 21)).toBe('Собрано 1 из 21 позиции. Действие нельзя отменить.')
  })
})
