/**
 * Telling a wedge scanner from a person at the keyboard. A scanner types a
 * whole code as a burst of keys a few milliseconds apart and usually ends it
 * with Enter (some start it with Tab or GS); a person types slowly and uses
 * Enter, Tab and Space to work buttons. Every key of the screen passes
 * through `keyStep` first, wherever the focus is: it answers whether the key
 * is taken (scanner input: the page never sees it) or passed on, and what to
 * do. Pure: the caller supplies the time and the place of the key, and calls
 * `quietStep` when `wake` says.
 */
import { GS, isGroupSeparatorKey } from './symbology'

/** Keys of one burst follow each other at most this far apart. */
export const BURST_GAP_MS = 50
/** Without Enter, a code is taken once the keys stop for this long. */
export const QUIET_MS = 150
/**
 * Once the scanner has shown that it ends its codes with Enter, a pause inside
 * a code (a wireless scanner's hiccup, a busy computer) is waited out this long
 * before the code is taken without its Enter.
 */
export const ENTER_WAIT_MS = 1_000

/**
 * Where the focus is: "free" — nothing that takes text (the page, a button, a
 * tab, the scanner's hidden field); "scan-field" — the scanner's visible field
 * a person may type a code into; "text-field" — any other field, whose keys
 * are the user's own.
 */
export type KeyPlace = 'free' | 'scan-field' | 'text-field'

export interface KeyPress {
  key: string
  code?: string
  ctrlKey?: boolean
  altKey?: boolean
  metaKey?: boolean
  shiftKey?: boolean
}

export interface BurstState {
  /** characters taken for the code on its way */
  buffer: string
  /** when the last key of the buffer (or of the scan field) came */
  lastAt: number
  /** some key of the buffer came slower than a scanner types */
  slow: boolean
  /** a Tab that may start a burst or may be a person's Tab: decided by the next key */
  pendingTab: { at: number; back: boolean } | null
  /** when a person (or a scanner) last typed into the scan field itself */
  fieldAt: number
  /** a burst has ended with Enter: this scanner sends it */
  enterEnds: boolean
}

export type BurstEffect =
  /** a whole code for the scanner */
  | { type: 'code'; code: string }
  /** text a person typed outside any field: it belongs in the scan field */
  | { type: 'typed'; text: string }
  /** a held Tab was a person's: move the focus as Tab would */
  | { type: 'navigate'; back: boolean }
  /** the scan field gets a group separator at its end */
  | { type: 'insert-gs' }

export interface BurstStep {
  state: BurstState
  /** true: the key is scanner input and must not reach the page */
  take: boolean
  effects: BurstEffect[]
  /** call `quietStep` after this many ms (null: nothing waits) */
  wake: number | null
}

export interface BurstOptions {
  /** the scan field holds text (a separator only ever follows data) */
  fieldFilled?: boolean
  /**
   * Slow keys typed outside any field: true — a code all the same (the wedge
   * mode, where nothing else reads keys); false — the person's typing, handed
   * to the scan field.
   */
  slowIsCode?: boolean
}

export function emptyBurst(): BurstState {
  return { buffer: '', lastAt: -Infinity, slow: false, pendingTab: null, fieldAt: -Infinity, enterEnds: false }
}

const MODIFIER_KEYS = new Set(['Shift', 'Control', 'Alt', 'AltGraph', 'Meta', 'CapsLock', 'NumLock', 'Fn', 'OS'])

const isCharacter = (k: KeyPress) => k.key.length === 1 && !k.ctrlKey && !k.altKey && !k.metaKey

/** The buffer as the effect it ends in. */
function finish(s: BurstState, slowIsCode: boolean): BurstEffect[] {
  if (s.buffer === '') return []
  if (s.slow && !slowIsCode) return [{ type: 'typed', text: s.buffer }]
  return [{ type: 'code', code: s.buffer }]
}

const cleared = (s: BurstState): BurstState => ({ ...s, buffer: '', slow: false, pendingTab: null })

