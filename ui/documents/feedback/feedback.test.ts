import { afterEach, describe, expect, it, vi } from 'vitest'
import { installFakeBridge, removeFakeBridge } from '../../core/testing/fakeBridge'
import type { SoundSettings } from './audio'
import { createFeedback, unlockAudioOnFirstPress } from './feedback'
import { fileNameFetch, RecordingAudioContext } from './recordingAudio'
import { toneEnvelope, toneFrequency } from './tones'

function setup(sound: SoundSettings, broken = new Set<string>()) {
  const ctx = new RecordingAudioContext()
  const urls: string[] = []
  const lines: string[] = []
  let made = 0
  const settings = { ...sound }
  const fb = createFeedback({
    settings: () => settings,
    createContext: () => {
      made++
      return ctx.asContext()
    },
    fetchBytes: fileNameFetch(urls, broken),
    log: (l) => lines.push(l),
  })
  return { fb, ctx, urls, lines, settings, contexts: () => made }
}

afterEach(() => {
  vi.useRealTimers()
  removeFakeBridge()
})

describe('scan sounds', () => {
  it('each operation plays its file through a gain of the volume', async () => {
    const { fb, ctx, urls } = setup({ enabled: true, volume: 0.5 })
    await fb.playSuccess()
    await fb.playChecked()
    await fb.playError()
    await fb.playTooMuch()
    expect(ctx.played.map((p) => [p.what, p.gain.value])).toEqual([
      ['successSound', 0.5],
      ['checkedSound', 0.5],
      ['errorSound', 0.5],
      ['tooMuchSound', 0.5],
    ])
    expect(urls).toEqual([
      '/assets/sounds/successSound.mp3',
      '/assets/sounds/checkedSound.mp3',
      '/assets/sounds/errorSound.mp3',
      '/assets/sounds/tooMuchSound.mp3',
    ])
  })

  it('with sound off nothing is played, not even loaded; tones neither', async () => {
    const { fb, ctx, urls, contexts } = setup({ enabled: false, volume: 0.8 })
    await fb.playSuccess()
    await fb.playError()
    fb.playWelcomeChime()
    fb.playShutterClick()
    expect(ctx.played).toEqual([])
    expect(urls).toEqual([])
    expect(contexts()).toBe(0)
  })

  it('with volume 0 the sounds and tones still play, at zero gain', async () => {
    const { fb, ctx } = setup({ enabled: true, volume: 0 })
    await fb.playTooMuch()
    fb.playShutterClick()
    expect(ctx.played).toHaveLength(3)
    expect(ctx.played[0]!.gain.value).toBe(0)
    for (const tone of ctx.played.slice(1)) expect(tone.gain.events).toEqual([['set', 0, expect.any(Number)]])
  })

  it.each([
    [1.7, 1],
    [-0.3, 0],
    [Number.NaN, 0.8],
  ])('volume %s plays at gain %s', async (volume, gain) => {
    const { fb, ctx } = setup({ enabled: true, volume })
    await fb.playChecked()
    expect(ctx.played[0]!.gain.value).toBe(gain)
  })

  it('one context, each file fetched and decoded once; unlock resumes and reports how many loaded', async () => {
    const { fb, ctx, urls, lines, contexts } = setup({ enabled: true, volume: 1 }, new Set(['errorSound']))
    await Promise.all([fb.playSuccess(), fb.playSuccess()])
    await fb.unlock()
    await fb.unlock()
    await fb.playSuccess()
    expect(contexts()).toBe(1)
    expect(ctx.state).toBe('running')
    expect(urls.filter((u) => u.endsWith('successSound.mp3'))).toHaveLength(1)
    expect(ctx.played.filter((p) => p.what === 'successSound')).toHaveLength(3)
    expect(lines).toContain('[звук] загружено звуков: 3 из 4')
    expect(lines.some((l) => l.includes('errorSound'))).toBe(true)
    // A file that failed is tried again when it is played.
    await fb.playError()
    expect(urls.filter((u) => u.endsWith('errorSound.mp3'))).toHaveLength(2)
  })

  it('sound turned off while a file loads stays silent', async () => {
    const { fb, ctx, settings } = setup({ enabled: true, volume: 1 })
    const pending = fb.playSuccess()
    settings.enabled = false
    await pending
    expect(ctx.played).toEqual([])
  })

  it('the first pointer press unlocks audio, once', async () => {
    const { fb, ctx } = setup({ enabled: true, volume: 1 })
    let unlocks = 0
    const counted = { ...fb, unlock: () => (unlocks++, fb.unlock()) }
    const target = new EventTarget()
    unlockAudioOnFirstPress(target, counted)
    target.dispatchEvent(new Event('pointerdown'))
    target.dispatchEvent(new Event('pointerdown'))
    await fb.unlock()
    expect(unlocks).toBe(1)
    expect(ctx.resumes).toBe(1)
    expect(ctx.decoded.sort()).toEqual(['checkedSound', 'errorSound', 'successSound', 'tooMuchSound'])
  })
})

