/**
 * What reading an .xlsx for import can answer besides its rows: the refusals
 * (their messages are the texts for the user) and the progress of a large
 * file. Shared by the reading worker and the page; holds no reader itself.
 */

/** Bytes that are no workbook the reader can use. */
export class NotASpreadsheetError extends Error {}

/** A workbook refused for a limit; the message is the text for the user. */
export class SpreadsheetRefused extends Error {}

/** How far reading has gone. */
export type ReadProgress =
  | { stage: 'unpack'; done: number; total: number }
  | { stage: 'parse' }
  | { stage: 'rows'; done: number; total: number }

const thousands = (n: number) => String(n).replace(/\B(?=(\d{3})+(?!\d))/g, '\u00a0')

/** The progress line shown while a file is read on the device. */
export function readProgressText(p: ReadProgress): string {
  if (p.stage === 'unpack') return `Распаковываем файл: ${p.total > 0 ? Math.min(100, Math.floor((p.done * 100) / p.total)) : 0}%`
  if (p.stage === 'parse') return 'Читаем таблицу…'
  return `Читаем строки: ${thousands(p.done)} из ${thousands(p.total)}`
}

export const tooLargeInflatedText = (limitBytes: number) =>
  `Файл слишком большой: в распакованном виде больше ${Math.round(limitBytes / 1024 / 1024)} МБ — разделите его на части`
export const tooManyRowsText = (limit: number) => `Файл слишком большой: больше ${thousands(limit)} строк — разделите его на части`
export const tooManyColumnsText = (limit: number) =>
  `Файл слишком большой: заполнены столбцы дальше ${limit}-го — оставьте в листе только столбцы для импорта`
export const cellTooLongText = (address: string, length: number, limit: number) =>
  `Ячейка ${address} слишком длинная: ${thousands(length)} символов, можно не больше ${thousands(limit)} — сократите текст и загрузите файл снова`
