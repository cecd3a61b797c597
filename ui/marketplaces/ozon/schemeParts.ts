/**
 * The other schemes' parts of the Ozon page. The FBS rows are the page's
 * own; a scheme feature (FBO) adds its rows here at install: the page shows
 * them under the FBS rows while the scheme is on, hands them the search, and
 * the refresh button reloads them with the FBS list.
 */
import type { Component } from 'vue'

export interface OzonSchemePart {
  scheme: 'fbo'
  order: number
  /** the rows; gets the prop `query` (the page's search) */
  rows: Component
  /** reloads the scheme's list (the refresh button) */
  refresh(): Promise<void>
  /** the rows shown now under `query`, for the page's empty text */
  count(query: string): number
  /** the loading text while the first load runs ("Загрузка поставок..."), else '' */
  loadingText(): string
}

export const ozonSchemeParts: OzonSchemePart[] = []

/** Adds a part once (a second install of the same feature changes nothing). */
export function addSchemePart(part: OzonSchemePart): void {
  if (!ozonSchemeParts.some((p) => p.scheme === part.scheme)) ozonSchemeParts.push(part)
}
