/**
 * The diagnostic report cut into chunks for `supportDiagnose.chunk`: whole
 * lines, each chunk at most 60 000 characters, a longer line in pieces of its
 * own. Every line keeps its line break, so the chunks joined in order give
 * back the report exactly.
 */
export const CHUNK_LIMIT = 60_000
export const EMPTY_REPORT = 'Справка пустая — утилита подписи ничего не вывела'

export function diagnoseChunks(report: string, limit = CHUNK_LIMIT): string[] {
  if (report.trim() === '') return [EMPTY_REPORT]
  const chunks: string[] = []
  let current = ''
  const flush = () => {
    if (current !== '') chunks.push(current)
    current = ''
  }
  // Each line with its "\n" (the last one may have none).
  for (const line of report.match(/[^\n]*\n|[^\n]+$/g) ?? []) {
    if (line.length > limit) {
      flush()
      for (let at = 0; at < line.length; at += limit) chunks.push(line.slice(at, at + limit))
      continue
    }
    if (current.length + line.length > limit) flush()
    current += line
  }
  flush()
  return chunks
}
