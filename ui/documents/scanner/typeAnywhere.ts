/**
 * Type-anywhere for screens with one text field (search): a key pressed
 * while nothing editable has the focus goes to that field, so a scanner or a
 * user can start typing without touching it first.
 */
import { isTypingTarget } from './targets'

/** Redirects stray keys to the field `field()` returns (none: keys pass). Returns the removal. */
export function installTypeAnywhere(field: () => HTMLInputElement | HTMLTextAreaElement | null | undefined, target: Document = document): () => void {
  const onKey = (e: KeyboardEvent) => {
    if (e.defaultPrevented || e.ctrlKey || e.altKey || e.metaKey) return
    if (e.key !== 'Enter' && e.key.length !== 1) return
    if (isTypingTarget(e.target)) return
    const el = field()
    if (!el || el.disabled) return
    e.preventDefault()
    if (e.key === 'Enter') {
      el.dispatchEvent(new KeyboardEvent('keyup', { key: 'Enter', code: 'Enter', bubbles: true }))
      return
    }
    el.value += e.key
    el.dispatchEvent(new Event('input', { bubbles: true }))
  }
  target.addEventListener('keydown', onKey)
  return () => target.removeEventListener('keydown', onKey)
}
