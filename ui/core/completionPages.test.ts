import { describe, expect, it } from 'vitest'
import { completionPages, sendCompletion } from './completionPages'
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
