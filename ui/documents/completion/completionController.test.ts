import { beforeEach, describe, expect, it, vi } from 'vitest'
import type { Payload } from '../../core/envelope'
import { RefusalError, refusalFrom, ServerRejectedError } from '../../core/requests'
import { normaliseDocument, normalisePosition, type DocumentRecord } from '../records'
import { queuedRun } from '../../scenarios/runFollowUp'
import { createCompletion, QUEUE_FAILED_TEXT, QUEUED_TEXT, type CompletionDeps, type CompletionSource } from './completionController'

function documentOf(n: number): DocumentRecord {
  const d = normaliseDocument({ id: 'doc-1', type: 'order', number: '00042' })!
  d.products = Array.from({ length: n }, (_, i) => ({ ...normalisePosition({ id: `p${i}`, name: `Товар ${i}`, quantity: 1 })!, checked: 1, status: 'done' as const }))
  return d
}

function setup(
  opts: {
    n?: number
    answers?: Array<(p: Payload) => Payload | Promise<Payload>>
    questions?: unknown[]
    confirm?: boolean
    enqueueOk?: boolean
    /** a retail shipment with scanned marks whose picker is asked about withdrawal */
    withdraw?: boolean
    offline?: boolean
    roles?: CompletionSource['roles']
    followUp?: CompletionDeps['followUp']
  } = {},
) {
  const doc = documentOf(opts.n ?? 3)
  const sent: Payload[] = []
  const queued: unknown[] = []
  const events: string[] = []
  let answerIndex = 0
  const source: CompletionSource = {
    document: () => doc,
    items: () => doc.products.map((p) => ({ positionId: p.assortmentId, quantity: p.checked, marks: [] })),
    timeline: () => ({ openedAt: 1, firstScanAt: 2, lastScanAt: 3, completedAt: 0, scans: doc.products.length }),
    markIdentities: () => [],
    withdrawContext: () =>
      opts.withdraw
        ? { documentType: 'shipment', scannedMarks: 2, refusedReasons: [], withdrawOnRetail: true, askPicker: true }
        : { documentType: doc.type, scannedMarks: 0, refusedReasons: [], withdrawOnRetail: false, askPicker: false },
    completed: () => events.push('completed'),
    queued: () => events.push('queued'),
    roles: opts.roles,
  }
  const asked: Payload[] = []
  const deps: CompletionDeps = {
    canAsk: () => !opts.offline,
    offline: () => opts.offline === true,
    command: async (name, payload) => {
      if (name === 'finishQuestions') {
        asked.push(payload)
        return { questions: opts.questions ?? [] }
      }
      sent.push(payload)
      const answer = opts.answers?.[answerIndex++]
      return answer ? answer(payload) : { accepted: true }
    },
    enqueue: (entry) => {
      if (opts.enqueueOk === false) return false
      queued.push(entry)
      return true
    },
    markCompletedHere: () => events.push('marked'),
    confirmOnComplete: () => opts.confirm ?? false,
    flushQueued: async () => false,
    success: () => events.push('success'),
    failure: () => events.push('failure'),
    backToList: () => events.push('list'),
    followUp: opts.followUp,
  }
  return { doc, sent, queued, events, asked, completion: createCompletion(source, deps) }
}

beforeEach(() => vi.useRealTimers())

