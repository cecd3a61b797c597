/** Which elements own the keys typed into them, so scanner capture leaves them alone. */

const EDITABLE_TAGS = new Set(['INPUT', 'TEXTAREA', 'SELECT', 'BUTTON'])
const INTERACTIVE_TAGS = new Set([...EDITABLE_TAGS, 'A', 'SUMMARY'])
const INTERACTIVE_ROLES = new Set(['button', 'link', 'menuitem', 'option', 'tab', 'checkbox', 'switch', 'radio'])

function asElement(target: EventTarget | null): Element | null {
  return target instanceof Element ? target : null
}

function isContentEditable(el: Element): boolean {
  return el instanceof HTMLElement && (el.isContentEditable || el.getAttribute('contenteditable') === 'true')
}

/** Inputs, text areas, selects, buttons and editable elements: type-anywhere does not steal their keys. */
export function isTypingTarget(target: EventTarget | null): boolean {
  const el = asElement(target)
  if (!el) return false
  return EDITABLE_TAGS.has(el.tagName) || isContentEditable(el)
}

/**
 * Everything a user works with by keyboard: the typing targets plus links,
 * summaries and elements with an interactive role. Keys typed there are not
 * scanner input, and losing the focus to them is not a reason to take it back.
 */
export function isInteractiveTarget(target: EventTarget | null): boolean {
  const el = asElement(target)
  if (!el) return false
  if (INTERACTIVE_TAGS.has(el.tagName) || isContentEditable(el)) return true
  const role = el.getAttribute('role')
  return role !== null && INTERACTIVE_ROLES.has(role.trim().toLowerCase())
}

const NON_TEXT_INPUTS = new Set(['button', 'submit', 'reset', 'checkbox', 'radio', 'range', 'color', 'file', 'image', 'hidden'])

/** A field a person types text into (or picks from with keys): its keys are that person's. */
export function isTextEntry(target: EventTarget | null): boolean {
  const el = asElement(target)
  if (!el) return false
  if (el instanceof HTMLInputElement) return !NON_TEXT_INPUTS.has(el.type) && !el.readOnly
  return el.tagName === 'TEXTAREA' || el.tagName === 'SELECT' || isContentEditable(el)
}

const FOCUSABLE = 'a[href], button, input, select, textarea, summary, [tabindex], [contenteditable="true"]'

/** Moves the focus as Tab (or Shift+Tab) does, in document order among what can take it. */
export function focusStep(back: boolean, root: Document = document): void {
  const all = [...root.querySelectorAll<HTMLElement>(FOCUSABLE)].filter(
    (el) => el.tabIndex >= 0 && !(el as HTMLButtonElement).disabled && el.getClientRects().length > 0 && el.dataset.test !== 'scanner-wedge',
  )
  if (all.length === 0) return
  const at = all.indexOf(root.activeElement as HTMLElement)
  const next = at < 0 ? (back ? all.length - 1 : 0) : (at + (back ? -1 : 1) + all.length) % all.length
  all[next]!.focus()
}
