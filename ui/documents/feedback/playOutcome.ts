/** The sound and vibration of a scan's outcome, played through the page's feedback. */
import type { OutcomeSound, OutcomeVibration } from '../picking/scanOutcome'

export interface OutcomeFeedback {
  playSuccess(): Promise<void>
  playChecked(): Promise<void>
  playError(): Promise<void>
  playTooMuch(): Promise<void>
  impactMedium(): Promise<void>
  notifyError(): Promise<void>
  notifyWarning(): Promise<void>
}

/** Starts both at once; a failure to play is nobody's business but the speaker's. */
export function playOutcome(f: OutcomeFeedback, sound: OutcomeSound | null, vibrate: OutcomeVibration | null): void {
  const run = (p: Promise<void>) => void p.catch(() => {})
  if (vibrate === 'success') run(f.impactMedium())
  else if (vibrate === 'warning') run(f.notifyWarning())
  else if (vibrate === 'error') run(f.notifyError())
  if (sound === 'success') run(f.playSuccess())
  else if (sound === 'checked') run(f.playChecked())
  else if (sound === 'tooMuch') run(f.playTooMuch())
  else if (sound === 'error') run(f.playError())
}
