/**
 * The ticked cells and products of a screen, kept in the tab's session storage
 * so that a reload keeps the selection. Unreadable values count as none; a
 * full storage only loses the memory.
 */
const PREFIX = 'zv_parts.ticked.'

export function recallTicked(storage: Storage | undefined, kind: 'cell' | 'product'): Set<number> {
  try {
    const raw: unknown = JSON.parse(storage?.getItem(PREFIX + kind) ?? '[]')
    return new Set(Array.isArray(raw) ? raw.filter((x): x is number => typeof x === 'number' && Number.isInteger(x)) : [])
  } catch {
    return new Set()
  }
}

export function rememberTicked(storage: Storage | undefined, kind: 'cell' | 'product', ids: ReadonlySet<number>): void {
  try {
    if (ids.size === 0) storage?.removeItem(PREFIX + kind)
    else storage?.setItem(PREFIX + kind, JSON.stringify([...ids]))
  } catch {
    // a full storage: the selection is only not remembered
  }
}

/** Whether a key press belongs to a text field (shortcuts leave those alone). */
export function typingInto(target: EventTarget | null): boolean {
  const el = target as HTMLElement | null
  if (!el || typeof el.tagName !== 'string') return false
  return el.tagName === 'INPUT' || el.tagName === 'TEXTAREA' || el.tagName === 'SELECT' || el.isContentEditable === true
}
