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
