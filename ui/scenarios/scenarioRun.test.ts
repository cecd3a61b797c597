import { describe, expect, it } from 'vitest'
import { actionPhrase, hasFailed, queuedText, readRun, runLines, type RunAction } from './scenarioRun'

const run = (status: string, actions: Array<Record<string, unknown>>) => readRun({ runId: 'r1', documentId: 'd1', event: 'collected', status, actions })!
const act = (idx: number, type: string, status: string, extra: Record<string, unknown> = {}) => ({ idx, type, status, attempts: 1, ...extra })

describe('readRun', () => {
  it('drops a run without runId or with a status of its own, sorts actions by idx', () => {
    expect(readRun({ status: 'done' })).toBeNull()
    expect(readRun({ runId: 'r1', status: 'paused' })).toBeNull()
    expect(readRun('r1')).toBeNull()
    const got = readRun({ runId: 7, status: 'running', actions: [act(2, 'note', 'odd'), act(0, 'answer', 'done', { params: { label: ' Вес ' } }), 'junk'] })!
    expect(got.runId).toBe('7')
    expect(got.actions.map((a) => [a.idx, a.type, a.status, a.label])).toEqual([[0, 'answer', 'done', 'Вес'], [2, 'note', 'pending', '']])
  })
})

describe('actionPhrase', () => {
  const a = (type: string, status: RunAction['status'], extra: Partial<RunAction> = {}): RunAction => ({ idx: 0, type, status, attempts: 1, error: '', label: '', note: '', ...extra })
  it.each<[RunAction, string]>([
    [a('documentState', 'done'), 'статус поставлен'], [a('documentState', 'error'), 'статус не поставлен'], [a('documentState', 'skipped'), 'статус не указан'],
    [a('linkedOrderState', 'done'), 'заказ переведен'], [a('linkedOrderState', 'error'), 'заказ не переведен'], [a('linkedOrderState', 'skipped'), 'заказа нет'],
    [a('dateNow', 'done'), 'дата обновлена'], [a('dateNow', 'error'), 'дата не обновлена'], [a('dateNow', 'skipped'), 'дата не менялась'],
    [a('attributes', 'done'), 'поля заполнены'], [a('attributes', 'error'), 'поля не заполнены'], [a('attributes', 'skipped'), 'поля не заданы'],
    [a('apply', 'done'), 'документ проведен'], [a('apply', 'error'), 'документ не проведен'], [a('apply', 'skipped'), 'проведение пропущено'],
    [a('print', 'done'), 'печать ушла'], [a('print', 'error'), 'печать не ушла'], [a('print', 'skipped'), 'печать пропущена'],
    [a('note', 'done'), 'отметка в комментарии добавлена'], [a('note', 'error'), 'отметка в комментарии не добавлена'], [a('note', 'skipped'), 'отметка в комментарии не нужна'],
    [a('answer', 'done', { label: 'Вес' }), 'ответ «Вес» записан'], [a('answer', 'pending', { label: 'Вес' }), 'ответ «Вес» записан'],
    [a('answer', 'running', { label: 'Вес' }), 'ответ «Вес» записан'], [a('answer', 'error', { label: 'Вес' }), 'ответ «Вес» не записан'],
    [a('answer', 'done'), 'действие выполнено'],
    [a('documentState', 'skipped', { note: 'state-not-trigger' }), 'статус не поставлен: он не входит в статусы проверки виджета'],
    [a('teleport', 'done'), 'действие выполнено'], [a('teleport', 'error'), 'действие не выполнено'], [a('teleport', 'skipped'), 'действие пропущено'],
  ])('%o', (action, phrase) => {
    expect(actionPhrase(action)).toBe(phrase)
  })
})

describe('runLines', () => {
  it.each<[string, ReturnType<typeof run>, { progress?: string; success?: string; error?: string }]>([
    ['running without actions', run('queued', []), { progress: 'Сценарий выполняется' }],
    ['running: done and skipped count as made', run('running', [act(0, 'documentState', 'done'), act(1, 'dateNow', 'skipped'), act(2, 'print', 'running')]), { progress: 'Сценарий выполняется: сделано 2 из 3' }],
    [
      'a done status, done extra fields and a failed print',
      run('error', [act(0, 'documentState', 'done'), act(1, 'attributes', 'done'), act(2, 'print', 'error', { error: 'Принтер контролера не в сети' })]),
      { success: 'Сценарий: статус поставлен, поля заполнены', error: 'Не получилось: печать не ушла — Принтер контролера не в сети' },
    ],
    [
      'nothing succeeded, two failures, one without a server text',
      run('error', [act(0, 'apply', 'error', { error: 'МойСклад: нет прав' }), act(1, 'note', 'error')]),
      { error: 'Сценарий не выполнен: документ не проведен — МойСклад: нет прав; отметка в комментарии не добавлена' },
    ],
    ['failed with no failed action listed', run('error', [act(0, 'dateNow', 'done')]), { success: 'Сценарий: дата обновлена', error: 'Не получилось: сервер не смог выполнить сценарий' }],
    ['failed with nothing at all', run('error', []), { error: 'Сценарий не выполнен: сервер не смог выполнить сценарий' }],
    ['done with a failed action', run('done', [act(0, 'print', 'error')]), { error: 'Сценарий не выполнен: печать не ушла' }],
    ['done', run('done', [act(1, 'note', 'done'), act(0, 'linkedOrderState', 'skipped'), act(2, 'answer', 'pending', { params: { label: 'Вес' } })]), { success: 'Сценарий: заказа нет, отметка в комментарии добавлена, ответ «Вес» записан' }],
    ['done with nothing to do', run('done', []), { success: 'Сценарий: делать было нечего' }],
  ])('%s', (_name, r, lines) => {
    expect(runLines(r)).toEqual({ progress: '', success: '', error: '', ...lines })
  })

  it('offers the retry only for a finished run that failed', () => {
    expect([run('error', []), run('done', [act(0, 'print', 'error')]), run('done', []), run('running', [act(0, 'print', 'error')])].map(hasFailed)).toEqual([true, true, false, false])
  })
})

describe('queuedText', () => {
  it.each([[1, 'Сценарий: 1 действие в очереди'], [2, 'Сценарий: 2 действия в очереди'], [5, 'Сценарий: 5 действий в очереди'], [21, 'Сценарий: 21 действие в очереди']])('%i', (n, t) => {
    expect(queuedText(n)).toBe(t)
  })
})