describe('completion', () => {
  it.each<[string, Payload, string[]]>([
    ['a scenario with queued actions keeps the screen for its run', { runId: 'r7', scenario: { runId: 'r7', queued: 2 } }, ['follow-up r7 2']],
    ['the run named beside the scenario', { runId: 'r8', scenario: { queued: 1 } }, ['follow-up r8 1']],
    ['queued 0 goes straight back to the list', { runId: 'r9', scenario: { runId: 'r9', queued: 0, skipped: 1 } }, ['list']],
    ['no scenario', {}, ['list']],
  ])('after success: %s', async (_name, extra, after) => {
    const followUp: CompletionDeps['followUp'] = (sent) => {
      const run = queuedRun(sent.outcome)
      if (run) events.push(`follow-up ${run.runId} ${run.queued}`)
      return run !== null
    }
    const { events, completion } = setup({ answers: [() => ({ accepted: true, ...extra })], followUp })
    await completion.start()
    await vi.waitFor(() => expect(events).toContain('success'))
    await vi.waitFor(() => expect(events.slice(events.indexOf('success') + 1)).toEqual(after))
    expect(completion.state.step).toBe('closed')
  })

  it('sends 120 positions as pages of 50, 50 and 20; only the last is final with the timeline', async () => {
    const { sent, events, doc, completion } = setup({ n: 120 })
    await completion.start()
    await vi.waitFor(() => expect(events).toContain('list'))
    expect(sent.map((p) => [p.page, (p.items as unknown[]).length, p.final, 'timeline' in p])).toEqual([
      [1, 50, false, false], [2, 50, false, false], [3, 20, true, true],
    ])
    expect(doc.status).toBe('completed')
    expect(events).toEqual(['marked', 'completed', 'success', 'list'])
  })

  it('asks for confirmation when the setting is on', async () => {
    const { sent, completion } = setup({ confirm: true })
    await completion.start()
    expect(completion.state.step).toBe('confirm')
    expect([completion.state.done, completion.state.total]).toEqual([3, 3])
    expect(sent).toEqual([])
  })

  it('the finish button asks the withdrawal question, then for confirmation', async () => {
    const { sent, completion } = setup({ confirm: true, withdraw: true })
    await completion.start()
    expect(completion.state.step).toBe('withdraw')
    completion.answerWithdraw(true)
    expect(completion.state.step).toBe('confirm')
    expect(sent).toEqual([])
  })

  it('auto-completion sends without the withdrawal question and without confirmation', async () => {
    const { sent, events, completion } = setup({ confirm: true, withdraw: true })
    await completion.start({ auto: true })
    await vi.waitFor(() => expect(events).toContain('list'))
    expect(sent).toHaveLength(1)
    expect(sent[0]).not.toHaveProperty('withdraw')
  })

  it('auto-completion still asks the completion questions', async () => {
    const { sent, completion } = setup({ confirm: true, withdraw: true, questions: [{ id: 'w', label: 'Вес', required: true, type: 'attribute', valueType: 'long' }] })
    await completion.start({ auto: true })
    expect(completion.state.step).toBe('questions')
    completion.state.values = { w: '12' }
    completion.submitQuestions()
    await vi.waitFor(() => expect(sent).toHaveLength(1))
    expect(sent[0]!.answers).toEqual({ w: 12 })
  })

  it('with the channel known to be down the document is queued at once, nothing is sent', async () => {
    const { sent, queued, events, completion } = setup({ offline: true, confirm: true })
    await completion.start()
    expect(completion.state.step).toBe('confirm')
    completion.confirm()
    await vi.waitFor(() => expect(completion.state.step).toBe('queued'))
    expect(completion.state.message).toBe(QUEUED_TEXT)
    expect(sent).toEqual([])
    expect(queued).toHaveLength(1)
    expect(events).toEqual(['failure', 'marked', 'queued'])
  })

  it('a reason-required refusal keeps the dialog, names and highlights the position, queues nothing', async () => {
    const refusal = () => {
      throw new RefusalError('x', { code: 'reason-required', positionId: 'p1' })
    }
    const { queued, events, completion } = setup({ answers: [refusal], confirm: true })
    await completion.start()
    completion.confirm()
    await vi.waitFor(() => expect(events).toContain('failure'))
    expect(completion.state.step).toBe('confirm')
    expect(completion.state.message).toBe('Укажите причину недобора по позиции «Товар 1».')
    expect(completion.state.highlightPositionId).toBe('p1')
    expect(queued).toEqual([])
  })

  it('an answers-invalid refusal marks the listed questions', async () => {
    const questions = [
      { id: 'a', label: 'Вес', required: true, type: 'attribute', valueType: 'long' },
      { id: 'b', label: 'Статус', required: false, type: 'state', options: [{ id: 's' }] },
    ]
    const refusal = () => {
      throw new RefusalError('x', { code: 'answers-invalid', missing: ['b'], wrong: ['a'] })
    }
    const { completion } = setup({ questions, answers: [refusal] })
    await completion.start()
    expect(completion.state.step).toBe('questions')
    completion.state.values = { a: '12' }
    completion.submitQuestions()
    await vi.waitFor(() => expect(completion.state.message).toBe('Ответьте на вопросы и проверьте введенное.'))
    expect(Object.keys(completion.state.errors).sort()).toEqual(['a', 'b'])
    expect(completion.state.step).toBe('questions')
  })

  it('a required "long" answered 12,5 is refused locally', async () => {
    const { sent, completion } = setup({ questions: [{ id: 'w', label: 'Вес', required: true, type: 'attribute', valueType: 'long' }] })
    await completion.start()
    completion.state.values = { w: '12,5' }
    completion.submitQuestions()
    expect(completion.state.errors.w).toBe('Целое число')
    expect(sent).toEqual([])
  })

  it('a time-out on page 2 queues the whole document with the exact text', async () => {
    const timeout = () => {
      throw new Error('timeout')
    }
    const { queued, doc, events, completion } = setup({ n: 60, answers: [(p) => ({ accepted: true, page: p.page }), timeout] })
    await completion.start()
    await vi.waitFor(() => expect(completion.state.step).toBe('queued'))
    expect(completion.state.message).toBe(QUEUED_TEXT)
    expect((queued[0] as { items: unknown[] }).items).toHaveLength(60)
    expect(doc.status).toBe('completed')
    expect(events).toEqual(['failure', 'marked', 'queued'])
  })

  it('a rejected page queues with the server message; a full storage says so and stays', async () => {
    const rejected = () => {
      throw new ServerRejectedError('Документ заблокирован...  ')
    }
    const a = setup({ answers: [rejected] })
    await a.completion.start()
    await vi.waitFor(() => expect(a.completion.state.step).toBe('queued'))
    expect(a.completion.state.message).toBe('⚠️ Сервер не принял документ: Документ заблокирован. Документ сохранен на устройстве, отправим повторно.')

    const b = setup({ answers: [() => { throw new Error('timeout') }], enqueueOk: false, confirm: true })
    await b.completion.start()
    b.completion.confirm()
    await vi.waitFor(() => expect(b.completion.state.message).toBe(QUEUE_FAILED_TEXT))
    expect(b.doc.status).not.toBe('completed')
  })

  // What `command` makes of a page's answer decides the text; every one of these is queued.
  it.each([
    ['a page answered accepted false with the server\'s error', { accepted: false, error: 'База на обслуживании...' }, '⚠️ Сервер не принял документ: База на обслуживании. Документ сохранен на устройстве, отправим повторно.'],
    ['a refusal code the picker cannot act on', { errorCode: 'invalid' }, '⚠️ Сервер не принял документ: Сервер не принял введенное. Проверьте поля. Документ сохранен на устройстве, отправим повторно.'],
    ['an unknown code with its message', { errorCode: 'ms-locked', message: 'МойСклад заблокировал документ' }, '⚠️ Сервер не принял документ: МойСклад заблокировал документ. Документ сохранен на устройстве, отправим повторно.'],
  ])('%s is queued with the server\'s words', async (_name, reply, text) => {
    const { queued, completion } = setup({ answers: [() => { throw refusalFrom(reply)! }] })
    await completion.start()
    await vi.waitFor(() => expect(completion.state.step).toBe('queued'))
    expect(completion.state.message).toBe(text)
    expect(queued).toHaveLength(1)
  })
})

