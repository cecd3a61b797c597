import { beforeEach, describe, expect, it } from 'vitest'
import { createPinia, setActivePinia } from 'pinia'
import { installMemoryStorage, type MemoryStorage } from '../core/testing/memoryStorage'
import { readSignLog, SIGN_LOG_KEY, SIGN_LOG_LIMIT, signEventLabel, signLogDetail, signLogEntry, type SignLogEntry } from './signLog'
import { SIGN_LOG_FILE, SIGN_LOG_FILE_KEY, useSignLogStore } from './signLogStore'
import { FakeSigningHost } from './testing/fakeSigningHost'

let storage: MemoryStorage
beforeEach(() => {
  storage = installMemoryStorage()
  setActivePinia(createPinia())
})

const at = (i: number) => new Date(Date.UTC(2026, 0, 1, 0, 0, i))

describe('the sign log', () => {
  it('keeps 200 entries, newest first: the 201st pushes out the oldest', async () => {
    const log = useSignLogStore()
    for (let i = 0; i < SIGN_LOG_LIMIT + 1; i++) await log.add(signLogEntry('auth', { note: `n${i}` }, at(i)))
    const kept = readSignLog()
    expect(kept).toHaveLength(SIGN_LOG_LIMIT)
    expect(kept[0]!.note).toBe('n200')
    expect(kept.at(-1)!.note).toBe('n1')
    expect(log.entries).toEqual(kept)
  })

  it.each([
    ['not JSON', '{oops'],
    ['not a list', '{"at":"x"}'],
  ])('an unreadable log (%s) reads as empty', (_name, raw) => {
    storage.setItem(SIGN_LOG_KEY, raw)
    expect(readSignLog()).toEqual([])
  })

  it('drops malformed entries and keeps the rest', () => {
    storage.setItem(SIGN_LOG_KEY, JSON.stringify([{ at: 'a', event: 'auth', note: 5 }, { event: 'auth' }, null]))
    expect(readSignLog()).toEqual([{ at: 'a', event: 'auth' }])
  })

  it('a full storage loses the write but not the caller', async () => {
    storage.quotaLeft = 0
    await expect(useSignLogStore().add(signLogEntry('auth'))).resolves.toBe(true)
    expect(readSignLog()).toEqual([])
  })

  it.each<[string, string]>([
    ['auth', 'Подпись для Честного Знака'],
    ['document', 'Подпись документа'],
    ['refused', 'Отказ в подписи'],
    ['token', 'Токен Честного Знака получен'],
    ['stand', 'Контур Честного Знака переключен'],
    ['consent', 'Разрешение выдано'],
    ['revoke', 'Разрешение отозвано'],
    ['later-event', 'later-event'],
    ['toString', 'toString'],
  ])('event %s shows as "%s"', (event, label) => expect(signEventLabel(event)).toBe(label))

  it.each<[SignLogEntry, string]>([
    [{ at: '', event: 'refused', thumbprint: 'a1b2c3d4e5f60718293a4b5c6d7e8f9012345678', note: 'причина' }, 'причина'],
    [{ at: '', event: 'auth', thumbprint: 'a1b2c3d4e5f60718293a4b5c6d7e8f9012345678' }, 'Сертификат a1b2c3…5678'],
    [{ at: '', event: 'auth', thumbprint: 'abcdef123456' }, 'Сертификат abcdef123456'],
    [{ at: '', event: 'consent' }, ''],
  ])('row detail of %j', (entry, detail) => expect(signLogDetail(entry)).toBe(detail))
})

describe('the host-file copy', () => {
  it('brings the log back when local storage lost it, and a clear reaches the file', async () => {
    const host = new FakeSigningHost().install()
    try {
      const log = useSignLogStore()
      await log.startCopy()
      await log.add(signLogEntry('auth', { thumbprint: 'ab'.repeat(20) }))
      expect(host.files.get(SIGN_LOG_FILE)!.saved[SIGN_LOG_FILE_KEY]).toHaveLength(1)

      installMemoryStorage()
      setActivePinia(createPinia())
      const again = useSignLogStore()
      expect(again.entries).toEqual([])
      await again.startCopy()
      expect(again.entries.map((e) => e.event)).toEqual(['auth'])

      await again.clear()
      expect(again.entries).toEqual([])
      expect(host.files.get(SIGN_LOG_FILE)!.saved[SIGN_LOG_FILE_KEY]).toEqual([])
    } finally {
      FakeSigningHost.uninstall()
    }
  })
})
