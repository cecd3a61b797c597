import { afterEach, describe, expect, it } from 'vitest'
import {
  accountKeepScreenOn,
  createKeepScreenOn,
  holdScreenWhileOpen,
  KEEP_SCREEN_ON_DEVICE_KEY,
  readDeviceKeepScreenOn,
  wantsKeepScreenOn,
  writeDeviceKeepScreenOn,
} from './keepScreenOn'

afterEach(() => localStorage.clear())

describe('whether to keep the screen on', () => {
  it.each([
    [undefined, true, true],
    [undefined, 1, true],
    [undefined, '1', true],
    [undefined, 'true', false],
    [undefined, undefined, false],
    [false, true, false],
    [true, false, true],
  ])('device %s, account %s → %s', (device, account, expected) => {
    expect(wantsKeepScreenOn(device, account)).toBe(expected)
  })

  it('the device choice is stored as "1" / "0" and can be cleared', () => {
    expect(readDeviceKeepScreenOn()).toBeUndefined()
    writeDeviceKeepScreenOn(true)
    expect(JSON.parse(localStorage.getItem(KEEP_SCREEN_ON_DEVICE_KEY)!)).toBe('1')
    expect(readDeviceKeepScreenOn()).toBe(true)
    writeDeviceKeepScreenOn(false)
    expect(readDeviceKeepScreenOn()).toBe(false)
    writeDeviceKeepScreenOn(undefined)
    expect(readDeviceKeepScreenOn()).toBeUndefined()
    expect(accountKeepScreenOn('0')).toBe(false)
  })
})

describe('keep-screen-on requests', () => {
  it('go one at a time in order; a refused one puts the state back and warns', async () => {
    const log: string[] = []
    const seen: Array<[boolean, string]> = []
    let running = 0
    let refuseNext = false
    const keeper = createKeepScreenOn({
      supported: () => true,
      log: (l) => log.push(l),
      request: async (enable) => {
        running++
        expect(running).toBe(1)
        await new Promise((r) => setTimeout(r, 5))
        running--
        const refuse = refuseNext
        refuseNext = false
        seen.push([enable, refuse ? 'refused' : 'ok'])
        if (refuse) throw new Error('no wake lock')
      },
    })
    void keeper.set(true)
    void keeper.set(true) // already asked: no second request
    await keeper.set(false)
    expect(seen).toEqual([[true, 'ok'], [false, 'ok']])
    refuseNext = true
    await keeper.set(true)
    expect(keeper.enabled).toBe(false)
    expect(log).toEqual(['[экран] не удалось включить удержание экрана: no wake lock'])
  })

  it('do nothing where the host cannot keep the screen on', async () => {
    const seen: boolean[] = []
    const keeper = createKeepScreenOn({ supported: () => false, request: async (e) => void seen.push(e) })
    await keeper.set(true)
    expect(seen).toEqual([])
  })

  it('a document holds the screen when the device or the account asks, and releases it', async () => {
    const seen: boolean[] = []
    const keeper = createKeepScreenOn({ supported: () => true, request: async (e) => void seen.push(e) })
    await holdScreenWhileOpen(keeper, false)()
    expect(seen).toEqual([])
    const release = holdScreenWhileOpen(keeper, '1')
    await release()
    writeDeviceKeepScreenOn(false)
    await holdScreenWhileOpen(keeper, '1')()
    expect(seen).toEqual([true, false])
  })
})
