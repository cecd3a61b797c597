/**
 * Feedback for scans: the four sounds, the synthesised tones and the
 * vibrations, behind the operations the screens call. The page uses one
 * instance; `configureFeedback` connects it to the sound settings.
 */
import { createPageAudioContext, DEFAULT_VOLUME, type AudioContextLike, type SoundSettings } from './audio'
import { createSoundPlayer, type SoundName, type SoundPlayer } from './sounds'
import { shutterClick, welcomeChime, type Tone } from './tones'
import { impactMedium, notifyError, notifyWarning, tripleLight } from './vibration'

export interface Feedback {
  playSuccess(): Promise<void>
  playChecked(): Promise<void>
  playError(): Promise<void>
  playTooMuch(): Promise<void>
  playWelcomeChime(): void
  playShutterClick(): void
  /** Synthesised tones built for the current volume (a screen's own short cues). */
  playTones(build: (volume: number) => Tone[]): void
  impactMedium(): Promise<void>
  notifyError(): Promise<void>
  notifyWarning(): Promise<void>
  tripleLight(): Promise<void>
  /** Resume audio and load the sound files (first press, entering the document list). */
  unlock(): Promise<void>
}

export interface FeedbackOptions {
  settings: () => SoundSettings
  createContext?: () => AudioContextLike | undefined
  fetchBytes?: (url: string) => Promise<ArrayBuffer>
  log?: (line: string) => void
}

export function createFeedback(options: FeedbackOptions): Feedback {
  const player: SoundPlayer = createSoundPlayer({
    settings: options.settings,
    createContext: options.createContext ?? createPageAudioContext,
    fetchBytes: options.fetchBytes,
    log: options.log,
  })
  const play = (name: SoundName) => player.play(name)
  return {
    playSuccess: () => play('successSound'),
    playChecked: () => play('checkedSound'),
    playError: () => play('errorSound'),
    playTooMuch: () => play('tooMuchSound'),
    playWelcomeChime: () => player.playTones(welcomeChime),
    playShutterClick: () => player.playTones(shutterClick),
    playTones: (build) => player.playTones(build),
    impactMedium,
    notifyError,
    notifyWarning,
    tripleLight,
    unlock: () => player.unlock(),
  }
}

let soundSettings: () => SoundSettings = () => ({ enabled: true, volume: DEFAULT_VOLUME })

/** The page's instance; it reads the settings through the getter given to `configureFeedback`. */
export const feedback: Feedback = /*#__PURE__*/ createFeedback({ settings: () => soundSettings() })

/** Connects the page's feedback to the settings holder's `sound` group. */
export function configureFeedback(settings: () => SoundSettings): void {
  soundSettings = settings
}

/** Unlocks audio on the first pointer press anywhere; returns the removal (done by itself after the press). */
export function unlockAudioOnFirstPress(target: EventTarget = document, instance: Feedback = feedback): () => void {
  const onPress = () => {
    target.removeEventListener('pointerdown', onPress, true)
    void instance.unlock()
  }
  target.addEventListener('pointerdown', onPress, true)
  return () => target.removeEventListener('pointerdown', onPress, true)
}
