import { describe, expect, it } from 'vitest'
import type { Payload } from '../../core/envelope'
import { checkOzonShop, deleteOzonShop, keysProblem, maskedClientId, saveOzonShop } from './ozonShops'

const answering = (answer: Payload | Error) => {
  const sent: Array<[string, Payload]> = []
  const ask = async (name: string, payload: Payload) => {
    sent.push([name, payload])
    if (answer instanceof Error) throw answer
    return answer
  }
  return { ask, sent }
}

describe('the Ozon shops', () => {
  it.each([
    ['', '', 'Введите Client-Id'],
    ['12a', 'k', 'Client-Id состоит только из цифр'],
    ['123', ' ', 'Введите Api-Key'],
    ['123', 'a b', 'В Api-Key не должно быть пробелов'],
    [' 123 ', 'key', null],
  ])('keys %j / %j', (clientId, apiKey, problem) => {
    expect(keysProblem({ clientId, apiKey })).toBe(problem)
  })

  it.each([['1048576', '••••76'], ['12', '••'], ['7', '•']])('Client-Id %s is shown as %s', (id, shown) => {
    expect(maskedClientId(id)).toBe(shown)
  })

  it.each([
    [{ saved: true }, { ok: true, text: 'Магазин сохранен, ключи проверены' }],
    [{ saved: true, warning: 'ключи только для чтения' }, { ok: true, text: 'Магазин сохранен. ключи только для чтения' }],
    [{ saved: false, error: 'Ozon не принял ключи' }, { ok: false, text: 'Ozon не принял ключи' }],
    [{}, { ok: false, text: 'Сервер не подтвердил сохранение. Попробуйте еще раз' }],
    [new Error('timeout'), { ok: false, text: 'Сервер не ответил вовремя. Попробуйте еще раз.' }],
  ])('save answered %j', async (answer, result) => {
    const { ask, sent } = answering(answer)
    expect(await saveOzonShop(ask, { title: ' ', clientId: '123', apiKey: 'key' })).toEqual(result)
    expect(sent).toEqual([['ozonCredentialsSave', { clientId: '123', apiKey: 'key' }]])
  })

  it('bad keys never leave the device; check and delete texts', async () => {
    const { ask, sent } = answering({ valid: true })
    expect(await saveOzonShop(ask, { title: '', clientId: 'x', apiKey: 'k' })).toEqual({ ok: false, text: 'Client-Id состоит только из цифр' })
    expect(await checkOzonShop(ask, { clientId: '123' })).toEqual({ ok: true, text: 'Ozon принял ключи' })
    expect(sent).toEqual([['ozonCredentialsCheck', { clientId: '123' }]])
    expect(await checkOzonShop(answering({ valid: false }).ask, { clientId: '123', apiKey: 'k' })).toEqual({ ok: false, text: 'Ozon не принял ключи' })
    expect(await deleteOzonShop(answering({ deleted: true }).ask, '123')).toEqual({ ok: true, text: 'Магазин удален' })
    expect(await deleteOzonShop(answering({}).ask, '123')).toEqual({ ok: false, text: 'Не удалось удалить магазин' })
  })
})
