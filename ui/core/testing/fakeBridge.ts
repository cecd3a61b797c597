/**
 * The host's injected bridge object for unit tests: every command goes to
 * `answer` (whose throw or rejection is the host's refusal), every call is
 * kept in order, and `emit` hands a message to the callbacks the page
 * registered, as the host does for its events.
 */
import type { HostArgs } from '../bridge'

export type HostAnswer = (cmd: string, args: HostArgs) => unknown

export interface FakeBridge {
  /** what the page asked, in order; `at` is the clock when it asked (fake timers move it) */
  readonly calls: Array<{ cmd: string; args: HostArgs; at: number }>
  emit(message: unknown): void
}

let madeWindow = false

/** Puts a fake bridge in place of the page's; `desktop` also sets the flag the host's script sets. */
export function installFakeBridge(answer: HostAnswer = () => null, options: { desktop?: boolean } = {}): FakeBridge {
  // Tests in the node environment have no window: the bridge brings a bare one.
  if (typeof window === 'undefined') {
    ;(globalThis as { window?: unknown }).window = {}
    madeWindow = true
  }
  const calls: FakeBridge['calls'] = []
  const callbacks = new Map<number, (message: unknown) => void>()
  let nextId = 1
  window.__ZORVIK__ = {
    invoke: async (cmd, args = {}) => {
      calls.push({ cmd, args, at: Date.now() })
      return answer(cmd, args)
    },
    registerCallback: (fn) => {
      callbacks.set(nextId, fn)
      return nextId++
    },
    unregisterCallback: (id) => void callbacks.delete(id),
  }
  if (options.desktop) window.__ZORVIK_DESKTOP__ = true
  return {
    calls,
    emit: (message) => {
      for (const fn of [...callbacks.values()]) fn(message)
    },
  }
}

/** Takes the fake bridge and the host's flag away again. */
export function removeFakeBridge(): void {
  if (madeWindow) {
    delete (globalThis as { window?: unknown }).window
    madeWindow = false
    return
  }
  if (typeof window === 'undefined') return
  delete window.__ZORVIK__
  delete window.__ZORVIK_DESKTOP__
}
