/** Short reasons for a failed update, from the error text (lower-cased; the first match wins). */

const RULES: ReadonlyArray<readonly [readonly string[], string]> = [
  [['connect', 'dns', 'network', 'timed out', 'timeout', 'unreachable', 'no route to host'], 'нет сети'],
  [['minisign', 'signature', 'base64', 'signatureutf8', 'подпись'], 'подпись сборки не сошлась'],
  [['permission denied', 'access is denied', 'eacces', 'read-only file system', 'readonly'], 'нет прав на запись'],
  [['found in the response', 'fallback platforms'], 'для вашей системы обновление пока не выложено'],
]

/** The host's own refusal of a bundle it downloaded (its archive, its program, its signed version): the reason follows. */
const REFUSED = 'пакет обновления отклонен: '
const DAMAGED = 'пакет обновления поврежден'
/** A refusal may name an archive entry of any length; the banner keeps one line's worth. */
const MAX_REASON = 160

/**
 * The reason shown after "Не удалось обновить: ". The host's refusal of a bundle is shown as it says it (it
 * names what was refused: a link leading out, a signed version that is not the offered one), before the rules.
 */
export function classifyUpdateError(text: string): string {
  const lower = text.toLowerCase()
  const refusedAt = lower.indexOf(REFUSED)
  if (refusedAt >= 0) {
    const reason = text.slice(refusedAt + REFUSED.length).trim().replace(/[.\s]+$/, '')
    if (reason) return reason.length > MAX_REASON ? `${reason.slice(0, MAX_REASON - 1)}…` : reason
  }
  if (lower.includes(DAMAGED)) return DAMAGED
  for (const [needles, reason] of RULES) if (needles.some((n) => lower.includes(n))) return reason
  return 'не удалось скачать обновление'
}
