/** The "document" holder: loaded documents of all types and the one being picked. */
import { defineStore } from 'pinia'
import { ref, shallowRef } from 'vue'
import { readCompletedMarks } from './completedMarks'
import { checkedPositionCount, positionStatus, type DocumentRecord, type DocumentType } from './records'

export interface RemoteChange {
  documentId: string
  type: string
  checkState: string
  at: number
}

export const useDocumentStore = defineStore('document', () => {
  const documents = ref<DocumentRecord[]>([])
  const currentDocument = ref<DocumentRecord | null>(null)
  const selectedType = ref<DocumentType | null>(null)
  const ozonConfigured = ref<boolean | null>(null)
  const ozonDocuments = ref<DocumentRecord[]>([])
  const ozonLoadedAt = ref<number | null>(null)
  const lastRemoteChange = shallowRef<RemoteChange | null>(null)

  /** Removes every document of `type` and appends `list`; completed-here documents stay completed. */
  function replaceTypeDocuments(type: string, list: DocumentRecord[]) {
    const marks = readCompletedMarks()
    const incoming = list.map((d) => (marks[d.id] && d.status !== 'completed' ? { ...d, status: 'completed' as const } : d))
    documents.value = [...documents.value.filter((d) => d.type !== type), ...incoming]
  }

  /** An empty list clears everything; otherwise replaces the documents of the first item's type. */
  function setDocuments(list: DocumentRecord[]) {
    if (list.length === 0) {
      documents.value = []
      return
    }
    replaceTypeDocuments(list[0]!.type, list)
  }

  function setCurrentDocument(doc: DocumentRecord | null) {
    currentDocument.value = doc
  }

  function recount(doc: DocumentRecord) {
    doc.checkedPositions = checkedPositionCount(doc.products)
    doc.totalPositions = doc.products.length
  }

  function updateProductChecked(assortmentId: string, checked: number) {
    const doc = currentDocument.value
    const p = doc?.products.find((x) => x.assortmentId === assortmentId)
    if (!doc || !p) return
    p.checked = checked
    p.status = positionStatus(checked, p.required)
    doc.checkedPositions = checkedPositionCount(doc.products)
  }

  function applyPositionQuantity(assortmentId: string, required: number, checked: number, orderedQuantity?: number) {
    const doc = currentDocument.value
    const p = doc?.products.find((x) => x.assortmentId === assortmentId)
    if (!doc || !p) return
    p.required = required
    p.checked = checked
    p.status = positionStatus(checked, required)
    if (orderedQuantity !== undefined) p.orderedQuantity = orderedQuantity
    doc.checkedPositions = checkedPositionCount(doc.products)
  }

  function removeProduct(assortmentId: string) {
    const doc = currentDocument.value
    if (!doc) return
    doc.products = doc.products.filter((p) => p.assortmentId !== assortmentId)
    recount(doc)
  }

  function setLastRemoteChange(change: RemoteChange | null) {
    lastRemoteChange.value = change
  }

  function reset() {
    documents.value = []
    currentDocument.value = null
    selectedType.value = null
    ozonConfigured.value = null
    ozonDocuments.value = []
    ozonLoadedAt.value = null
    lastRemoteChange.value = null
  }

  return {
    documents,
    currentDocument,
    selectedType,
    ozonConfigured,
    ozonDocuments,
    ozonLoadedAt,
    lastRemoteChange,
    setDocuments,
    replaceTypeDocuments,
    setCurrentDocument,
    updateProductChecked,
    applyPositionQuantity,
    removeProduct,
    setLastRemoteChange,
    reset,
  }
})
