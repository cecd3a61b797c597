/**
 * A stand-in for the Web Audio context (the test page has none) that records
 * what is played: every started source with its gain and start time. Only
 * tests import this file.
 */
import type { AudioContextLike } from './audio'

export interface Played {
  kind: 'buffer' | 'tone'
  /** The decoded file (buffer sources) or the frequency (tones). */
  what: string | number
  startAt: number
  /** Gain automation as [method, value, time] plus the plain value. */
  gain: { value: number; events: Array<[string, number, number]> }
}

class RecordingParam {
  value = 1
  events: Array<[string, number, number]> = []
  setValueAtTime(v: number, t: number) {
    this.events.push(['set', v, t])
    return this
  }
  linearRampToValueAtTime(v: number, t: number) {
    this.events.push(['linear', v, t])
    return this
  }
  exponentialRampToValueAtTime(v: number, t: number) {
    if (v <= 0) throw new RangeError('exponential ramp to a non-positive value')
    this.events.push(['exp', v, t])
    return this
  }
}

class Node {
  outputs: Node[] = []
  connect(to: Node) {
    this.outputs.push(to)
    return to
  }
}

export class RecordingAudioContext {
  state: AudioContextState = 'suspended'
  currentTime = 10
  readonly destination = new Node()
  readonly played: Played[] = []
  resumes = 0
  decoded: string[] = []

  resume() {
    this.resumes++
    this.state = 'running'
    return Promise.resolve()
  }

  createGain() {
    const node = new Node() as Node & { gain: RecordingParam }
    node.gain = new RecordingParam()
    return node
  }

  createOscillator() {
    const ctx = this
    const osc = new Node() as Node & { type: string; frequency: RecordingParam; start(t: number): void; stop(t: number): void }
    osc.type = 'sine'
    osc.frequency = new RecordingParam()
    osc.start = (t: number) => ctx.record('tone', osc.frequency.events[0]?.[1] ?? 0, t, osc)
    osc.stop = () => {}
    return osc
  }

  createBufferSource() {
    const ctx = this
    const src = new Node() as Node & { buffer: { name: string } | null; start(t?: number): void }
    src.buffer = null
    src.start = (t = ctx.currentTime) => ctx.record('buffer', src.buffer?.name ?? '?', t, src)
    return src
  }

  decodeAudioData(bytes: ArrayBuffer) {
    const name = new TextDecoder().decode(bytes)
    if (name.startsWith('broken')) return Promise.reject(new Error('cannot decode'))
    this.decoded.push(name)
    return Promise.resolve({ name })
  }

  private record(kind: Played['kind'], what: string | number, startAt: number, source: Node) {
    const gainNode = source.outputs[0] as (Node & { gain: RecordingParam }) | undefined
    if (!gainNode || !gainNode.outputs.includes(this.destination)) throw new Error('source not wired through a gain to the output')
    this.played.push({ kind, what, startAt, gain: { value: gainNode.gain.value, events: gainNode.gain.events } })
  }

  /** As the feedback modules see it. */
  asContext(): AudioContextLike {
    return this as unknown as AudioContextLike
  }
}

/** A fetch for the sound files: the body is the file's name, so the recording shows which file played. */
export function fileNameFetch(urls: string[] = [], broken = new Set<string>()) {
  return async (url: string) => {
    urls.push(url)
    const name = url.split('/').pop()!.replace('.mp3', '')
    return new TextEncoder().encode(broken.has(name) ? `broken-${name}` : name).buffer as ArrayBuffer
  }
}
