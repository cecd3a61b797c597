import { readFileSync } from 'node:fs'
import { createRequire } from 'node:module'
import { afterEach, describe, expect, it, vi } from 'vitest'
import { CAMERA_DEVICE_KEY } from './cameraChoice'
import { createCameraController, type CameraControllerOptions, type CameraState } from './cameraController'
import { CAMERA_TEXTS } from './cameraTexts'
import { wasmDecoder, type FrameDecoder } from './decoders'
import { DEFAULT_FORMATS } from './formats'
import type { Frame } from './frames'
import { eventually } from '../../../core/testing/eventually'
import { dataMatrixGrid, ean13Grid, renderGrid } from './testBarcodes'

const require = createRequire(import.meta.url)
const wasmBytes = readFileSync(require.resolve('zxing-wasm/reader/zxing_reader.wasm'))
const realDecoder = () =>
  wasmDecoder(DEFAULT_FORMATS, { overrides: { wasmBinary: wasmBytes.buffer.slice(wasmBytes.byteOffset, wasmBytes.byteOffset + wasmBytes.byteLength) } })

afterEach(() => {
  vi.useRealTimers()
  localStorage.clear()
})

/** A camera track as the page sees one. */
class FakeTrack {
  stopped = false
  applied: unknown[] = []
  constructor(readonly label: string, readonly deviceId: string, readonly torch = false) {}
  getSettings() {
    return { deviceId: this.deviceId, width: 1920 }
  }
  getCapabilities() {
    return this.torch ? { torch: true } : {}
  }
  stop() {
    this.stopped = true
  }
  async applyConstraints(c: unknown) {
    this.applied.push(c)
  }
}

interface Camera {
  deviceId: string
  label: string
  torch?: boolean
}

/** The page's media devices with these cameras; the first is what the browser gives without a device id. */
function fakeMedia(cameras: Camera[], fail?: () => unknown) {
  const opened: Array<string | undefined> = []
  const tracks: FakeTrack[] = []
  return {
    opened,
    tracks,
    media: {
      async getUserMedia(c?: MediaStreamConstraints) {
        const wanted = ((c?.video as MediaTrackConstraints).deviceId as { exact: string } | undefined)?.exact
        opened.push(wanted)
        const err = fail?.()
        if (err) throw err
        const cam = wanted === undefined ? cameras[0] : cameras.find((x) => x.deviceId === wanted)
        if (!cam) throw Object.assign(new Error('no such camera'), { name: 'OverconstrainedError' })
        const track = new FakeTrack(cam.label, cam.deviceId, cam.torch)
        tracks.push(track)
        return { getTracks: () => [track], getVideoTracks: () => [track] } as unknown as MediaStream
      },
      async enumerateDevices() {
        return cameras.map((c) => ({ ...c, kind: 'videoinput', groupId: '', toJSON() {} })) as MediaDeviceInfo[]
      },
    },
  }
}

/** A video element that shows a picture of `width` pixels (0: never starts). */
function fakeVideo(width = 1920) {
  return {
    muted: false,
    playsInline: false,
    srcObject: null as unknown,
    videoWidth: width,
    videoHeight: Math.round((width * 9) / 16),
    readyState: width ? 4 : 0,
    setAttribute() {},
    play: async () => {},
  } as unknown as HTMLVideoElement
}

function setup(over: Partial<CameraControllerOptions> & { frames?: () => Frame | null } = {}) {
  const codes: string[] = []
  const states: CameraState[] = []
  const cams = fakeMedia([{ deviceId: 'front', label: 'Front Camera' }, { deviceId: 'back', label: 'Back Camera', torch: true }])
  const c = createCameraController({
    video: fakeVideo(),
    formats: DEFAULT_FORMATS,
    captureMode: 'auto',
    stayOpen: false,
    compact: false,
    manualFeedback: false,
    onCode: (code) => codes.push(code),
    onChange: (s) => states.push(s),
    media: cams.media,
    policyAllows: () => true,
    makeDecoder: realDecoder,
    grabFrame: over.frames ?? (() => null),
    log: () => {},
    ...over,
  })
  return { c, codes, states, cams, last: () => states.at(-1)! }
}

const MARK = '0104600439931256215Nsk2)!\x1d93dGVz'
const markFrame = renderGrid(dataMatrixGrid('(01)04600439931256(21)5Nsk2)!(93)dGVz', true), 960, 540, 8)
const eanFrame = renderGrid(ean13Grid('4600439931256'), 960, 540, 4, 3)

