/**
 * A list of listeners one part offers and others join. `add` returns the
 * removal, so a listener tied to a screen or a store leaves with it; `run`
 * calls each in turn and keeps going when one throws, so a fault in one
 * listener never stops the part that announced the event.
 */
export interface Hooks<A extends unknown[]> {
  add(hook: (...args: A) => void): () => void
  run(...args: A): void
  readonly size: number
}

export function createHooks<A extends unknown[] = []>(
  name: string,
  report: (name: string, err: unknown) => void = (n, err) => console.error(`[${n}] обработчик упал:`, err),
): Hooks<A> {
  const hooks = new Set<(...args: A) => void>()
  return {
    add(hook) {
      // A wrapper per add: the same function added twice runs twice and is removed once per removal.
      const entry = (...args: A) => hook(...args)
      hooks.add(entry)
      return () => {
        hooks.delete(entry)
      }
    },
    run(...args) {
      // A copy: a listener that removes itself (or adds another) does not disturb this round.
      for (const hook of [...hooks]) {
        try {
          hook(...args)
        } catch (err) {
          report(name, err)
        }
      }
    },
    get size() {
      return hooks.size
    },
  }
}
