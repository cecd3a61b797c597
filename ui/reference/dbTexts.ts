/**
 * What the copy says when its database fails. Apart from the database module,
 * so that the library behind it loads only when the copy is first opened.
 */
export const DB_TEXTS = {
  notOpened: 'локальная база не открылась',
  writeFailed: 'запись не удалась',
  writeAborted: 'запись отменена',
} as const

/** The text for a failed write; an aborted transaction says so. */
export function writeErrorText(err: unknown): string {
  console.warn('[справочник] запись в локальную базу:', err)
  const name = typeof err === 'object' && err !== null && 'name' in err ? String((err as { name: unknown }).name) : ''
  return name === 'AbortError' ? DB_TEXTS.writeAborted : DB_TEXTS.writeFailed
}
