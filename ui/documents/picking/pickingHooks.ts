/**
 * Where document completion plugs into the picking screen. The screen offers
 * `canFinish` and calls `onFinish` when the finish button is pressed or
 * auto-completion fires; completion installs its handler here.
 */
import type { FinishRequest, PickingSession } from './pickingSession'

export const pickingHooks: {
  onFinish: ((session: PickingSession, request: FinishRequest) => void) | null
} = { onFinish: null }
