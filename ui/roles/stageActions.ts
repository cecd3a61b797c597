/**
 * Start, release, reopen and the stage details of one document. After each,
 * the document's record in the list and the current document are updated in
 * place, so every screen shows the new stage at once.
 */
import type { Payload } from '../core/envelope'
import { RefusalError, type RefusalInfo } from '../core/requests'
import { unmarkCompleted } from '../documents/completedMarks'
import type { useDocumentStore } from '../documents/documentStore'
import { deleteDraft } from '../documents/picking/draft'
import type { DocumentRecord, DocumentStage, Person } from '../documents/records'
import { releaseReasonPayload } from './actionTexts'
import { rolesChannel } from './rolesChannel'
import { rememberAutoRelease } from './releasedDrafts'
import type { WorkRole } from './roleState'
import { normaliseStageDetails, type StageDetails } from './stageDetails'
import { stageAfterComplete } from './stages'

export const STAGE_DETAILS_TIMEOUT_MS = 6_000

type Documents = ReturnType<typeof useDocumentStore>
type Patch = Partial<Pick<DocumentRecord, 'stage' | 'collector' | 'checker' | 'startedAt' | 'collectedAt' | 'status'>>
type Cleared = 'collector' | 'checker' | 'startedAt' | 'collectedAt' | 'shortfalls'

const STAGES: readonly DocumentStage[] = ['new', 'collecting', 'collected', 'checked']
const stageOr = (v: unknown, fallback: DocumentStage): DocumentStage => (STAGES.includes(v as DocumentStage) ? (v as DocumentStage) : fallback)

function person(v: unknown, fallback?: Person): Person | undefined {
  if (typeof v === 'object' && v !== null) {
    const o = v as Record<string, unknown>
    const id = typeof o.id === 'string' ? o.id : ''
    const name = typeof o.name === 'string' ? o.name : ''
    if (id || name) return { id, name }
  }
  if (typeof v === 'string' && v.trim()) return { id: fallback?.id ?? '', name: v.trim() }
  return fallback
}

/** The list's record and the current document (one object or two), patched alike. */
function update(documents: Documents, id: string, patch: Patch, clear: readonly Cleared[] = []): void {
  const targets = new Set<DocumentRecord>()
  for (const d of documents.documents) if (d.id === id) targets.add(d)
  if (documents.currentDocument?.id === id) targets.add(documents.currentDocument)
  for (const d of targets) {
    for (const k of clear) delete d[k]
    Object.assign(d, patch)
  }
}

export interface StageActionsDeps {
  documents: Documents
  /** the signed-in employee as a document's collector or checker */
  self(): Person
}

const ids = (doc: Pick<DocumentRecord, 'id' | 'type'>): Payload => ({ documentId: doc.id, type: doc.type })

