/**
 * A copy of the send queue in a host file. Local storage reaches the disk
 * about a second after a write, so a completion queued just before the app
 * is killed (or a delivered one just removed) would come back wrong; the host
 * writes its files through to the disk before it answers. "Saved on the
 * device" is said only once the copy holds the entry.
 *
 * The copy is the record: it is written after every change of the queue, and
 * at start it replaces what local storage kept when the two differ.
 */
import { watch } from 'vue'
import { getActivePinia } from 'pinia'
import { writeAppLog } from '../../core/appLog'
import { errorText, isDesktopHost } from '../../core/bridge'
import { HostStore } from '../../core/hostStore'
import { readLocal, writeLocal } from '../../core/localStore'
import { SEND_QUEUE_KEY } from '../../core/sendQueue'
import { useSendQueueStore } from '../../core/sendQueueStore'
import { useSocketStore } from '../../core/socketStore'

export const QUEUE_FILE = 'send-queue.dat'
export const QUEUE_FILE_KEY = 'entries'

/** The part of a host store the copy needs. */
export interface QueueFile {
  get<T>(key: string): Promise<T | undefined>
  set(key: string, value: unknown): Promise<void>
  save(): Promise<void>
}

export interface DurableQueueDeps {
  /** the host file; rejects when there is none */
  open(): Promise<QueueFile>
  /** the queue as local storage holds it (raw) */
  readLocal(): unknown
  writeLocal(entries: unknown[]): boolean
  log(line: string): void
}

export type RestoreOutcome = 'restored' | 'same' | 'first' | 'unavailable'

export function createDurableQueue(deps: DurableQueueDeps) {
  let file: QueueFile | null = null
  let written = ''

  const localEntries = (): unknown[] => {
    const raw = deps.readLocal()
    return Array.isArray(raw) ? raw : []
  }

  async function write(): Promise<boolean> {
    if (!file) return false
    const entries = localEntries()
    const text = JSON.stringify(entries)
    if (text === written) return true
    try {
      await file.set(QUEUE_FILE_KEY, entries)
      await file.save()
      written = text
      return true
    } catch (err) {
      deps.log(`[sendQueue] копия очереди не записана: ${errorText(err)}`)
      return false
    }
  }

  /** Local storage takes the copy's entries when they differ; a first start writes the copy. */
  async function restore(): Promise<RestoreOutcome> {
    try {
      file = await deps.open()
    } catch (err) {
      deps.log(`[sendQueue] файл копии очереди не открылся: ${errorText(err)}`)
      return 'unavailable'
    }
    let copy: unknown
    try {
      copy = await file.get<unknown>(QUEUE_FILE_KEY)
    } catch (err) {
      deps.log(`[sendQueue] копия очереди не прочитана: ${errorText(err)}`)
      copy = undefined
    }
    if (!Array.isArray(copy)) {
      await write()
      return 'first'
    }
    written = JSON.stringify(copy)
    if (written === JSON.stringify(localEntries())) return 'same'
    deps.writeLocal(copy)
    return 'restored'
  }

  const ready = restore()
  // Writes go one after another, each with the queue as it is by then.
  let tail: Promise<boolean> = ready.then(() => true)

  /** Writes the queue as it is now; true once the copy holds it. */
  function persist(): Promise<boolean> {
    const run = tail.then(write, write)
    tail = run.catch(() => false)
    return run
  }

  return { ready, persist }
}

export type DurableQueue = ReturnType<typeof createDurableQueue>

let instance: DurableQueue | null = null

/**
 * The copy of this page (desktop app only). Started at boot, before the first
 * connection; then it follows every change of the queue and sends what it
 * brought back once connected.
 */
export function startDurableQueue(): DurableQueue | null {
  if (instance || !isDesktopHost()) return instance
  // Without Pinia the restored copy could never reach the queue screen or be sent: say so instead of doing nothing.
  const pinia = getActivePinia()
  if (!pinia) {
    writeAppLog('очередь: копия на диске не запущена: хранилища еще не созданы')
    return null
  }
  const durable = createDurableQueue({
    open: () => HostStore.load(QUEUE_FILE),
    readLocal: () => readLocal<unknown>(SEND_QUEUE_KEY),
    writeLocal: (entries) => writeLocal(SEND_QUEUE_KEY, entries),
    log: writeAppLog,
  })
  instance = durable
  void durable.ready.then((outcome) => {
    if (outcome === 'unavailable') return
    const queue = useSendQueueStore(pinia)
    const socket = useSocketStore(pinia)
    queue.refresh()
    watch(() => queue.entries, () => void durable.persist())
    if (outcome !== 'restored' || queue.entries.length === 0) return
    // A flush that started before the copy was read worked on the old queue: send again after it.
    const sendWhenFree = () => {
      if (!socket.isConnected) return
      if (!queue.busy) return void queue.flush()
      const stop = watch(() => queue.busy, (busy) => {
        if (busy) return
        stop()
        if (socket.isConnected) void queue.flush()
      })
    }
    sendWhenFree()
  })
  return durable
}

/** Writes the queue through to the disk; true when it is there (or when the page has no host and local storage is all there is). */
export function persistQueue(): Promise<boolean> {
  if (!instance) return Promise.resolve(!isDesktopHost())
  return instance.persist()
}
