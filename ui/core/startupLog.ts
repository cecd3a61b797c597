/** Log lines of the page's own start-up. Pure text builders, tested directly. */

export function mountLine(ms: number): string {
  return `main: корневой вид смонтирован за ${Math.max(0, Math.round(ms))} мс от начала загрузки документа`
}

export function uncaughtErrorLine(message: string): string {
  return `необработанная ошибка window.onerror: ${message}`
}

export function unhandledRejectionLine(reason: unknown): string {
  return `необработанный отказ промиса: ${reasonText(reason)}`
}

export function frameworkErrorLine(info: string, message: string): string {
  return `ошибка Vue (${info}): ${message}`
}

export function reasonText(reason: unknown): string {
  if (reason instanceof Error) return reason.message || reason.name
  if (typeof reason === 'string') return reason
  try {
    return JSON.stringify(reason) ?? String(reason)
  } catch {
    return String(reason)
  }
}
