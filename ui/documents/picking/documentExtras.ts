/**
 * What other features show on the picking screen for some documents (a
 * marketplace's label button for the order it stands for, for one). A part
 * adds its own at install; the screen shows every part that wants the open
 * document, under its header, with the prop `doc`.
 */
import type { Component } from 'vue'
import type { DocumentRecord } from '../records'

export interface DocumentExtra {
  wants(doc: DocumentRecord): boolean
  /** shown with the prop `doc` */
  component: Component
}

const extras: DocumentExtra[] = []

export function addDocumentExtra(e: DocumentExtra): () => void {
  extras.push(e)
  return () => {
    const i = extras.indexOf(e)
    if (i >= 0) extras.splice(i, 1)
  }
}

export function documentExtrasFor(doc: DocumentRecord): Component[] {
  return extras.filter((e) => e.wants(doc)).map((e) => e.component)
}
