/**
 * A completion as it travels: pages of at most 50 items, numbered from 1,
 * sent one after another; the last page is `final` and carries the timeline,
 * boxes and answers; every page carries the withdrawal answer, the role, and
 * what tells this result from another one (its id, the device, who finished it).
 */
import type { Payload } from './envelope'
import { ServerRejectedError } from './requests'
import type { QueuedCompletion } from './sendQueue'

export const COMPLETION_PAGE_SIZE = 50
export const COMPLETION_PAGE_TIMEOUT_MS = 15_000

type Completion = Pick<
  QueuedCompletion,
  'documentId' | 'documentType' | 'items' | 'timeline' | 'withdraw' | 'role' | 'boxes' | 'answers' | 'completionId' | 'deviceId' | 'by'
>

export function completionPages(c: Completion, size = COMPLETION_PAGE_SIZE): Payload[] {
  const count = Math.max(1, Math.ceil(c.items.length / size))
  const pages: Payload[] = []
  for (let i = 0; i < count; i++) {
    const final = i === count - 1
    const page: Payload = { documentId: c.documentId, type: c.documentType, page: i + 1, final, items: c.items.slice(i * size, (i + 1) * size) }
    if (c.withdraw !== undefined) page.withdraw = c.withdraw
    if (c.role !== undefined) page.role = c.role
    if (c.completionId !== undefined) page.completionId = c.completionId
    if (c.deviceId !== undefined) page.deviceId = c.deviceId
    if (c.by !== undefined) page.by = { ...c.by }
    if (final) {
      page.timeline = c.timeline
      if (c.boxes !== undefined) page.boxes = c.boxes
      if (c.answers !== undefined) page.answers = c.answers
    }
    pages.push(page)
  }
  return pages
}

/** What a completion's answers say beyond acceptance; kept for the roles, scenario and marking screens. */
export interface CompletionOutcome {
  stage?: 'new' | 'collecting' | 'collected' | 'checked'
  runId?: string
  scenario?: Payload
  withdrawQueued?: boolean
  withdrawNote?: string
}

const STAGES: ReadonlyArray<NonNullable<CompletionOutcome['stage']>> = ['new', 'collecting', 'collected', 'checked']

/** Reads the kept fields of the pages' answers, a later page's value winning; invalid values are left out. */
export function completionOutcome(answers: readonly Payload[]): CompletionOutcome {
  const out: CompletionOutcome = {}
  for (const a of answers) {
    if (STAGES.includes(a.stage as never)) out.stage = a.stage as CompletionOutcome['stage']
    if (typeof a.runId === 'string' && a.runId !== '') out.runId = a.runId
    else if (typeof a.runId === 'number') out.runId = String(a.runId)
    if (typeof a.scenario === 'object' && a.scenario !== null && !Array.isArray(a.scenario)) out.scenario = a.scenario as Payload
    if (typeof a.withdrawQueued === 'boolean') out.withdrawQueued = a.withdrawQueued
    if (typeof a.withdrawNote === 'string' && a.withdrawNote !== '') out.withdrawNote = a.withdrawNote
  }
  return out
}

/**
 * Sends every page through `ask` (the `command` helper: a refusal rejects with
 * RefusalError); a page answered with `accepted` false rejects with
 * ServerRejectedError. Resolves the last page's answer with the kept fields of
 * every page's answer (`completionOutcome`).
 */
export async function sendCompletion(c: Completion, ask: (page: Payload) => Promise<Payload>): Promise<Payload & CompletionOutcome> {
  const answers: Payload[] = []
  for (const page of completionPages(c)) {
    const answer = await ask(page)
    if (answer.accepted === false)
      throw new ServerRejectedError(typeof answer.error === 'string' && answer.error ? answer.error : 'Страница не принята сервером')
    answers.push(answer)
  }
  return { ...(answers.at(-1) ?? {}), ...completionOutcome(answers) }
}