describe('completion with a role', () => {
  it('the role\'s part holds the dialog until it is complete; the pages carry the role and, for the checker, the boxes', async () => {
    let ready = false
    const calls: string[] = []
    const { sent, asked, events, completion } = setup({
      roles: {
        role: () => 'checker',
        needed: () => true,
        open: () => calls.push('open'),
        submit: () => (ready ? { boxes: 3 } : null),
      },
    })
    await completion.start()
    expect(asked[0]).toMatchObject({ event: 'checked' })
    expect(completion.state).toMatchObject({ step: 'questions', rolesShown: true })
    expect(calls).toEqual(['open'])
    completion.submitQuestions()
    expect(completion.state.step).toBe('questions')
    ready = true
    completion.submitQuestions()
    await vi.waitFor(() => expect(events).toContain('list'))
    expect(sent.map((p) => [p.role, p.boxes])).toEqual([['checker', 3]])
  })

  it('a collector without short positions finishes as without roles, with the role on every page', async () => {
    const { sent, asked, events, completion } = setup({
      roles: { role: () => 'collector', needed: () => false, open: () => {}, submit: () => ({}) },
    })
    await completion.start()
    await vi.waitFor(() => expect(events).toContain('list'))
    expect(asked[0]).toMatchObject({ event: 'collected' })
    expect(sent.map((p) => [p.role, 'boxes' in p])).toEqual([['collector', false]])
  })
})
