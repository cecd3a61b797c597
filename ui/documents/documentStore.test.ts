import { beforeEach, describe, expect, it } from 'vitest'
import { createPinia, setActivePinia } from 'pinia'
import { markCompleted, readCompletedMarks, MARK_MAX_AGE_MS } from './completedMarks'
import { useDocumentStore } from './documentStore'
import { normaliseDocument, normalisePosition } from './records'

beforeEach(() => {
  setActivePinia(createPinia())
  localStorage.clear()
})

const doc = (id: string, type: string, status = 'pending') => normaliseDocument({ id, type, status })!

describe('document holder', () => {
  it('replaces one type and keeps the others; completed-here stays completed', () => {
    const s = useDocumentStore()
    s.setDocuments([doc('a', 'shipment'), doc('b', 'shipment')])
    s.setDocuments([doc('c', 'order')])
    markCompleted('d', { at: Date.now(), by: 'Анна' })
    s.replaceTypeDocuments('shipment', [doc('d', 'shipment')])
    expect(s.documents.map((d) => [d.id, d.status])).toEqual([['c', 'pending'], ['d', 'completed']])
    s.setDocuments([])
    expect(s.documents).toEqual([])
  })

  it('counts, edits and removes positions of the current document', () => {
    const s = useDocumentStore()
    const d = doc('a', 'shipment')
    d.products = ['p1', 'p2', 'p3'].map((id) => normalisePosition({ id, quantity: 2 })!)
    s.setCurrentDocument(d)
    s.updateProductChecked('p1', 2)
    s.updateProductChecked('p2', 3)
    expect(s.currentDocument!.checkedPositions).toBe(2)
    expect(s.currentDocument!.products[1]!.status).toBe('excess')
    s.applyPositionQuantity('p3', 1, 1, 2)
    expect(s.currentDocument!.products[2]).toMatchObject({ required: 1, checked: 1, status: 'done', orderedQuantity: 2 })
    s.removeProduct('p1')
    expect([s.currentDocument!.totalPositions, s.currentDocument!.checkedPositions]).toEqual([2, 2])
  })
})

describe('completed-here marks', () => {
  it('drops marks older than 72 hours and reads bare numbers', () => {
    const now = 1_000_000_000_000
    localStorage.setItem('zv_completed_docs', JSON.stringify({ old: now - MARK_MAX_AGE_MS - 1, fresh: now - 1000, bad: 'x' }))
    expect(readCompletedMarks(now)).toEqual({ fresh: { at: now - 1000, by: '' } })
    expect(JSON.parse(localStorage.getItem('zv_completed_docs')!)).toEqual({ fresh: { at: now - 1000, by: '' } })
  })
})
