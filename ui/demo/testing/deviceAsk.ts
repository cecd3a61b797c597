/** Tests only: commands sent straight to a backend as a signed-in device of a sample user. */
import type { Payload } from '../../core/envelope'
import type { MemoryBackend } from '../backend'

/** Opens a session for `userId` and answers the first reply of each command. */
export function deviceAsk(backend: MemoryBackend, userId: string): (c: string, p?: Payload) => Payload {
  const identity = backend.authenticate(backend.openSession(userId).token)
  if ('error' in identity) throw new Error(identity.error)
  const conn = backend.attach(identity, () => {})
  return (c, p = {}) => backend.handle(conn, c, p)[0]!.p
}