describe('synthesised tones', () => {
  it('the welcome chime: semitones −9, −5, 0 at 0, 90, 180 ms, level volume × 0.22, 20 ms rise, 0.9 s decay', () => {
    const { fb, ctx } = setup({ enabled: true, volume: 0.5 })
    fb.playWelcomeChime()
    const t0 = ctx.currentTime
    expect(ctx.played.map((p) => [p.what, +(p.startAt - t0).toFixed(3)])).toEqual([
      [toneFrequency(-9), 0],
      [toneFrequency(-5), 0.09],
      [toneFrequency(0), 0.18],
    ])
    const [set, rise, decay] = ctx.played[0]!.gain.events
    expect(set![1]).toBeLessThan(0.001)
    expect(rise![0]).toBe('linear')
    expect(rise![1]).toBeCloseTo(0.11)
    expect(rise![2] - t0).toBeCloseTo(0.02)
    expect(decay![0]).toBe('exp')
    expect(decay![2] - rise![2]).toBeCloseTo(0.9)
  })

  it('the shutter click: semitones 12 and 7, 30 ms each, 50 ms apart, level volume × 0.18', () => {
    const { fb, ctx } = setup({ enabled: true, volume: 1 })
    fb.playShutterClick()
    expect(ctx.played.map((p) => p.what)).toEqual([880, toneFrequency(7)])
    expect(ctx.played[1]!.startAt - ctx.played[0]!.startAt).toBeCloseTo(0.05)
    expect(ctx.played[0]!.gain.events[1]![1]).toBeCloseTo(0.18)
  })

  it.each([
    [30, 7.5, 30],
    [200, 20, 180],
    [920, 20, 900],
  ])('a %s ms tone rises over %s ms and decays over %s ms', (duration, rise, decay) => {
    expect(toneEnvelope(duration)).toEqual({ riseMs: rise, decayMs: decay })
  })
})

describe('vibration', () => {
  it('asks the host for the patterns and ignores its refusal', async () => {
    vi.useFakeTimers()
    const { calls } = installFakeBridge(() => {
      throw new Error('haptics are not available on the desktop')
    })
    const { fb } = setup({ enabled: true, volume: 1 })
    await fb.impactMedium()
    await fb.notifyError()
    await fb.notifyWarning()
    const triple = fb.tripleLight()
    await vi.advanceTimersByTimeAsync(200)
    await triple
    expect(calls.map((c) => [c.cmd, c.args])).toEqual([
      ['plugin:haptics|impact_feedback', { style: 'medium' }],
      ['plugin:haptics|notification_feedback', { type: 'error' }],
      ['plugin:haptics|notification_feedback', { type: 'warning' }],
      ['plugin:haptics|impact_feedback', { style: 'light' }],
      ['plugin:haptics|impact_feedback', { style: 'light' }],
      ['plugin:haptics|impact_feedback', { style: 'light' }],
    ])
  })
})