/** Starts under fake timers (the video start is polled). */
async function startFake(c: { start(): Promise<void> }) {
  const started = c.start()
  await vi.advanceTimersByTimeAsync(60)
  await started
}

describe('the camera reader at work', () => {
  it('opens the back camera rather than the one given first, remembers it, and reads codes from the picture', async () => {
    let frame: Frame = markFrame
    const { c, codes, cams, last } = setup({ frames: () => frame })
    await c.start()
    expect(cams.opened).toEqual([undefined, 'back'])
    expect(cams.tracks[0]!.stopped).toBe(true)
    expect(JSON.parse(localStorage.getItem(CAMERA_DEVICE_KEY)!)).toBe('back')
    expect(last()).toMatchObject({ phase: 'running', decoder: 'wasm', torch: 'off', hint: '' })
    expect(last().lenses).toEqual([
      { deviceId: 'front', label: 'Фронтальная' },
      { deviceId: 'back', label: '1×' },
    ])
    await eventually('the first code', () => codes.length === 1, 10_000)
    expect(codes).toEqual([MARK])
    // The accepted code is shown, cut to 20 characters.
    expect(last().result).toEqual({ ok: true, text: `${MARK.slice(0, 20)}…` })
    frame = eanFrame
    await eventually('the second code', () => codes.length === 2, 10_000)
    expect(codes[1]).toBe('4600439931256')
    c.stop()
    expect(cams.tracks.every((t) => t.stopped)).toBe(true)
  }, 20_000)

  it('opens the remembered camera directly; a forgotten one falls back to the browser choice', async () => {
    localStorage.setItem(CAMERA_DEVICE_KEY, JSON.stringify('front'))
    const first = setup()
    await first.c.start()
    expect(first.cams.opened).toEqual(['front'])
    first.c.stop()
    localStorage.setItem(CAMERA_DEVICE_KEY, JSON.stringify('unplugged'))
    const second = setup()
    await second.c.start()
    expect(second.cams.opened).toEqual(['unplugged', undefined, 'back'])
    expect(second.last().phase).toBe('running')
    second.c.stop()
  })

  it('the torch button switches the light', async () => {
    const { c, cams, last } = setup()
    await c.start()
    await c.toggleTorch()
    expect(last().torch).toBe('on')
    await c.toggleTorch()
    expect(last().torch).toBe('off')
    expect(cams.tracks.at(-1)!.applied).toEqual([{ advanced: [{ torch: true }] }, { advanced: [{ torch: false }] }])
    c.stop()
  })
})

describe('what the camera reader says', () => {
  const named = (name: string) => Object.assign(new Error(name), { name })
  it.each<[string, Partial<CameraControllerOptions>, string]>([
    ['no camera access in this browser', { media: undefined }, CAMERA_TEXTS.unsupported],
    ['a page policy without the camera', { policyAllows: () => false }, CAMERA_TEXTS.policy],
    ['access refused', { media: fakeMedia([], () => named('NotAllowedError')).media }, CAMERA_TEXTS.policy],
    ['no camera', { media: fakeMedia([], () => named('NotFoundError')).media }, CAMERA_TEXTS.notFound],
    ['no decoder', { makeDecoder: () => Promise.reject(new Error('no WebAssembly')) }, CAMERA_TEXTS.decoderFailed],
  ])('%s', async (_what, over, text) => {
    const { c, last } = setup(over)
    await c.start()
    expect(last()).toMatchObject({ phase: 'error', error: text })
  })

  it('a camera whose video never starts', async () => {
    vi.useFakeTimers()
    const { c, last } = setup({ video: fakeVideo(0) })
    const started = c.start()
    await vi.advanceTimersByTimeAsync(10_000)
    await started
    expect(last()).toMatchObject({ phase: 'error', error: CAMERA_TEXTS.videoStalled })
  })

  it('asks to confirm access after 4 s and gives up after 30 s', async () => {
    vi.useFakeTimers()
    const never = { getUserMedia: () => new Promise<MediaStream>(() => {}), enumerateDevices: async () => [] }
    const { c, last } = setup({ media: never })
    const started = c.start()
    await vi.advanceTimersByTimeAsync(3999)
    expect(last()).toMatchObject({ phase: 'opening', hint: '' })
    await vi.advanceTimersByTimeAsync(1)
    expect(last()).toMatchObject({ phase: 'opening', hint: CAMERA_TEXTS.waiting })
    await vi.advanceTimersByTimeAsync(26_000)
    await started
    expect(last()).toMatchObject({ phase: 'error', error: CAMERA_TEXTS.noAnswer })
  })

  it('warns about a low resolution', async () => {
    const { c, last } = setup({ video: fakeVideo(640) })
    await c.start()
    expect(last()).toMatchObject({ phase: 'running', hint: CAMERA_TEXTS.lowResolution })
    c.stop()
  })

  it('a decoder that keeps failing makes reading unavailable', async () => {
    vi.useFakeTimers()
    const broken: FrameDecoder = { kind: 'wasm', rotates: true, decode: () => Promise.reject(new Error('memory')) }
    const { c, last } = setup({ makeDecoder: async () => broken, frames: () => markFrame })
    await startFake(c)
    await vi.advanceTimersByTimeAsync(1000)
    expect(last()).toMatchObject({ phase: 'error', error: CAMERA_TEXTS.decodingUnavailable })
  })
})

