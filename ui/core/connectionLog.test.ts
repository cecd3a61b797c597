import { describe, expect, it } from 'vitest'
import { connectedLine, connectErrorLine, disconnectedLine, disconnectReasonText, reconnectAttemptLine, reconnectedLine } from './connectionLog'

describe('connection log lines', () => {
  it.each([
    ['io server disconnect', 'сервер сам закрыл соединение'],
    ['io client disconnect', 'соединение закрыто на этой стороне (не обрыв)'],
    ['ping timeout', 'сервер не ответил вовремя (ping timeout)'],
    ['transport close', 'сеть пропала (transport close)'],
    ['transport error', 'ошибка транспорта (transport error)'],
    ['parse error', 'сервер прислал поврежденные данные (parse error)'],
    ['maintenance', 'причина сервера: «maintenance»'],
  ])('reason %s', (reason, text) => {
    expect(disconnectReasonText(reason)).toBe(text)
  })

  it('writes lives and recoveries in whole seconds, never negative', () => {
    expect(connectedLine(5_000, null)).toBe('сокет: подключен')
    expect(connectedLine(12_999, 10_000)).toBe('сокет: подключен — восстановление заняло 2 с')
    expect(connectedLine(9_000, 10_000)).toBe('сокет: подключен — восстановление заняло 0 с')
    expect(disconnectedLine('ping timeout', 70_500, 10_000)).toBe('сокет: разрыв связи — сервер не ответил вовремя (ping timeout) (жило 60 с)')
    expect(disconnectedLine('transport close', 1, null)).toBe('сокет: разрыв связи — сеть пропала (transport close) (срок жизни неизвестен)')
  })

  it('numbers reconnect attempts and describes connect errors', () => {
    expect(reconnectAttemptLine(3)).toBe('сокет: попытка переподключения №3')
    expect(reconnectedLine(3)).toBe('сокет: переподключение удалось (попытка №3)')
    expect(connectErrorLine('xhr poll error')).toBe('сокет: не удалось подключиться — xhr poll error')
    expect(connectErrorLine('')).toBe('сокет: не удалось подключиться — без описания')
  })
})
