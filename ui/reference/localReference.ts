/**
 * What the picking screen asks about a code that is not in the document,
 * before it asks the server: the device's copy of the product reference once
 * it is installed, else nothing. Kept apart from the copy itself so that the
 * picking screen's modules load without the database.
 */

export interface ReferenceHit {
  name: string
  article?: string
  code?: string
}

export interface LocalReference {
  /** the product the code belongs to, or null (no copy, copy off, or no such product) */
  lookup(code: string): Promise<ReferenceHit | null>
}

let installed: LocalReference | null = null

/** The copy the lookups go to (null: none). */
export function setLocalReference(reference: LocalReference | null): void {
  installed = reference
}

export const localReference: LocalReference = {
  lookup: (code) => (installed ? installed.lookup(code) : Promise.resolve(null)),
}
