/**
 * Synthesised tones: sine oscillators at 440 × 2^(semitone/12) Hz with a short
 * rise and an exponential decay, for sounds that need no file (the welcome
 * chime after a quick login, the shutter click of the camera).
 */
import type { AudioContextLike } from './audio'

export interface Tone {
  semitone: number
  /** Start, after the first tone. */
  atMs: number
  durationMs: number
  /** Peak gain. */
  level: number
  /** Rise time; by default min(20 ms, duration / 4). */
  riseMs?: number
}

export function toneFrequency(semitone: number): number {
  return 440 * 2 ** (semitone / 12)
}

/** Rise over min(20 ms, duration/4) (unless given), decay over max(30 ms, duration − rise). */
export function toneEnvelope(durationMs: number, riseMs?: number): { riseMs: number; decayMs: number } {
  const rise = riseMs ?? Math.min(20, durationMs / 4)
  return { riseMs: rise, decayMs: Math.max(30, durationMs - rise) }
}

// An exponential ramp cannot reach zero; this is silence for the ear.
const FLOOR = 0.0001

/** Schedules the tones on `ctx` from its current time. */
export function playTones(ctx: AudioContextLike, tones: readonly Tone[]): void {
  const t0 = ctx.currentTime
  for (const tone of tones) {
    const { riseMs, decayMs } = toneEnvelope(tone.durationMs, tone.riseMs)
    const start = t0 + tone.atMs / 1000
    const peakAt = start + riseMs / 1000
    const end = peakAt + decayMs / 1000
    const osc = ctx.createOscillator()
    osc.type = 'sine'
    osc.frequency.setValueAtTime(toneFrequency(tone.semitone), start)
    const gain = ctx.createGain()
    if (tone.level > 0) {
      gain.gain.setValueAtTime(FLOOR, start)
      gain.gain.linearRampToValueAtTime(tone.level, peakAt)
      gain.gain.exponentialRampToValueAtTime(FLOOR, end)
    } else {
      // Volume 0 still plays, silently: the ramps would not accept a zero peak.
      gain.gain.setValueAtTime(0, start)
    }
    osc.connect(gain)
    gain.connect(ctx.destination)
    osc.start(start)
    osc.stop(end + 0.01)
  }
}

/** The welcome chime after a quick login: three rising notes. */
export function welcomeChime(volume: number): Tone[] {
  const level = volume * 0.22
  return [-9, -5, 0].map((semitone, i) => ({ semitone, atMs: i * 90, durationMs: 920, riseMs: 20, level }))
}

/** The shutter click when the camera takes a still: two short high notes. */
export function shutterClick(volume: number): Tone[] {
  const level = volume * 0.18
  return [12, 7].map((semitone, i) => ({ semitone, atMs: i * 50, durationMs: 30, level }))
}
