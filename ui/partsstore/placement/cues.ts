/** The placement screen's short cues, synthesised: a cell opened, a move target set. */
import type { Tone } from '../../documents/feedback/tones'

/** A cell opened for work: a low note, then three at a fourth below the pitch. */
export function cellOpenedCue(volume: number): Tone[] {
  const level = volume * 0.22
  return [
    { semitone: -12, atMs: 0, durationMs: 160, level },
    { semitone: -5, atMs: 170, durationMs: 100, level },
    { semitone: -5, atMs: 290, durationMs: 100, level },
    { semitone: -5, atMs: 410, durationMs: 180, level },
  ]
}

/** The target of a group move set: two short notes. */
export function targetSetCue(volume: number): Tone[] {
  const level = volume * 0.26
  return [0, 110].map((atMs) => ({ semitone: -2, atMs, durationMs: 70, level }))
}
