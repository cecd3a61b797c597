/** Lines of the connection history in the application log. Pure text builders. */

const REASONS: Readonly<Record<string, string>> = {
  'io server disconnect': 'сервер сам закрыл соединение',
  'io client disconnect': 'соединение закрыто на этой стороне (не обрыв)',
  'ping timeout': 'сервер не ответил вовремя (ping timeout)',
  'transport close': 'сеть пропала (transport close)',
  'transport error': 'ошибка транспорта (transport error)',
  'parse error': 'сервер прислал поврежденные данные (parse error)',
}

export function disconnectReasonText(reason: string): string {
  return REASONS[reason] ?? `причина сервера: «${reason}»`
}

function wholeSeconds(fromMs: number, toMs: number): number {
  return Math.max(0, Math.floor((toMs - fromMs) / 1000))
}

/** After a connection; with the time of the last disconnect when one is known. */
export function connectedLine(now: number, disconnectedAt: number | null): string {
  return disconnectedAt === null
    ? 'сокет: подключен'
    : `сокет: подключен — восстановление заняло ${wholeSeconds(disconnectedAt, now)} с`
}

export function disconnectedLine(reason: string, now: number, connectedAt: number | null): string {
  const life = connectedAt === null ? 'срок жизни неизвестен' : `жило ${wholeSeconds(connectedAt, now)} с`
  return `сокет: разрыв связи — ${disconnectReasonText(reason)} (${life})`
}

export function reconnectAttemptLine(attempt: number): string {
  return `сокет: попытка переподключения №${attempt}`
}

export function reconnectedLine(attempt: number): string {
  return `сокет: переподключение удалось (попытка №${attempt})`
}

export function connectErrorLine(message: string): string {
  return `сокет: не удалось подключиться — ${message || 'без описания'}`
}

export const SELF_RECONNECT_LINE = 'сокет: переподключаюсь сам после обновления токена'
