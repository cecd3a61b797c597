/** Short reasons for a failed update, from the error text (lower-cased; the first match wins). */

const RULES: ReadonlyArray<readonly [readonly string[], string]> = [
  [['connect', 'dns', 'network', 'timed out', 'timeout', 'unreachable', 'no route to host'], 'нет сети'],
  [['minisign', 'signature', 'base64', 'signatureutf8', 'подпись'], 'подпись сборки не сошлась'],
  [['permission denied', 'access is denied', 'eacces', 'read-only file system', 'readonly'], 'нет прав на запись'],
  [['found in the response', 'fallback platforms'], 'для вашей системы обновление пока не выложено'],
]

export function classifyUpdateError(text: string): string {
  const lower = text.toLowerCase()
  for (const [needles, reason] of RULES) if (needles.some((n) => lower.includes(n))) return reason
  return 'не удалось скачать обновление'
}
