import { describe, expect, it } from 'vitest'
import { setActivePinia } from 'pinia'
import { FakePrintHost } from '../../printing/testing/fakePrintHost'
import { createDurableQueue, QUEUE_FILE_KEY, startDurableQueue, type QueueFile } from './durableQueue'

/** A host file kept in memory: what `save` made durable is what survives. */
function memoryFile(initial?: unknown[], opts: { failSaves?: number } = {}) {
  let pending: Record<string, unknown> = initial ? { [QUEUE_FILE_KEY]: initial } : {}
  let saved: Record<string, unknown> = { ...pending }
  let failSaves = opts.failSaves ?? 0
  const file: QueueFile = {
    get: async <T>(key: string) => saved[key] as T | undefined,
    set: async (key, value) => {
      pending = { ...pending, [key]: structuredClone(value) }
    },
    save: async () => {
      if (failSaves > 0) {
        failSaves -= 1
        throw new Error('No space left on device')
      }
      saved = { ...pending }
    },
  }
  return { file, saved: () => saved[QUEUE_FILE_KEY] }
}

function setup(local: unknown, file: QueueFile | Error) {
  const state = { local, log: [] as string[] }
  const durable = createDurableQueue({
    open: async () => {
      if (file instanceof Error) throw file
      return file
    },
    readLocal: () => state.local,
    writeLocal: (entries) => {
      state.local = entries
      return true
    },
    log: (line) => state.log.push(line),
  })
  return { state, durable }
}

const A = { id: 'a-1', documentId: 'a', queuedAt: 1 }
const B = { id: 'b-2', documentId: 'b', queuedAt: 2 }

describe('the queue copy on disk', () => {
  it.each([
    ['local storage lost the last entry queued before the kill', [A], [A, B], 'restored'],
    ['local storage lost the removal of a delivered entry', [A, B], [B], 'restored'],
    ['both agree', [A], [A], 'same'],
  ])('at start the copy wins when %s', async (_name, local, copy, outcome) => {
    const f = memoryFile(copy)
    const { state, durable } = setup(local, f.file)
    expect(await durable.ready).toBe(outcome)
    expect(state.local).toEqual(copy)
  })

  it('a first start writes the copy from local storage; unreadable local storage counts as empty', async () => {
    const f = memoryFile()
    const { durable } = setup([A], f.file)
    expect(await durable.ready).toBe('first')
    expect(f.saved()).toEqual([A])

    const g = memoryFile()
    expect(await setup('garbage', g.file).durable.ready).toBe('first')
    expect(g.saved()).toEqual([])
  })

  it('writes the queue as it is when its turn comes, only after the copy was read', async () => {
    const f = memoryFile([A, B])
    const { state, durable } = setup([A], f.file)
    // Called before the start has read the copy: the stale local queue must not overwrite it.
    const early = durable.persist()
    expect(await early).toBe(true)
    expect(f.saved()).toEqual([A, B])

    state.local = [B]
    const first = durable.persist()
    state.local = []
    const second = durable.persist()
    expect(await first).toBe(true)
    expect(await second).toBe(true)
    expect(f.saved()).toEqual([])
  })

  it('a failed save says so and is logged; the next one succeeds', async () => {
    const f = memoryFile([], { failSaves: 1 })
    const { state, durable } = setup([], f.file)
    await durable.ready
    state.local = [A]
    expect(await durable.persist()).toBe(false)
    expect(state.log).toEqual(['[sendQueue] копия очереди не записана: No space left on device'])
    expect(f.saved()).toEqual([])
    expect(await durable.persist()).toBe(true)
    expect(f.saved()).toEqual([A])
  })

  it('without a host file nothing can be made durable', async () => {
    const { state, durable } = setup([A], new Error('host bridge unavailable: plugin:store|load'))
    expect(await durable.ready).toBe('unavailable')
    expect(await durable.persist()).toBe(false)
    expect(state.local).toEqual([A])
    expect(state.log[0]).toContain('файл копии очереди не открылся')
  })
})

describe('the page copy', () => {
  it('started before the stores exist says so in the app log and starts nothing', () => {
    setActivePinia(undefined)
    const host = new FakePrintHost().install()
    try {
      expect(startDurableQueue()).toBeNull()
      expect(host.calls.filter((c) => c.cmd === 'append_app_log').map((c) => c.args.line)).toEqual([
        'очередь: копия на диске не запущена: хранилища еще не созданы',
      ])
      expect(host.calls.some((c) => c.cmd !== 'append_app_log')).toBe(false)
    } finally {
      FakePrintHost.uninstall()
    }
  })
})
