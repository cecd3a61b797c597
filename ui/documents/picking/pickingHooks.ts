/**
 * Where later parts plug into the picking screen without touching it:
 * completion (the screen offers `canFinish` and calls `onFinish` when the
 * finish button is pressed or auto-completion fires) and the device's copy of
 * the product reference (asked before the server about a code that is not in
 * the document).
 */
import type { FinishRequest, PickingSession } from './pickingSession'
import type { LocalReference } from './unknownCodeHelp'

export const pickingHooks: {
  onFinish: ((session: PickingSession, request: FinishRequest) => void) | null
  localReference: (() => LocalReference | null) | null
} = { onFinish: null, localReference: null }
