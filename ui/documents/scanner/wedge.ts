/**
 * The keyboard-wedge buffer: a hardware scanner types a code as fast
 * keystrokes. Every change restarts a short quiet timer; when it fires (or on
 * Enter) the buffer becomes one scan. No Vue here: the component feeds keys and
 * field changes in and clears its field when told.
 */
import { cleanScannedCode, GS, isGroupSeparatorKey, type KeyLike } from './symbology'

export const WEDGE_QUIET_MS = 150

export interface WedgeOptions {
  /** One cleaned, non-empty code. */
  onCode(code: string): void
  /** The buffer was taken: clear the field and give it the focus again. */
  onTaken?(): void
  /** The wedge added a group separator to the field's text: show `value` in the field. */
  showBuffer?(value: string): void
  quietMs?: number
}

export interface Wedge {
  /** The field now holds `value` (an input event). */
  fieldChanged(value: string): void
  /** A key pressed in the field; true when the wedge consumed it (the caller prevents its default). */
  fieldKey(e: KeyLike): boolean
  /** A key typed with the focus elsewhere (document-level capture); true when consumed. */
  strayKey(e: KeyLike & { altKey?: boolean; metaKey?: boolean }): boolean
  /** Takes the buffer now. */
  flush(): void
  readonly buffer: string
  dispose(): void
}

export function createWedge(options: WedgeOptions): Wedge {
  const quietMs = options.quietMs ?? WEDGE_QUIET_MS
  let buffer = ''
  let timer: ReturnType<typeof setTimeout> | undefined

  const stopTimer = () => {
    if (timer !== undefined) clearTimeout(timer)
    timer = undefined
  }
  const restartTimer = () => {
    stopTimer()
    timer = setTimeout(flush, quietMs)
  }
  function flush() {
    stopTimer()
    const code = cleanScannedCode(buffer)
    buffer = ''
    options.onTaken?.()
    if (code) options.onCode(code)
  }

  return {
    get buffer() {
      return buffer
    },
    fieldChanged(value) {
      if (value === buffer) return
      buffer = value
      restartTimer()
    },
    fieldKey(e) {
      // A separator only ever follows data; Tab on an empty field is plain navigation.
      if (isGroupSeparatorKey(e) && buffer !== '') {
        buffer += GS
        options.showBuffer?.(buffer)
        restartTimer()
        return true
      }
      if (e.key === 'Enter') {
        flush()
        return true
      }
      return false
    },
    strayKey(e) {
      if (isGroupSeparatorKey(e) && buffer !== '') {
        buffer += GS
        restartTimer()
        return true
      }
      if (e.ctrlKey || e.altKey || e.metaKey) return false
      if (e.key === 'Enter') {
        // Through the quiet timer: the last characters may still be on their way.
        if (buffer) restartTimer()
        return buffer !== ''
      }
      if (e.key.length === 1) {
        buffer += e.key
        restartTimer()
        return true
      }
      return false
    },
    flush,
    dispose: stopTimer,
  }
}
