/**
 * Scans delivered by a data terminal's native bridge: the host dispatches a
 * window event "native-scan" whose detail is the JSON text of the scan
 * intent's extras ({action, ...fields}). Terminals put the code under
 * different field names; the field that worked last time for the same action
 * is remembered and tried first.
 */
import { hostFlagSet } from '@ui/core/bridge'
import { listen } from '@ui/core/events'
import { readLocal, writeLocal } from '@ui/core/localStore'

export const NATIVE_SCAN_EVENT = 'native-scan'
export const NATIVE_SOURCE_KEY = 'zv_native_scanner_source'

/** Field names terminals use for the code, in the order they are tried. */
export const NATIVE_CODE_FIELDS = [
  'barcode_string',
  'EXTRA_BARCODE_DECODING_DATA',
  'com.ubx.datawedge.data_string',
  'data_string',
  'scannerdata',
  'value',
  'SCAN_BARCODE1',
  'code',
  'result',
  'decode_data',
  'scan_data',
  'data',
  'barcode',
] as const

/** The action and field of the event that last carried a code. */
export interface NativeScanSource {
  action: string
  field: string
}

export type NativeScanParse =
  | { ok: true; code: string; source: NativeScanSource }
  | { ok: false; reason: string }

/**
 * A field value that can be a code: a text (or number) other than "null",
 * not a Java byte-array print ("[B@1b6d3586": the terminal sent the array's
 * name instead of its bytes), at least 4 characters long.
 */
export function usableCode(value: unknown): string | undefined {
  if (typeof value !== 'string' && typeof value !== 'number') return undefined
  const text = String(value)
  if (text === 'null' || text.startsWith('[B@') || text.length < 4) return undefined
  return text
}

/** Picks the code out of the event detail (the JSON text of the intent extras). */
export function parseNativeScan(detail: unknown, remembered?: NativeScanSource): NativeScanParse {
  let extras: unknown = detail
  if (typeof detail === 'string') {
    try {
      extras = JSON.parse(detail)
    } catch {
      return { ok: false, reason: 'не JSON' }
    }
  }
  if (typeof extras !== 'object' || extras === null || Array.isArray(extras)) return { ok: false, reason: 'не объект' }
  const fields = extras as Record<string, unknown>
  const action = typeof fields.action === 'string' ? fields.action : ''
  if (remembered && remembered.action === action) {
    const code = usableCode(fields[remembered.field])
    if (code !== undefined) return { ok: true, code, source: remembered }
  }
  for (const field of NATIVE_CODE_FIELDS) {
    const code = usableCode(fields[field])
    if (code !== undefined) return { ok: true, code, source: { action, field } }
  }
  return { ok: false, reason: 'нет поля с кодом' }
}

function rememberedSource(): NativeScanSource | undefined {
  const v = readLocal<unknown>(NATIVE_SOURCE_KEY)
  if (typeof v !== 'object' || v === null) return undefined
  const { action, field } = v as Record<string, unknown>
  return typeof action === 'string' && typeof field === 'string' ? { action, field } : undefined
}

/**
 * Handles one event detail: the code, or undefined after logging why there is
 * none. A source that carried a code is remembered for the next event.
 */
export function takeNativeScan(detail: unknown, log: (line: string) => void = (l) => console.warn(l)): string | undefined {
  const remembered = rememberedSource()
  const parsed = parseNativeScan(detail, remembered)
  if (!parsed.ok) {
    const text = typeof detail === 'string' ? detail : JSON.stringify(detail)
    log(`[scanner] нативное событие без кода (${parsed.reason}): ${String(text).slice(0, 200)}`)
    return undefined
  }
  if (!remembered || remembered.action !== parsed.source.action || remembered.field !== parsed.source.field) {
    writeLocal(NATIVE_SOURCE_KEY, parsed.source)
  }
  return parsed.code
}

/**
 * Calls `onCode` for every native scan until the returned function is called.
 * Listens for the window event and, inside a host, for the host event of the
 * same name; the desktop host never sends either.
 */
export function listenNativeScans(onCode: (code: string) => void, log?: (line: string) => void): () => void {
  const onWindowEvent = (e: Event) => {
    const code = takeNativeScan((e as CustomEvent<unknown>).detail, log)
    if (code !== undefined) onCode(code)
  }
  window.addEventListener(NATIVE_SCAN_EVENT, onWindowEvent)
  let stopped = false
  let unlistenHost: (() => Promise<void>) | undefined
  if (hostFlagSet()) {
    listen<unknown>(NATIVE_SCAN_EVENT, (e) => {
      const code = takeNativeScan(e.payload, log)
      if (code !== undefined) onCode(code)
    })
      .then((undo) => {
        if (stopped) void undo()
        else unlistenHost = undo
      })
      .catch(() => {
        // A host without the event facility: the window event is the only way in.
      })
  }
  return () => {
    stopped = true
    window.removeEventListener(NATIVE_SCAN_EVENT, onWindowEvent)
    void unlistenHost?.()
  }
}
