import { describe, expect, it } from 'vitest'
import { addedText, authorizationsHeader, newestFirst, revokeNotice } from './authorizations'
import { greetingText } from './greeting'

describe('the list of authorisations', () => {
  it.each([
    [0, 'На этом компьютере нет авторизованных сотрудников.'],
    [1, 'Авторизован 1 сотрудник'],
    [2, 'Авторизовано 2 сотрудника'],
    [5, 'Авторизовано 5 сотрудников'],
    [11, 'Авторизовано 11 сотрудников'],
    [21, 'Авторизован 21 сотрудник'],
    [22, 'Авторизовано 22 сотрудника'],
  ])('%i → %s', (n, text) => {
    expect(authorizationsHeader(n)).toBe(text)
  })

  it('names the day the account was added with the month in the genitive', () => {
    expect(addedText(new Date(2025, 2, 5, 14, 30).getTime())).toBe('добавлен 5 марта 2025')
    expect(addedText(new Date(2024, 11, 31).getTime())).toBe('добавлен 31 декабря 2024')
  })

  it('puts the newest first', () => {
    const list = [{ id: 'a', addedAt: 1 }, { id: 'b', addedAt: 3 }, { id: 'c', addedAt: 2 }, { id: 'd', addedAt: 3 }]
    expect(newestFirst(list).map((a) => a.id)).toEqual(['d', 'b', 'c', 'a'])
  })

  it.each<[Parameters<typeof revokeNotice>[0], string]>([
    [{ revoked: true }, ''],
    [null, 'Запись удалена. Сессию на сервере отозвать не удалось: нет связи с сервером, срок ее истечет сам'],
    [{ revoked: false, reason: 'сессия уже завершена' }, 'Запись удалена. Сессию на сервере отозвать не удалось: сессия уже завершена, срок ее истечет сам'],
    [{ revoked: false }, 'Запись удалена. Сессию на сервере отозвать не удалось: сервер отказал, срок ее истечет сам'],
  ])('revoking answered %j says %j', (answer, text) => {
    expect(revokeNotice(answer)).toBe(text)
  })
})

describe('the greeting', () => {
  it.each([
    [0, 'Анна Смирнова', 'Доброе утро, Анна!'],
    [11, ' Анна ', 'Доброе утро, Анна!'],
    [12, 'Анна Смирнова', 'Добрый день, Анна!'],
    [17, 'Игорь', 'Добрый день, Игорь!'],
    [18, 'Игорь', 'Добрый вечер, Игорь!'],
    [23, '', 'Добрый вечер!'],
  ])('at %i h for %j: %s', (hour, name, text) => {
    expect(greetingText(hour, name)).toBe(text)
  })
})
