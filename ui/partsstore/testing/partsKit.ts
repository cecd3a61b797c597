/**
 * A test's parts store: the in-memory backend with one employee's device
 * signed in, and the parts store's commands answered by it (refusals as
 * RefusalError). `fail` makes a command fail once with a refusal.
 */
import { createPinia, setActivePinia } from 'pinia'
import type { Payload } from '../../core/envelope'
import { refusalFrom } from '../../core/requests'
import { installMemoryStorage, type MemoryStorage } from '../../core/testing/memoryStorage'
import { createBackend, demoSigner, type MemoryBackend } from '../../demo'
import { usePartsChannel } from '../partsStore'

export interface PartsKit {
  backend: MemoryBackend
  storage: MemoryStorage
  /** what the client sent, in order */
  sent: Array<{ c: string; p: Payload }>
  /** asks the backend past the client */
  ask(c: string, p?: Payload): Payload
  /** the next `c` is refused with this record instead of reaching the backend */
  fail(c: string, refusal: Payload): void
  end(): void
}

export function partsKit(userId = 'u-oleg'): PartsKit {
  const storage = installMemoryStorage()
  setActivePinia(createPinia())
  const backend = createBackend({ sign: demoSigner })
  const identity = backend.authenticate(backend.openSession(userId).token)
  if ('error' in identity) throw new Error(identity.error)
  const conn = backend.attach(identity, () => {})
  const ask = (c: string, p: Payload = {}) => backend.handle(conn, c, p)[0]?.p ?? {}
  const sent: PartsKit['sent'] = []
  const failures = new Map<string, Payload>()
  usePartsChannel(async (c, p = {}) => {
    sent.push({ c, p })
    const planned = failures.get(c)
    failures.delete(c)
    const answer = planned ?? ask(c, p)
    const refusal = refusalFrom(answer)
    if (refusal) throw refusal
    return answer
  })
  return {
    backend,
    storage,
    sent,
    ask,
    fail: (c, refusal) => void failures.set(c, refusal),
    end() {
      usePartsChannel()
      backend.detach(conn)
    },
  }
}