describe('frame pacing and the manual capture', () => {
  /** A decoder that counts its calls and finds `code` when set. */
  function counting(delayMs = 0) {
    const calls = { frames: 0, running: 0, overlap: false, code: '' }
    const decoder: FrameDecoder = {
      kind: 'wasm',
      rotates: true,
      async decode() {
        calls.running++
        if (calls.running > 1) calls.overlap = true
        if (delayMs) await new Promise((r) => setTimeout(r, delayMs))
        calls.running--
        return calls.code ? { text: calls.code, format: 'ean_13' } : null
      },
    }
    const frames = () => {
      calls.frames++
      return markFrame
    }
    return { calls, decoder, frames }
  }

  it('takes at most one frame every 120 ms and never while a decode runs', async () => {
    vi.useFakeTimers()
    const quick = counting()
    const a = setup({ makeDecoder: async () => quick.decoder, frames: quick.frames })
    await startFake(a.c)
    await vi.advanceTimersByTimeAsync(1200)
    a.c.stop()
    expect(quick.calls.frames).toBeGreaterThanOrEqual(10)
    expect(quick.calls.frames).toBeLessThanOrEqual(11)

    const slow = counting(300)
    const b = setup({ makeDecoder: async () => slow.decoder, frames: slow.frames })
    await startFake(b.c)
    await vi.advanceTimersByTimeAsync(1200)
    b.c.stop()
    expect(slow.calls.overlap).toBe(false)
    expect(slow.calls.frames).toBeLessThanOrEqual(3)
  })

  it('in the manual mode reads only after "Сканировать": shutter, then the code or "not recognised" after 3.5 s', async () => {
    vi.useFakeTimers()
    const d = counting()
    let shutters = 0
    const { c, codes, last } = setup({ captureMode: 'manual', makeDecoder: async () => d.decoder, frames: d.frames, onShutter: () => shutters++ })
    await startFake(c)
    expect(last().hint).toBe(CAMERA_TEXTS.aimAndPress)
    await vi.advanceTimersByTimeAsync(1000)
    expect(d.calls.frames).toBe(0)
    c.capture()
    expect(shutters).toBe(1)
    expect(last().capturing).toBe(true)
    await vi.advanceTimersByTimeAsync(3499)
    expect(last().hint).toBe('')
    await vi.advanceTimersByTimeAsync(1)
    expect(last()).toMatchObject({ capturing: false, hint: CAMERA_TEXTS.notRecognised })
    const framesSoFar = d.calls.frames
    await vi.advanceTimersByTimeAsync(1000)
    expect(d.calls.frames).toBe(framesSoFar)
    d.calls.code = '4600439931256'
    c.capture()
    await vi.advanceTimersByTimeAsync(200)
    expect(codes).toEqual(['4600439931256'])
    expect(last()).toMatchObject({ capturing: false, hint: CAMERA_TEXTS.aimAndPress })
    c.stop()
  })

  it('with manual feedback it shows only what the caller reports', async () => {
    vi.useFakeTimers()
    const d = counting()
    d.calls.code = '4600439931256'
    const { c, codes, last } = setup({ manualFeedback: true, makeDecoder: async () => d.decoder, frames: d.frames })
    await startFake(c)
    await vi.advanceTimersByTimeAsync(200)
    expect(codes).toEqual(['4600439931256'])
    expect(last().result).toBeNull()
    c.reportResult(false, 'Товара нет в документе')
    expect(last().result).toEqual({ ok: false, text: 'Товара нет в документе' })
    c.stop()
  })
})
