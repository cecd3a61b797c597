/**
 * Does our registration still name a printer of this computer? A queue that
 * was renamed, reinstalled (the system adds "_1" or "(копия 1)" to the name)
 * or replaced leaves the registration naming a printer that is no more, and
 * every label sent to it would fail. Pure: the printers come from the caller.
 */
import type { Registration } from './registryView'

export interface SystemPrinter {
  name: string
  /** the name the system shows, when it differs from the queue's */
  displayName?: string
}

export type FollowUp =
  /** nothing to do: not registered, the printers unknown, or ours is there */
  | { kind: 'keep' }
  /** the registration moves to `name`: the same printer under a new name, or the printer chosen here */
  | { kind: 'move'; name: string; reason: 'renamed' | 'chosen' }
  /** ours is gone and nothing here can take its place: the print settings say so */
  | { kind: 'gone' }

/** A queue's name without the suffix a reinstall adds ("raw_1", "raw-2", "Zebra (копия 1)"), for comparing. */
export function queueBase(name: string): string {
  return name
    .trim()
    .replace(/(?:[ _-]+\d+|\s*\([^)]*\))$/u, '')
    .toLowerCase()
    .replace(/[\s_-]+/gu, ' ')
}

export function registrationFollowUp(registered: Registration | null, printers: readonly SystemPrinter[] | null, chosen: string | null): FollowUp {
  if (!registered || !printers || registered.name.trim() === '') return { kind: 'keep' }
  const ours = registered.name
  if (printers.some((p) => p.name === ours)) return { kind: 'keep' }
  const base = queueBase(ours)
  const same = printers.filter((p) => p.displayName === ours || queueBase(p.name) === base || (p.displayName !== undefined && queueBase(p.displayName) === base))
  if (same.length === 1) return { kind: 'move', name: same[0]!.name, reason: 'renamed' }
  if (chosen && printers.some((p) => p.name === chosen)) return { kind: 'move', name: chosen, reason: 'chosen' }
  return { kind: 'gone' }
}
