import { flushPromises, mount } from '@vue/test-utils'
import { IDBFactory, IDBKeyRange } from 'fake-indexeddb'
import { afterEach, describe, expect, it, vi } from 'vitest'
import type { Payload } from '../core/envelope'
import { MemoryStorage } from '../core/testing/memoryStorage'
import { createBackend } from '../demo/backend'
import { demoSigner } from '../demo/tokens'
import ReferenceSection from './ReferenceSection.vue'
import { AssortmentDb } from './assortmentDb'
import { createReferenceCopy, type ReferenceCopy } from './referenceCopy'

const copies: ReferenceCopy[] = []
afterEach(() => {
  for (const c of copies.splice(0)) c.close()
  delete (window as { __ZORVIK__?: unknown }).__ZORVIK__
})

function copyFor(desktop: boolean) {
  const b = createBackend({ sign: demoSigner })
  const { token } = b.openSession('u-oleg')
  const identity = b.authenticate(token)
  if ('error' in identity) throw new Error(identity.error)
  const conn = b.attach(identity, () => {})
  const asked: Payload[] = []
  const idb = new IDBFactory()
  const copy = createReferenceCopy({
    openDb: () => AssortmentDb.open({ indexedDB: idb, IDBKeyRange }),
    ask: (p) => (asked.push(p), Promise.resolve(b.handle(conn, 'assortmentSync', p)[0]!.p)),
    desktop: () => desktop,
    storage: new MemoryStorage(),
    log: () => {},
  })
  copies.push(copy)
  return { copy, asked }
}

const status = (w: ReturnType<typeof mount>) => w.get('[data-test="reference-status"]').text()

describe('the reference section of the settings', () => {
  it('on the desktop: the status line, and the two buttons start an incremental and a full run', async () => {
    ;(window as { __ZORVIK__?: unknown }).__ZORVIK__ = { invoke: () => Promise.reject(new Error('no host')) }
    const { copy, asked } = copyFor(true)
    await copy.prepareAssortment({ allowed: true, scope: 'acc-master' })
    const w = mount(ReferenceSection, { props: { copy } })
    await flushPromises()
    expect(status(w)).toBe('Справочник еще не загружен — нажмите «Обновить справочник»')
    expect(w.find('[data-test="reference-opt-in"]').exists()).toBe(false)

    await w.get('[data-test="reference-sync"]').trigger('click')
    await vi.waitFor(() => expect(status(w)).toMatch(/^\d+ товар(а|ов)?, [\d,]+ КБ, обновлен только что$/))
    await w.get('[data-test="reference-full"]').trigger('click')
    await vi.waitFor(() => expect(asked).toHaveLength(2))
    await vi.waitFor(() => expect(w.get('[data-test="reference-full"]').attributes('disabled')).toBeUndefined())
    w.unmount()
  })

  it('in a browser: no buttons until the copy is switched on; switched on, it fills for the signed-in account', async () => {
    const { copy, asked } = copyFor(false)
    await copy.afterIdentity({ allowed: true, scope: 'acc-master' })
    const w = mount(ReferenceSection, { props: { copy } })
    await flushPromises()
    expect(w.find('[data-test="reference-sync"]').exists()).toBe(false)
    expect(asked).toEqual([])

    await w.get('[data-test="reference-opt-in"]').setValue(true)
    await vi.waitFor(() => expect(status(w)).toMatch(/обновлен только что$/))
    expect(w.find('[data-test="reference-sync"]').exists()).toBe(true)

    await w.get('[data-test="reference-opt-in"]').setValue(false)
    await vi.waitFor(() => expect(w.find('[data-test="reference-sync"]').exists()).toBe(false))
    expect(status(w)).toBe('Справочник еще не загружен — нажмите «Обновить справочник»')
    w.unmount()
  })
})
