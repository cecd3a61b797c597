import { describe, expect, it } from 'vitest'
import { completionOutcome, completionPages, sendCompletion } from './completionPages'
import { ServerRejectedError } from './requests'

const completion = (n: number) => ({
  documentId: 'd1',
  documentType: 'demand',
  items: Array.from({ length: n }, (_, i) => ({ positionId: `p${i}`, quantity: 1 })),
  timeline: { completedAt: 5 },
  withdraw: false,
  role: 'checker' as const,
  boxes: 2,
  answers: { q: 'a' },
})

describe('completion pages', () => {
  it('sends 120 positions as pages of 50, 50 and 20; only the last is final with the timeline, boxes and answers', () => {
    const pages = completionPages(completion(120))
    expect(pages.map((p) => [p.page, (p.items as unknown[]).length, p.final, 'timeline' in p, 'boxes' in p, 'answers' in p])).toEqual([
      [1, 50, false, false, false, false],
      [2, 50, false, false, false, false],
      [3, 20, true, true, true, true],
    ])
    expect(pages.every((p) => p.withdraw === false && p.role === 'checker' && p.type === 'demand')).toBe(true)
  })

  it('sends an empty completion as one final page', () => {
    expect(completionPages(completion(0))).toEqual([expect.objectContaining({ page: 1, final: true, items: [] })])
  })

  it('stops at a page the server does not accept', async () => {
    const seen: number[] = []
    const ask = async (p: Record<string, unknown>) => {
      seen.push(p.page as number)
      return p.page === 2 ? { accepted: false } : { accepted: true }
    }
    const err = await sendCompletion(completion(120), ask).catch((e: unknown) => e)
    expect(err).toBeInstanceOf(ServerRejectedError)
    expect((err as ServerRejectedError).message).toBe('Страница не принята сервером')
    expect((err as ServerRejectedError).serverRejected).toBe(true)
    expect(seen).toEqual([1, 2])
  })
})

describe('the completion outcome', () => {
  it('keeps stage, run, scenario and the withdrawal answer of every page, a later page winning', async () => {
    const answers: Record<number, Record<string, unknown>> = {
      1: { accepted: true, withdrawQueued: true, withdrawNote: 'выведем позже' },
      2: { accepted: true, stage: 'collected' },
      3: { accepted: true, runId: 'r-7', scenario: { runId: 'r-7', queued: 2 }, stage: 'checked' },
    }
    const answer = await sendCompletion(completion(120), async (p) => answers[p.page as number]!)
    expect(answer).toEqual({
      accepted: true,
      stage: 'checked',
      runId: 'r-7',
      scenario: { runId: 'r-7', queued: 2 },
      withdrawQueued: true,
      withdrawNote: 'выведем позже',
    })
  })

  it.each([
    ['an unknown stage', { stage: 'done' }, {}],
    ['an empty run and note', { runId: '', withdrawNote: '' }, {}],
    ['a numeric run', { runId: 12 }, { runId: '12' }],
    ['a scenario that is no object', { scenario: 'r-1', withdrawQueued: 'yes' }, {}],
  ])('leaves out %s', (_what, answer, kept) => {
    expect(completionOutcome([answer])).toEqual(kept)
  })
})