export function createStageActions(deps: StageActionsDeps) {
  const { documents } = deps

  /**
   * "Начать сборку": the document is this employee's from now on. An
   * administrator's `takeOver` takes a collection from its collector. A
   * refusal ("taken", "wrong-stage") says where the document is: the records
   * follow it, so every screen shows who has it.
   */
  async function startDocument(doc: Pick<DocumentRecord, 'id' | 'type'>, o: { takeOver?: boolean } = {}): Promise<void> {
    let answer: Payload
    try {
      answer = await rolesChannel().command('documentStart', o.takeOver ? { ...ids(doc), takeOver: true } : ids(doc))
    } catch (err) {
      if (err instanceof RefusalError) followRefusal(doc.id, err.info)
      throw err
    }
    const patch: Patch = { stage: stageOr(answer.stage, 'collecting'), collector: person(answer.collector, deps.self()) }
    if (typeof answer.startedAt === 'string') patch.startedAt = answer.startedAt
    update(documents, doc.id, patch, ['startedAt'])
  }

  function followRefusal(id: string, info: RefusalInfo) {
    if (info.code === 'taken') {
      const collector = person(info.collector)
      const patch: Patch = { stage: 'collecting' }
      if (collector) patch.collector = collector.id ? collector : { id: `name:${collector.name}`, name: collector.name }
      if (typeof info.startedAt === 'string') patch.startedAt = info.startedAt
      update(documents, id, patch, ['startedAt'])
    } else if (info.code === 'wrong-stage' && STAGES.includes(info.stage as DocumentStage)) update(documents, id, { stage: info.stage as DocumentStage })
  }

  /**
   * `documentStage.push`: another device started, took over or released a
   * document. The records follow; answers whom it was taken from, if anyone.
   */
  function applyStagePush(p: Payload): { documentId: string; takenFrom?: Person; collector?: Person } | undefined {
    const id = typeof p.documentId === 'string' ? p.documentId : ''
    if (!id || !STAGES.includes(p.stage as DocumentStage)) return undefined
    const stage = p.stage as DocumentStage
    const collector = person(p.collector)
    const patch: Patch = { stage }
    if (collector) patch.collector = collector
    if (typeof p.startedAt === 'string') patch.startedAt = p.startedAt
    update(documents, id, patch, collector ? ['startedAt'] : ['collector', 'startedAt'])
    const takenFrom = person(p.takenFrom)
    return { documentId: id, ...(takenFrom ? { takenFrom } : {}), ...(collector ? { collector } : {}) }
  }

  /**
   * "Снять с себя" / "Снять сборку", or the automatic release. A release by
   * hand drops the draft; an automatic one keeps it until another employee
   * starts the document.
   */
  async function releaseDocument(doc: Pick<DocumentRecord, 'id' | 'type'>, o: { reason?: string; auto?: boolean } = {}): Promise<void> {
    const payload = ids(doc)
    const reason = o.reason === undefined ? undefined : releaseReasonPayload(o.reason)
    if (reason !== undefined) payload.reason = reason
    if (o.auto) payload.auto = true
    const answer = await rolesChannel().command('documentRelease', payload)
    update(documents, doc.id, { stage: stageOr(answer.stage, 'new') }, ['collector', 'startedAt'])
    if (o.auto) rememberAutoRelease(doc.id)
    else deleteDraft(doc.id)
  }

  /** "Вернуть к сборке": everything of the collection and the check goes, here too. */
  async function reopenDocument(doc: Pick<DocumentRecord, 'id' | 'type'>): Promise<{ stage: DocumentStage; stateRestored: unknown; runsReopened: unknown; checkCleared: unknown; sent: unknown }> {
    const answer = await rolesChannel().command('documentReopen', ids(doc))
    const stage = stageOr(answer.stage, 'new')
    update(documents, doc.id, { stage, status: 'pending' }, ['collector', 'checker', 'startedAt', 'collectedAt', 'shortfalls'])
    deleteDraft(doc.id)
    unmarkCompleted(doc.id)
    return { stage, stateRestored: answer.stateRestored, runsReopened: answer.runsReopened, checkCleared: answer.checkCleared, sent: answer.sent }
  }

  /** The stage details of the header (6 s; replies for other documents are not taken). */
  async function loadDocumentStage(doc: Pick<DocumentRecord, 'id' | 'type'>): Promise<StageDetails> {
    const answer = await rolesChannel().command(
      'documentStageGet',
      ids(doc),
      STAGE_DETAILS_TIMEOUT_MS,
      (p) => typeof p.documentId !== 'string' || p.documentId === '' || p.documentId === doc.id,
    )
    return normaliseStageDetails(answer)
  }

  /** After a completion: the next stage, and this employee as its collector or checker. */
  function markStageAfterComplete(doc: Pick<DocumentRecord, 'id'>, serverStage: unknown, role: WorkRole): DocumentStage {
    const stage = stageAfterComplete(serverStage, role)
    update(documents, doc.id, role === 'checker' ? { stage, checker: deps.self() } : { stage, collector: deps.self() })
    return stage
  }

  return { startDocument, applyStagePush, releaseDocument, reopenDocument, loadDocumentStage, markStageAfterComplete }
}

export type StageActions = ReturnType<typeof createStageActions>
