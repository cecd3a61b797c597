/** The import's columns, the mapping sent with a run, and the texts of its progress. */
import type { ImportPreview } from './records'

export const IMPORT_COLUMNS = [
  { key: 'zone', title: 'Зона', required: true },
  { key: 'cellPath', title: 'Ячейка (путь через короба)', required: true },
  { key: 'cellBarcode', title: 'Штрихкод ячейки', required: false },
  { key: 'productName', title: 'Название товара', required: true },
  { key: 'productBarcode', title: 'Штрихкод товара', required: false },
  { key: 'quantity', title: 'Количество', required: true },
  { key: 'price', title: 'Цена за штуку', required: false },
  { key: 'comment', title: 'Комментарий', required: false },
] as const

export type ImportColumnKey = (typeof IMPORT_COLUMNS)[number]['key']
/** column key → column index of the file; a key not mapped is absent */
export type ImportMapping = Partial<Record<ImportColumnKey, number>>

export const TEMPLATE_BASE = 'шаблон-импорта'
export const TEMPLATE_SHEET = 'Шаблон'
export const PREVIEW_WAIT_S = 60
export const DEFAULT_PATH_SEPARATOR = '/'

export function templateRows(): string[][] {
  return [IMPORT_COLUMNS.map((c) => c.title)]
}

export function initialMapping(preview: ImportPreview): ImportMapping {
  const out: ImportMapping = {}
  for (const c of IMPORT_COLUMNS) {
    const at = preview.suggestedMapping[c.key]
    if (typeof at === 'number') out[c.key] = at
  }
  return out
}

/** The titles of required columns that are not mapped. */
export function missingColumns(mapping: ImportMapping): string[] {
  return IMPORT_COLUMNS.filter((c) => c.required && typeof mapping[c.key] !== 'number').map((c) => c.title)
}

/** Only the mapped keys, each with its column index. */
export function mappingToSend(mapping: ImportMapping): Record<string, number> {
  const out: Record<string, number> = {}
  for (const c of IMPORT_COLUMNS) {
    const at = mapping[c.key]
    if (typeof at === 'number' && Number.isInteger(at) && at >= 0) out[c.key] = at
  }
  return out
}

export function progressText(processed: number, total?: number): string {
  return total !== undefined ? `обработано ${processed} из ${total} строк` : `обработано ${processed} строк`
}

export function previewTimeoutText(s = PREVIEW_WAIT_S): string {
  return `Сервер не прислал предпросмотр за ${s} секунд. Попробуйте загрузить файл еще раз; если повторится, передайте в поддержку`
}

/** The name a converted .xlsx is uploaded under. */
export function csvNameFor(fileName: string): string {
  return /\.xlsx$/i.test(fileName) ? fileName.replace(/\.xlsx$/i, '.csv') : fileName
}

/** The export's address: absolute as it is, else joined to the service base with exactly one "/". */
export function exportUrl(url: string, base: string): string {
  if (/^https?:\/\//.test(url)) return url
  return `${base.replace(/\/+$/, '')}/${url.replace(/^\/+/, '')}`
}
