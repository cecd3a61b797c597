import { describe, expect, it } from 'vitest'
import { failureText, inventoryCommands } from './commands'

const recorder = (reply: unknown) => {
  const calls: [string, unknown, number][] = []
  const cmds = inventoryCommands(async (name, payload, t) => { calls.push([name, payload, t]); return reply })
  return { calls, cmds }
}

describe('inventory commands', () => {
  it.each([
    ['list clamps the limit', (c: ReturnType<typeof inventoryCommands>) => c.list({ limit: 500, beforeId: 0 }), 'inventorySessionList', { limit: 100 }, 15000],
    ['get the open session', (c: ReturnType<typeof inventoryCommands>) => c.get(), 'inventorySessionGet', {}, 15000],
    ['scan list trims q', (c: ReturnType<typeof inventoryCommands>) => c.listScans(4, { q: '  ', afterId: 9 }), 'inventoryScanList', { sessionId: 4, limit: 50, afterId: 9 }, 15000],
    ['scan add waits 25 s', (c: ReturnType<typeof inventoryCommands>) => c.addScans(4, []), 'inventoryScanAdd', { sessionId: 4, scans: [] }, 25000],
    ['archive waits 120 s', (c: ReturnType<typeof inventoryCommands>) => c.photoArchive(4), 'inventoryPhotoArchive', { sessionId: 4 }, 120000],
    ['export all', (c: ReturnType<typeof inventoryCommands>) => c.exportAll(), 'inventoryExportAll', { limit: 100 }, 15000],
  ])('%s', async (_n, call, name, payload, timeout) => {
    const { calls, cmds } = recorder({})
    await call(cmds).catch(() => {})
    expect(calls).toEqual([[name, payload, timeout]])
  })
  it.each([
    ['start', (c: ReturnType<typeof inventoryCommands>) => c.start('a', ''), 'Сервер не вернул инвентаризацию'],
    ['close', (c: ReturnType<typeof inventoryCommands>) => c.close(1), 'Сервер не вернул закрытую инвентаризацию'],
    ['update', (c: ReturnType<typeof inventoryCommands>) => c.updateScan(1, 2, { qty: 3 }), 'Сервер не вернул сохраненный скан'],
    ['photo ids', (c: ReturnType<typeof inventoryCommands>) => c.photoIds(5), 'Сервер не вернул пачку для фото'],
  ])('%s with an empty reply is refused', async (_n, call, text) => {
    await expect(call(recorder({}).cmds)).rejects.toThrow(text)
  })
  it.each([
    [{ code: 'photo-limit' }, 'К этой единице уже 5 фото'],
    [{ code: 'weird', message: 'своё' }, 'своё'],
    [{ timeout: true, message: 'timeout' }, 'Не получилось — попробуйте еще раз'],
    [{}, 'Не получилось — попробуйте еще раз'],
  ])('failure text %#', (f, text) => expect(failureText(f)).toBe(text))
})
