/**
 * The four scan sounds. One audio context, made lazily; the files are fetched
 * and decoded once and kept for the life of the page. The first press
 * anywhere unlocks the context (a page may not start audio before a gesture).
 */
import { gainOf, type AudioContextLike, type SoundSettings } from './audio'
import { playTones, type Tone } from './tones'

export type SoundName = 'successSound' | 'checkedSound' | 'errorSound' | 'tooMuchSound'

export const SOUND_NAMES: readonly SoundName[] = ['successSound', 'checkedSound', 'errorSound', 'tooMuchSound']

export function soundUrl(name: SoundName): string {
  return `/assets/sounds/${name}.mp3`
}

export interface SoundPlayerOptions {
  settings: () => SoundSettings
  createContext: () => AudioContextLike | undefined
  fetchBytes?: (url: string) => Promise<ArrayBuffer>
  log?: (line: string) => void
}

export interface SoundPlayer {
  /** Resumes a suspended context and loads the four files (once). */
  unlock(): Promise<void>
  /** Plays a file at the current volume; nothing while sound is off. */
  play(name: SoundName): Promise<void>
  /** Plays synthesised tones built for the current volume; nothing while sound is off. */
  playTones(build: (volume: number) => Tone[]): void
}

async function defaultFetch(url: string): Promise<ArrayBuffer> {
  const res = await fetch(url)
  if (!res.ok) throw new Error(`HTTP ${res.status}`)
  return res.arrayBuffer()
}

export function createSoundPlayer(options: SoundPlayerOptions): SoundPlayer {
  const fetchBytes = options.fetchBytes ?? defaultFetch
  const log = options.log ?? ((line: string) => console.info(line))
  let ctx: AudioContextLike | undefined
  let noContext = false
  const buffers = new Map<SoundName, Promise<AudioBuffer | undefined>>()
  let preload: Promise<void> | undefined

  function context(): AudioContextLike | undefined {
    if (!ctx && !noContext) {
      ctx = options.createContext()
      noContext = ctx === undefined
    }
    return ctx
  }

  function resume(c: AudioContextLike) {
    if (c.state !== 'suspended') return
    c.resume().then(
      () => {
        if (c.state === 'suspended') console.warn('[sound] audioCtx остался приостановленным после resume()')
      },
      (err: unknown) => console.warn('[sound] audioCtx.resume() не удался:', err),
    )
  }

  function load(c: AudioContextLike, name: SoundName): Promise<AudioBuffer | undefined> {
    let p = buffers.get(name)
    if (!p) {
      p = fetchBytes(soundUrl(name))
        .then((bytes) => c.decodeAudioData(bytes))
        .catch((err: unknown) => {
          log(`[звук] не удалось загрузить ${name}: ${err instanceof Error ? err.message : String(err)}`)
          buffers.delete(name) // a later play tries again
          return undefined
        })
      buffers.set(name, p)
    }
    return p
  }

  return {
    unlock() {
      const c = context()
      if (!c) return Promise.resolve()
      resume(c)
      preload ??= Promise.all(SOUND_NAMES.map((n) => load(c, n))).then((loaded) => {
        log(`[звук] загружено звуков: ${loaded.filter(Boolean).length} из ${SOUND_NAMES.length}`)
      })
      return preload
    },

    async play(name) {
      if (!options.settings().enabled) return
      const c = context()
      if (!c) return
      resume(c)
      const buffer = await load(c, name)
      // The setting may have changed while the file loaded.
      const now = options.settings()
      if (!buffer || !now.enabled) return
      const source = c.createBufferSource()
      source.buffer = buffer
      const gain = c.createGain()
      gain.gain.value = gainOf(now.volume)
      source.connect(gain)
      gain.connect(c.destination)
      source.start()
    },

    playTones(build) {
      const s = options.settings()
      if (!s.enabled) return
      const c = context()
      if (!c) return
      resume(c)
      playTones(c, build(gainOf(s.volume)))
    },
  }
}
