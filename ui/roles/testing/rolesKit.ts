/**
 * A test's roles backend: the in-memory backend with one employee signed in,
 * his account description in the account holder, and the roles' channel
 * answered by that backend. `fail` makes the next answers of a command a
 * refusal or a lost answer.
 */
import { createPinia, setActivePinia } from 'pinia'
import { useAccountStore } from '../../core/accountStore'
import type { Payload } from '../../core/envelope'
import { refusalFrom } from '../../core/requests'
import { installMemoryStorage, type MemoryStorage } from '../../core/testing/memoryStorage'
import { createBackend, demoSigner, type MemoryBackend } from '../../demo'
import { useRolesChannel, type RolesChannel } from '../rolesChannel'

export interface RolesKit {
  backend: MemoryBackend
  storage: MemoryStorage
  sent: Array<{ c: string; p: Payload }>
  /** the next `times` answers of `c`: the payload given (a refusal), or no answer at all ("timeout") */
  fail(c: string, answer: Payload | 'timeout', times?: number): void
  /** asks the backend as the signed-in employee, past the client */
  ask(c: string, p?: Payload): Payload
  end(): void
}

export function rolesKit(userId: string, backend: MemoryBackend = createBackend({ sign: demoSigner })): RolesKit {
  const storage = installMemoryStorage()
  setActivePinia(createPinia())
  const identity = backend.authenticate(backend.openSession(userId).token)
  if ('error' in identity) throw new Error(identity.error)
  const conn = backend.attach(identity, () => {})
  const sent: RolesKit['sent'] = []
  const failures = new Map<string, Array<Payload | 'timeout'>>()
  const ask = (c: string, p: Payload = {}) => backend.handle(conn, c, p)[0]?.p ?? {}
  const channel: RolesChannel = {
    async command(name, payload, _timeoutMs, accept) {
      sent.push({ c: name, p: payload })
      const scripted = failures.get(name)?.shift()
      if (scripted === 'timeout') throw new Error('timeout')
      const answer = scripted ?? ask(name, payload)
      if (accept && !accept(answer)) throw new Error('timeout')
      const refusal = refusalFrom(answer)
      if (refusal) throw refusal
      return answer
    },
    async collectedShipments() {
      sent.push({ c: 'getDocumentList', p: { type: 'shipment', stage: ['collected'], maxPages: 1 } })
      const scripted = failures.get('getDocumentList')?.shift()
      if (scripted === 'timeout') throw new Error('timeout')
      const pages = backend.handle(conn, 'getDocumentList', { type: 'shipment', pages: true, stage: ['collected'], maxPages: 1 })
      const first = pages[0]?.p ?? {}
      return typeof first.total === 'number' ? first.total : Array.isArray(first.items) ? first.items.length : 0
    },
  }
  useRolesChannel(channel)
  useAccountStore().apply(ask('deviceWhoAmI'))
  return {
    backend,
    storage,
    sent,
    fail(c, answer, times = 1) {
      failures.set(c, [...(failures.get(c) ?? []), ...Array.from({ length: times }, () => answer)])
    },
    ask,
    end() {
      useRolesChannel()
      backend.detach(conn)
    },
  }
}
