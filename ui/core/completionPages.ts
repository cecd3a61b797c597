/**
 * A completion as it travels: pages of at most 50 items, numbered from 1,
 * sent one after another; the last page is `final` and carries the timeline,
 * boxes and answers; every page carries the withdrawal answer and the role.
 */
import type { Payload } from './envelope'
import { ServerRejectedError } from './requests'
import type { QueuedCompletion } from './sendQueue'

export const COMPLETION_PAGE_SIZE = 50
export const COMPLETION_PAGE_TIMEOUT_MS = 15_000

type Completion = Pick<QueuedCompletion, 'documentId' | 'documentType' | 'items' | 'timeline' | 'withdraw' | 'role' | 'boxes' | 'answers'>

export function completionPages(c: Completion, size = COMPLETION_PAGE_SIZE): Payload[] {
  const count = Math.max(1, Math.ceil(c.items.length / size))
  const pages: Payload[] = []
  for (let i = 0; i < count; i++) {
    const final = i === count - 1
    const page: Payload = { documentId: c.documentId, type: c.documentType, page: i + 1, final, items: c.items.slice(i * size, (i + 1) * size) }
    if (c.withdraw !== undefined) page.withdraw = c.withdraw
    if (c.role !== undefined) page.role = c.role
    if (final) {
      page.timeline = c.timeline
      if (c.boxes !== undefined) page.boxes = c.boxes
      if (c.answers !== undefined) page.answers = c.answers
    }
    pages.push(page)
  }
  return pages
}

/**
 * Sends every page through `ask` (the `command` helper: a refusal rejects with
 * RefusalError); a page answered with `accepted` false rejects with
 * ServerRejectedError. Resolves the last page's answer.
 */
export async function sendCompletion(c: Completion, ask: (page: Payload) => Promise<Payload>): Promise<Payload> {
  let answer: Payload = {}
  for (const page of completionPages(c)) {
    answer = await ask(page)
    if (answer.accepted === false)
      throw new ServerRejectedError(typeof answer.error === 'string' && answer.error ? answer.error : 'Страница не принята сервером')
  }
  return answer
}
