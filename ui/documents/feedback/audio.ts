/** The part of the Web Audio API the feedback uses (a test can hand in a recording stand-in). */

export type AudioContextLike = Pick<
  AudioContext,
  'currentTime' | 'destination' | 'state' | 'resume' | 'createGain' | 'createOscillator' | 'createBufferSource' | 'decodeAudioData'
>

/** Sound settings as the settings holder keeps them (group `sound`). */
export interface SoundSettings {
  enabled: boolean
  volume: number
}

export const DEFAULT_VOLUME = 0.8

/** The volume as a gain: clamped to 0…1; a value that is not a number is the default. */
export function gainOf(volume: unknown): number {
  if (typeof volume !== 'number' || Number.isNaN(volume)) return DEFAULT_VOLUME
  return Math.min(1, Math.max(0, volume))
}

/** The page's audio context, or undefined where the page has none. */
export function createPageAudioContext(): AudioContextLike | undefined {
  const Ctor =
    typeof window === 'undefined'
      ? undefined
      : (window.AudioContext ?? (window as unknown as { webkitAudioContext?: typeof AudioContext }).webkitAudioContext)
  if (!Ctor) return undefined
  try {
    return new Ctor()
  } catch {
    return undefined
  }
}
