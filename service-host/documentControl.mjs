// Test-mode control routes for the warehouse documents of the stand-in.
import { changeCheckState } from '../ui/demo/index.ts'

/** @param {import('../ui/demo/index.ts').MemoryBackend} backend */
export function documentRoutes(backend) {
  return {
    // {documentId, checkState}: MoySklad marked the document checked ("checked") or returned it to work
    // (any other state); the account's connections get documentChanged.push
    'POST /document-changed': (/** @type {Record<string, any>} */ b) => {
      if (typeof b.documentId !== 'string' || !b.documentId) throw new Error('documentId is required')
      return changeCheckState(backend, b.documentId, typeof b.checkState === 'string' ? b.checkState : '')
    },
  }
}
