/**
 * The send queue's copy in a host file (see ../../core/durableCopy): a
 * completion queued just before the app is killed (or a delivered one just
 * removed) comes back right. "Saved on the device" is said only once the copy
 * holds the entry.
 */
import { watch } from 'vue'
import { getActivePinia } from 'pinia'
import { writeAppLog } from '../../core/appLog'
import { isDesktopHost } from '../../core/bridge'
import { createDurableCopy, type CopyFile, type RestoreOutcome } from '../../core/durableCopy'
import { HostStore } from '../../core/hostStore'
import { readLocal, writeLocal } from '../../core/localStore'
import { SEND_QUEUE_KEY } from '../../core/sendQueue'
import { useSendQueueStore } from '../../core/sendQueueStore'
import { useSocketStore } from '../../core/socketStore'

export const QUEUE_FILE = 'send-queue.dat'
export const QUEUE_FILE_KEY = 'entries'

/** The part of a host store the copy needs. */
export type QueueFile = CopyFile

export interface DurableQueueDeps {
  /** the host file; rejects when there is none */
  open(): Promise<QueueFile>
  /** the queue as local storage holds it (raw) */
  readLocal(): unknown
  writeLocal(entries: unknown[]): boolean
  log(line: string): void
}

export type { RestoreOutcome }

export function createDurableQueue(deps: DurableQueueDeps) {
  return createDurableCopy<unknown[]>({
    ...deps,
    key: QUEUE_FILE_KEY,
    empty: [],
    accepts: (value): value is unknown[] => Array.isArray(value),
    texts: {
      notOpened: '[sendQueue] файл копии очереди не открылся:',
      notRead: '[sendQueue] копия очереди не прочитана:',
      notWritten: '[sendQueue] копия очереди не записана:',
    },
  })
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
