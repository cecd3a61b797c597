/**
 * A test's scenarios backend: the in-memory backend with one employee signed
 * in, his account description in the account holder, and the scenarios'
 * channel (commands and pushes) answered by that backend.
 */
import { createPinia, setActivePinia } from 'pinia'
import { useAccountStore } from '../../core/accountStore'
import type { Payload } from '../../core/envelope'
import { refusalFrom } from '../../core/requests'
import { installMemoryStorage, type MemoryStorage } from '../../core/testing/memoryStorage'
import { createBackend, demoSigner, type MemoryBackend } from '../../demo'
import { useScenariosChannel, type ScenariosChannel } from '../scenariosChannel'

export interface ScenariosKit {
  backend: MemoryBackend
  storage: MemoryStorage
  sent: Array<{ c: string; p: Payload }>
  /** asks the backend as the signed-in employee, past the client */
  ask(c: string, p?: Payload): Payload
  end(): void
}

export function scenariosKit(userId: string, backend: MemoryBackend = createBackend({ sign: demoSigner })): ScenariosKit {
  const storage = installMemoryStorage()
  setActivePinia(createPinia())
  const identity = backend.authenticate(backend.openSession(userId).token)
  if ('error' in identity) throw new Error(identity.error)
  const listeners = new Map<string, Set<(p: Payload) => void>>()
  const conn = backend.attach(identity, (c, p) => listeners.get(c)?.forEach((h) => h(p)))
  const sent: ScenariosKit['sent'] = []
  const ask = (c: string, p: Payload = {}) => backend.handle(conn, c, p)[0]?.p ?? {}
  const channel: ScenariosChannel = {
    async command(name, payload) {
      sent.push({ c: name, p: payload })
      const answer = ask(name, payload)
      const refusal = refusalFrom(answer)
      if (refusal) throw refusal
      return answer
    },
    onPush(name, handler) {
      let set = listeners.get(name)
      if (!set) listeners.set(name, (set = new Set()))
      set.add(handler)
      return () => set.delete(handler)
    },
  }
  useScenariosChannel(channel)
  useAccountStore().apply(ask('deviceWhoAmI'))
  return {
    backend,
    storage,
    sent,
    ask,
    end() {
      useScenariosChannel()
      backend.detach(conn)
    },
  }
}