/** One key at `at` (ms) typed with the focus at `place`. */
export function keyStep(state: BurstState, k: KeyPress, at: number, place: KeyPlace, o: BurstOptions = {}): BurstStep {
  const slowIsCode = o.slowIsCode ?? true
  if (MODIFIER_KEYS.has(k.key)) return { state, take: false, effects: [], wake: null }

  const effects: BurstEffect[] = []
  // A held Tab is decided by what follows it: a key of a burst makes it the burst's prefix.
  const tabPrefix = state.pendingTab !== null && at - state.pendingTab.at <= BURST_GAP_MS
  if (state.pendingTab && !tabPrefix) effects.push({ type: 'navigate', back: state.pendingTab.back })
  const s: BurstState = { ...state, pendingTab: null }
  const inBurst = s.buffer !== '' && at - s.lastAt <= BURST_GAP_MS
  const fieldBurst = place === 'scan-field' && at - s.fieldAt <= BURST_GAP_MS
  const take = (next: BurstState, more: BurstEffect[] = [], wake: number | null = QUIET_MS): BurstStep => ({
    state: next,
    take: true,
    effects: [...effects, ...more],
    wake,
  })
  const pass = (next: BurstState = s): BurstStep => ({ state: next, take: false, effects, wake: next.buffer ? QUIET_MS : null })

  // A person's own field keeps its keys, unless a burst that began elsewhere is still arriving.
  if (place === 'text-field' && !inBurst) return pass()

  if (isGroupSeparatorKey(k)) {
    if (s.buffer !== '') return take({ ...s, buffer: s.buffer + GS, lastAt: at, slow: s.slow || !inBurst })
    if (place === 'scan-field' && o.fieldFilled) {
      // Inside a code arriving in the scan field: a separator; after a person's typing: plain Tab.
      if (!fieldBurst) return pass()
      return take({ ...s, fieldAt: at }, [{ type: 'insert-gs' }], null)
    }
    // Nothing before it: a leading separator says nothing about the code and is dropped. A Tab
    // is held until the next key shows whether a burst follows it.
    if (k.key === 'Tab' && !tabPrefix) return take({ ...s, pendingTab: { at, back: k.shiftKey === true } }, [], BURST_GAP_MS)
    return take({ ...s, lastAt: at }, [], null)
  }

  if (k.key === 'Enter') {
    // Enter submits: whoever typed the text, it is meant as a code.
    if (s.buffer !== '') return take({ ...cleared(s), enterEnds: true }, finish(s, true), null)
    // Enter right after a held Tab: a burst of nothing.
    if (tabPrefix) return take(s, [], null)
    return pass()
  }

  if (isCharacter(k)) {
    if (s.buffer !== '') return take({ ...s, buffer: s.buffer + k.key, lastAt: at, slow: s.slow || !inBurst })
    if (tabPrefix) return take({ ...s, buffer: k.key, lastAt: at, slow: false })
    if (place === 'scan-field') return pass({ ...s, fieldAt: at })
    // Space works a button; a code never starts with it.
    if (k.key === ' ') return pass()
    return take({ ...s, buffer: k.key, lastAt: at, slow: false })
  }

  return pass()
}

/** Time passed without keys: a held Tab is a person's, a quiet buffer is complete. */
export function quietStep(state: BurstState, at: number, o: BurstOptions = {}): BurstStep {
  const slowIsCode = o.slowIsCode ?? true
  if (state.pendingTab && at - state.pendingTab.at >= BURST_GAP_MS) {
    return { state: { ...state, pendingTab: null }, take: false, effects: [{ type: 'navigate', back: state.pendingTab.back }], wake: null }
  }
  if (state.pendingTab) return { state, take: false, effects: [], wake: BURST_GAP_MS - (at - state.pendingTab.at) }
  if (state.buffer === '') return { state, take: false, effects: [], wake: null }
  const waited = at - state.lastAt
  const quiet = state.enterEnds ? ENTER_WAIT_MS : QUIET_MS
  if (waited < quiet) return { state, take: false, effects: [], wake: quiet - waited }
  // A single key is no burst: a person pressed it.
  const s = state.buffer.length === 1 ? { ...state, slow: true } : state
  return { state: cleared(state), take: false, effects: finish(s, slowIsCode), wake: null }
}
