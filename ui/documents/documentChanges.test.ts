import { createPinia, setActivePinia } from 'pinia'
import { beforeEach, describe, expect, it } from 'vitest'
import { installMemoryStorage } from '../core/testing/memoryStorage'
import { applyDocumentChanged } from './documentChanges'
import { useDocumentStore } from './documentStore'
import { normaliseDocuments } from './records'

beforeEach(() => {
  installMemoryStorage()
  setActivePinia(createPinia())
})

describe('a change made in MoySklad', () => {
  it.each<[string, string | undefined, string, string | undefined]>([
    ['checked', 'new', 'completed', 'checked'],
    ['checked', undefined, 'completed', undefined],
    ['returned', 'collected', 'pending', 'new'],
  ])('%s: a record with stage %s becomes %s / %s', (checkState, stage, status, after) => {
    const store = useDocumentStore()
    store.setDocuments(normaliseDocuments([{ id: 'd1', type: 'shipment', status: 'pending', stage }]))
    applyDocumentChanged({ documentId: 'd1', checkState: checkState === 'checked' ? 'checked' : 'inWork', type: 'shipment' })
    expect([store.documents[0]!.status, store.documents[0]!.stage]).toEqual([status, after])
  })
})
