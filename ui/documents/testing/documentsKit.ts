/**
 * A test's documents backend: the in-memory backend of demonstration mode
 * behind a demonstration channel, put in place of the session's channel.
 * `script` replaces a command's answers for one test.
 */
import { createPinia, setActivePinia } from 'pinia'
import type { Payload } from '../../core/envelope'
import { DemoChannel } from '../../core/demoChannel'
import { useSocketStore } from '../../core/socketStore'
import { installMemoryStorage, type MemoryStorage } from '../../core/testing/memoryStorage'
import { createBackend, demoSigner, type MemoryBackend } from '../../demo'
import { useDocumentsChannel } from '../documentRequests'

export interface DocumentsKit {
  backend: MemoryBackend
  channel: DemoChannel
  storage: MemoryStorage
  /** what the client sent, in order */
  sent: Array<{ c: string; p: Payload }>
  /** answers a command from a list of answers (one per request); the last one repeats */
  script(c: string, answers: Array<(p: Payload) => Payload | Payload[] | null>): void
  end(): void
}

export function documentsKit(): DocumentsKit {
  const storage = installMemoryStorage()
  setActivePinia(createPinia())
  const backend = createBackend({ sign: demoSigner })
  const sent: Array<{ c: string; p: Payload }> = []
  const channel = new DemoChannel(backend)
  const send = channel.send.bind(channel)
  channel.send = (c, p = {}, tag) => {
    sent.push({ c, p })
    send(c, p, tag)
  }
  channel.init()
  useDocumentsChannel(() => channel)
  useSocketStore().setConnected(true)
  return {
    backend,
    channel,
    storage,
    sent,
    script(c, answers) {
      let i = 0
      backend.register(c, (_ctx, p) => answers[Math.min(i++, answers.length - 1)]!(p))
    },
    end() {
      channel.destroy()
      useDocumentsChannel()
    },
  }
}

/** A list record as the server sends it. */
export function listed(id: string, extra: Payload = {}): Payload {
  return { id, type: 'shipment', number: id.replace(/\D/g, '') || id, date: '2026-12-01 10:00:00', counterparty: 'ООО «Ромашка»', warehouse: 'Основной склад', status: 'pending', totalPositions: 2, ...extra }
}

/** One list answer of one page. */
export function page(items: Payload[], extra: Payload = {}): Payload {
  return { items, final: true, offset: 0, ...extra }
}
