import { describe, expect, it } from 'vitest'
import { releaseReasonPayload, reopenDoneText, reopenRefusalText } from './actionTexts'
import { normaliseStageDetails, stageDetailsLine, stageText } from './stageDetails'

const at = (d: number, h: number, m: number) => new Date(2026, 11, d, h, m).toISOString()

describe('the document header', () => {
  it.each<[string, Record<string, unknown>, string]>([
    ['new', { stage: 'new' }, 'Новый'],
    ['collecting', { stage: 'collecting', collector: 'Егор Лукин' }, 'Собирается: Егор Лукин'],
    ['collecting, nobody named', { stage: 'collecting' }, 'Собирается'],
    ['collected short', { stage: 'collected', shortfalls: 2 }, 'Собран, ждет проверки (недобор: 2)'],
    ['collected', { stage: 'collected' }, 'Собран, ждет проверки'],
    ['being checked', { stage: 'collected', checking: 'Вера Соколова' }, 'Проверяется: Вера Соколова'],
    ['being checked by someone unknown', { stage: 'collected', checking: '—' }, 'Проверяется'],
    ['checked (nobody checks any more)', { stage: 'checked', checking: 'Вера Соколова', shortfalls: [{}] }, 'Проверен (недобор: 1)'],
    ['an unknown stage', { stage: 'lost' }, 'Новый'],
  ])('stage text: %s', (_n, raw, text) => {
    expect(stageText(normaliseStageDetails(raw))).toBe(text)
  })

  it('the details line', () => {
    const d = normaliseStageDetails({
      stage: 'checked',
      collector: { name: 'Егор Лукин' },
      checker: 'Вера Соколова',
      startedAt: at(9, 8, 5),
      collectedAt: at(9, 9, 30),
      checkedAt: at(10, 11, 0),
      boxes: 3,
    })
    expect(stageDetailsLine(d)).toBe('Сборка начата: Егор Лукин 09.12 08:05 · Собран: Егор Лукин 09.12 09:30 · Проверен: Вера Соколова 10.12 11:00 · Коробок: 3')
    expect(stageDetailsLine(normaliseStageDetails({ stage: 'new', boxes: -1 }))).toBe('')
  })

  it('release and reopen texts', () => {
    expect([releaseReasonPayload('  '), releaseReasonPayload(' обед ')]).toEqual([undefined, 'обед'])
    expect(reopenDoneText('Новый')).toBe('Документ возвращен к сборке · статус в МоемСкладе: Новый')
    expect(reopenDoneText(true)).toBe('Документ возвращен к сборке')
    expect(reopenRefusalText({ code: 'forbidden' })).toBe('Вернуть документ к сборке может контролер или администратор')
    expect(reopenRefusalText({ code: 'wrong-stage' })).toBe('Документ сейчас в сборке: снимите его с сотрудника')
    expect(reopenRefusalText({ code: 'nothing-to-reopen' })).toBe('Документ не собран — возвращать нечего')
    expect(reopenRefusalText({ code: 'taken', collector: { name: 'Егор Лукин' } })).toBe('Документ уже собирает Егор Лукин. Возьмите другой или попросите его отпустить.')
  })
})
