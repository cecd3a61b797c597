import { describe, expect, it } from 'vitest'
import { createFeedback } from '../../documents/feedback/feedback'
import { fileNameFetch, RecordingAudioContext } from '../../documents/feedback/recordingAudio'
import { toneFrequency } from '../../documents/feedback/tones'
import { cellOpenedCue, targetSetCue } from './cues'

describe("the placement screen's cues through the page's sound player", () => {
  it.each([
    ['a cell opened', cellOpenedCue, [[-12, 0], [-5, 0.17], [-5, 0.29], [-5, 0.41]], 0.22],
    ['a move target set', targetSetCue, [[-2, 0], [-2, 0.11]], 0.26],
  ] as const)('%s: its notes at their starts, at the level of the volume', (_, cue, notes, factor) => {
    const ctx = new RecordingAudioContext()
    const fb = createFeedback({ settings: () => ({ enabled: true, volume: 0.5 }), createContext: () => ctx.asContext(), fetchBytes: fileNameFetch([], new Set()) })
    fb.playTones(cue)
    const t0 = ctx.played[0]?.startAt ?? 0
    expect(ctx.played.map((p) => [p.what, Math.round((p.startAt - t0) * 100) / 100])).toEqual(notes.map(([s, at]) => [toneFrequency(s), at]))
    expect(cue(0.5).every((t) => t.level === 0.5 * factor)).toBe(true)
  })

  it('nothing plays with the sound off', () => {
    const ctx = new RecordingAudioContext()
    const fb = createFeedback({ settings: () => ({ enabled: false, volume: 1 }), createContext: () => ctx.asContext() })
    fb.playTones(cellOpenedCue)
    expect(ctx.played).toEqual([])
  })
})
