import { afterEach, describe, expect, it } from 'vitest'
import { markCompleted, readCompletedMarks } from '../documents/completedMarks'
import { useDocumentStore } from '../documents/documentStore'
import { deleteDraft, readDraft, writeDraft } from '../documents/picking/draft'
import { normaliseDocuments, type DocumentRecord } from '../documents/records'
import { autoReleased, dropReleasedDraft, settleReleasedDrafts } from './releasedDrafts'
import { createStageActions } from './stageActions'
import { rolesKit, type RolesKit } from './testing/rolesKit'

let kit: RolesKit | undefined
afterEach(() => {
  kit?.end()
  kit = undefined
})

/** The employee's shipment list from the backend in the document holder; the first new one is current. */
function setUp(userId: string, name: string) {
  kit = rolesKit(userId)
  const documents = useDocumentStore()
  documents.setDocuments(normaliseDocuments(kit.ask('getDocumentList', { type: 'shipment' }).items))
  const listed = documents.documents.find((d) => d.stage === 'new')!
  documents.setCurrentDocument({ ...listed })
  const actions = createStageActions({ documents, self: () => ({ id: userId, name }) })
  const both = () => [documents.documents.find((d) => d.id === listed.id)!, documents.currentDocument!] as const
  return { kit, documents, actions, doc: listed, both }
}

describe('start, release and reopen', () => {
  it('start and release update the list record and the open document; a release by hand drops the draft', async () => {
    const { actions, doc, both } = setUp('u-egor', 'Егор Лукин')
    await actions.startDocument(doc)
    for (const d of both()) expect(d).toMatchObject({ stage: 'collecting', collector: { id: 'u-egor', name: 'Егор Лукин' }, startedAt: expect.any(String) })
    writeDraft(doc.id, { checked: { a: 1 }, marks: {} })
    await actions.releaseDocument(doc, { reason: `  ${'о'.repeat(300)} ` })
    for (const d of both()) {
      expect(d.stage).toBe('new')
      expect(d).not.toHaveProperty('collector')
    }
    expect(kit!.sent.at(-1)).toEqual({ c: 'documentRelease', p: { documentId: doc.id, type: 'shipment', reason: 'о'.repeat(255) } })
    expect(readDraft(doc.id)).toBeUndefined()
  })

  it('an automatic release keeps the draft until another employee starts the document', async () => {
    const { actions, doc, documents } = setUp('u-egor', 'Егор Лукин')
    await actions.startDocument(doc)
    writeDraft(doc.id, { checked: { a: 2 }, marks: {} })
    await actions.releaseDocument(doc, { auto: true })
    expect(kit!.sent.at(-1)?.p).toEqual({ documentId: doc.id, type: 'shipment', auto: true })
    expect(readDraft(doc.id)?.checked).toEqual({ a: 2 })
    expect(autoReleased(doc.id)).toBe(true)

    const dropped: string[] = []
    const drop = (id: string) => dropped.push(id)
    // Still new: the draft waits for its picker.
    expect(settleReleasedDrafts(documents.documents, 'u-egor', drop)).toEqual([])
    // Another employee took it.
    const taken: Pick<DocumentRecord, 'id' | 'stage' | 'status' | 'collector'> = { id: doc.id, stage: 'collecting', status: 'in_progress', collector: { id: 'u-igor', name: 'Игорь Петров' } }
    expect(settleReleasedDrafts([taken], 'u-egor', drop)).toEqual([doc.id])
    expect(dropped).toEqual([doc.id])
    expect(autoReleased(doc.id)).toBe(false)
  })

  it.each<[string, Pick<DocumentRecord, 'stage' | 'status' | 'collector'>]>([
    ['collected by anyone, this employee on another device too', { stage: 'collected', status: 'completed', collector: { id: 'u-egor', name: 'Егор Лукин' } }],
    ['checked, the collector unknown here', { stage: 'checked', status: 'completed' }],
  ])('a kept draft goes once the document is %s', async (_name, now) => {
    const { actions, doc } = setUp('u-egor', 'Егор Лукин')
    await actions.startDocument(doc)
    writeDraft(doc.id, { checked: { a: 2 }, marks: {} })
    await actions.releaseDocument(doc, { auto: true })
    const dropped: string[] = []
    expect(settleReleasedDrafts([{ id: doc.id, ...now }], 'u-egor', (id) => dropped.push(id))).toEqual([doc.id])
    expect(dropped).toEqual([doc.id])
    expect(autoReleased(doc.id)).toBe(false)
  })

  it('a kept draft goes when the server says the document was completed or returned to work', async () => {
    const { actions, doc } = setUp('u-egor', 'Егор Лукин')
    await actions.startDocument(doc)
    writeDraft(doc.id, { checked: { a: 2 }, marks: {} })
    await actions.releaseDocument(doc, { auto: true })
    expect(dropReleasedDraft('another', deleteDraft)).toBe(false)
    expect(readDraft(doc.id)?.checked).toEqual({ a: 2 })
    expect(dropReleasedDraft(doc.id, deleteDraft)).toBe(true)
    expect(readDraft(doc.id)).toBeUndefined()
    expect(autoReleased(doc.id)).toBe(false)
  })

  it('the picker who starts again keeps his draft', async () => {
    const { actions, doc, documents } = setUp('u-egor', 'Егор Лукин')
    await actions.startDocument(doc)
    await actions.releaseDocument(doc, { auto: true })
    await actions.startDocument(doc)
    expect(settleReleasedDrafts(documents.documents, 'u-egor', () => expect.fail('dropped'))).toEqual([])
    expect(autoReleased(doc.id)).toBe(false)
  })

  it('reopen clears collector, checker, times, disputes, the draft and the completed-here mark', async () => {
    const { actions, doc, both, kit } = setUp('u-anna', 'Анна Смирнова')
    await actions.startDocument(doc)
    kit.ask('completeDocument', { documentId: doc.id, type: 'shipment', page: 1, final: true, items: [], timeline: {}, role: 'collector' })
    actions.markStageAfterComplete(doc, 'collected', 'collector')
    for (const d of both()) expect(d).toMatchObject({ stage: 'collected', collector: { id: 'u-anna' } })
    for (const d of both()) Object.assign(d, { checker: { id: 'x', name: 'X' }, collectedAt: 't', shortfalls: [{ disputed: true }], status: 'completed' })
    writeDraft(doc.id, { checked: { a: 1 }, marks: {} })
    markCompleted(doc.id, { at: Date.now(), by: 'Анна' })

    expect(await actions.reopenDocument(doc)).toMatchObject({ stage: 'new', stateRestored: 'Новый' })
    for (const d of both()) {
      expect(d).toMatchObject({ stage: 'new', status: 'pending' })
      for (const k of ['collector', 'checker', 'startedAt', 'collectedAt', 'shortfalls']) expect(d).not.toHaveProperty(k)
    }
    expect(readDraft(doc.id)).toBeUndefined()
    expect(readCompletedMarks()[doc.id]).toBeUndefined()
  })

  it('refusals reach the caller; the stage details of another document are not taken', async () => {
    const { actions, doc } = setUp('u-vera', 'Вера Соколова')
    await expect(actions.reopenDocument(doc)).rejects.toMatchObject({ info: { code: 'forbidden' } })
    kit!.fail('documentStageGet', { documentId: 'other', stage: 'checked' })
    await expect(actions.loadDocumentStage(doc)).rejects.toThrow('timeout')
    expect(await actions.loadDocumentStage(doc)).toMatchObject({ stage: 'new', boxes: 0, shortfalls: 0 })
  })
})
