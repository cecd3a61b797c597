/**
 * The camera reader's work without its view: open the camera, prepare a
 * decoder at the same time, then decode frames — at most one every 120 ms and
 * never while the previous one is still being decoded — and hand out codes.
 * In the manual capture mode frames are decoded only for a short while after
 * the user presses the button.
 */
import { isBackCamera, lensLabel, pickCamera, rememberCamera, rememberedCamera, usableCameras } from './cameraChoice'
import {
  cameraErrorText,
  CameraError,
  FIRST_OPEN_LIMIT_MS,
  isMissingDevice,
  LOW_RESOLUTION_WIDTH,
  NEXT_OPEN_LIMIT_MS,
  requestStream,
  startVideo,
  stopStream,
  WAIT_HINT_AFTER_MS,
  type MediaDevicesLike,
} from './cameraStream'
import { CAMERA_TEXTS } from './cameraTexts'
import { decodeFrame, type DecoderKind, type FrameDecoder } from './decoders'
import type { BarcodeFormatName } from './formats'
import type { Frame } from './frames'
import { createReadGate } from './readGate'

export const FRAME_INTERVAL_MS = 120
export const MANUAL_CAPTURE_MS = 3500
/** Decoder failures in a row before reading is given up. */
const DECODER_FAILURE_LIMIT = 3

export type CaptureMode = 'auto' | 'manual'

export interface CameraLens {
  deviceId: string
  label: string
}

export interface CameraState {
  phase: 'idle' | 'opening' | 'running' | 'error'
  /** The failure text (phase "error"). */
  error: string
  /** A notice over the picture: waiting, low resolution, aim-and-press, not recognised, switch failed. */
  hint: string
  lenses: CameraLens[]
  activeDeviceId: string
  torch: 'none' | 'off' | 'on'
  /** The manual capture window is open. */
  capturing: boolean
  decoder: DecoderKind | ''
  /** The last outcome shown over the picture. */
  result: { ok: boolean; text: string } | null
}

export interface CameraControllerOptions {
  video: HTMLVideoElement
  formats: readonly BarcodeFormatName[]
  captureMode: CaptureMode
  stayOpen: boolean
  compact: boolean
  /** The caller shows outcomes itself (through reportResult). */
  manualFeedback: boolean
  onCode(code: string): void
  onChange(state: CameraState): void
  /** The shutter sound of the manual capture. */
  onShutter?(): void
  media: MediaDevicesLike | undefined
  policyAllows(): boolean
  makeDecoder(formats: readonly BarcodeFormatName[]): Promise<FrameDecoder>
  grabFrame(video: HTMLVideoElement): Frame | null
  log?(line: string): void
}

export interface CameraController {
  readonly state: CameraState
  start(): Promise<void>
  stop(): void
  capture(): void
  switchTo(deviceId: string): Promise<void>
  toggleTorch(): Promise<void>
  reportResult(ok: boolean, text: string): void
}

/** Cut to 20 characters for the accepted-code notice. */
export function shownCode(code: string): string {
  return code.length > 20 ? `${code.slice(0, 20)}…` : code
}

export function createCameraController(o: CameraControllerOptions): CameraController {
  const log = o.log ?? ((line: string) => console.warn(line))
  const state: CameraState = {
    phase: 'idle',
    error: '',
    hint: '',
    lenses: [],
    activeDeviceId: '',
    torch: 'none',
    capturing: false,
    decoder: '',
    result: null,
  }
  const changed = () => o.onChange({ ...state, lenses: [...state.lenses] })
  const gate = createReadGate({ stayOpen: o.stayOpen, compact: o.compact })

  let stream: MediaStream | undefined
  let decoder: FrameDecoder | undefined
  let opened = false // a stream was opened once: later opens have the shorter limit
  let alive = false
  let busy = false
  let lastFrameAt = -Infinity
  let failures = 0
  let frameTimer: ReturnType<typeof setTimeout> | undefined
  let captureTimer: ReturnType<typeof setTimeout> | undefined
  let resultTimer: ReturnType<typeof setTimeout> | undefined

  const fail = (text: string) => {
    state.phase = 'error'
    state.error = text
    state.hint = ''
    stopStream(stream)
    stream = undefined
    clearTimeout(frameTimer)
    changed()
  }

  const track = () => stream?.getVideoTracks()[0]

  async function open(deviceId: string | undefined): Promise<MediaStream> {
    const limit = opened ? NEXT_OPEN_LIMIT_MS : FIRST_OPEN_LIMIT_MS
    const s = await requestStream(o.media!, deviceId, limit)
    opened = true
    return s
  }

  async function attach(s: MediaStream) {
    stream = s
    await startVideo(o.video, s)
    const settings = track()?.getSettings?.() ?? {}
    state.activeDeviceId = settings.deviceId ?? ''
    if (state.activeDeviceId) rememberCamera(state.activeDeviceId)
    const width = o.video.videoWidth || settings.width || 0
    state.hint = width > 0 && width < LOW_RESOLUTION_WIDTH ? CAMERA_TEXTS.lowResolution : ''
    const caps = (track()?.getCapabilities?.() ?? {}) as { torch?: boolean }
    state.torch = caps.torch ? 'off' : 'none'
  }

  async function listLenses() {
    try {
      const cameras = usableCameras(await o.media!.enumerateDevices())
      state.lenses = cameras.map((c, i) => ({ deviceId: c.deviceId, label: lensLabel(c, i) }))
      return cameras
    } catch {
      return []
    }
  }

  function scheduleFrame() {
    clearTimeout(frameTimer)
    if (!alive || state.phase !== 'running' || !decoder) return
    if (o.captureMode === 'manual' && !state.capturing) return
    const wait = Math.max(0, lastFrameAt + FRAME_INTERVAL_MS - Date.now())
    frameTimer = setTimeout(() => void readFrame(), wait)
  }

  async function readFrame() {
    if (busy || !decoder || !alive) return
    if (o.captureMode === 'manual' && !state.capturing) return
    busy = true
    lastFrameAt = Date.now()
    let found: string | undefined
    try {
      const frame = o.grabFrame(o.video)
      if (frame) {
        const r = await decodeFrame(decoder, frame)
        if (r?.text) found = r.text
      }
      failures = 0
    } catch (err) {
      failures++
      log(`[камера] ошибка распознавания: ${err instanceof Error ? err.message : String(err)}`)
      if (failures >= DECODER_FAILURE_LIMIT) {
        busy = false
        return fail(CAMERA_TEXTS.decodingUnavailable)
      }
    }
    busy = false
    if (found !== undefined && alive) deliver(found)
    scheduleFrame()
  }

  function deliver(code: string) {
    if (!gate.pass(code)) return
    if (state.capturing) {
      state.capturing = false
      clearTimeout(captureTimer)
      state.hint = CAMERA_TEXTS.aimAndPress
    }
    if (!o.manualFeedback) showResult(true, shownCode(code))
    else changed()
    o.onCode(code)
  }

  function showResult(ok: boolean, text: string) {
    state.result = { ok, text }
    clearTimeout(resultTimer)
    resultTimer = setTimeout(() => {
      state.result = null
      changed()
    }, 2500)
    changed()
  }

  return {
    get state() {
      return state
    },

    async start() {
      if (alive) return
      alive = true
      Object.assign(state, { phase: 'opening', error: '', hint: '', result: null })
      changed()
      if (!o.media?.getUserMedia) return fail(CAMERA_TEXTS.unsupported)
      if (!o.policyAllows()) return fail(CAMERA_TEXTS.policy)

      const decoderReady = o.makeDecoder(o.formats).then(
        (d) => d,
        (err: unknown) => {
          log(`[камера] распознавание не подготовлено: ${err instanceof Error ? err.message : String(err)}`)
          return undefined
        },
      )
      const waitHint = setTimeout(() => {
        if (state.phase === 'opening') {
          state.hint = CAMERA_TEXTS.waiting
          changed()
        }
      }, WAIT_HINT_AFTER_MS)

      try {
        let chosen = rememberedCamera()
        let s: MediaStream
        try {
          s = await open(chosen)
        } catch (err) {
          if (!chosen || !isMissingDevice(err)) throw err
          chosen = undefined // the remembered camera is gone
          s = await open(undefined)
        }
        if (!alive) return stopStream(s)
        const cameras = await listLenses()
        // The browser's choice may be the front camera; take a back one when there is one.
        const label = s.getVideoTracks()[0]?.label ?? ''
        const better = chosen ? undefined : pickCamera(cameras)
        if (better && !isBackCamera(label) && better.deviceId !== s.getVideoTracks()[0]?.getSettings?.().deviceId) {
          stopStream(s)
          s = await open(better.deviceId)
          if (!alive) return stopStream(s)
        }
        await attach(s)
        if (!state.lenses.length) await listLenses()
      } catch (err) {
        clearTimeout(waitHint)
        if (alive) fail(cameraErrorText(err))
        return
      }
      clearTimeout(waitHint)

      decoder = await decoderReady
      if (!alive) return
      if (!decoder) return fail(CAMERA_TEXTS.decoderFailed)
      state.decoder = decoder.kind
      state.phase = 'running'
      if (o.captureMode === 'manual' && !state.hint) state.hint = CAMERA_TEXTS.aimAndPress
      changed()
      scheduleFrame()
    },

    stop() {
      alive = false
      clearTimeout(frameTimer)
      clearTimeout(captureTimer)
      clearTimeout(resultTimer)
      stopStream(stream)
      stream = undefined
      o.video.srcObject = null
      state.phase = 'idle'
      state.capturing = false
      changed()
    },

    capture() {
      if (state.phase !== 'running' || state.capturing) return
      o.onShutter?.()
      state.capturing = true
      state.hint = ''
      changed()
      captureTimer = setTimeout(() => {
        if (!state.capturing) return
        clearTimeout(frameTimer)
        state.capturing = false
        state.hint = CAMERA_TEXTS.notRecognised
        changed()
      }, MANUAL_CAPTURE_MS)
      scheduleFrame()
    },

    async switchTo(deviceId) {
      if (!alive || deviceId === state.activeDeviceId || !o.media) return
      const previous = state.activeDeviceId
      clearTimeout(frameTimer)
      stopStream(stream)
      stream = undefined
      try {
        await attach(await open(deviceId))
      } catch (err) {
        log(`[камера] не удалось переключить камеру: ${err instanceof Error ? err.message : String(err)}`)
        try {
          await attach(await open(previous || undefined))
          state.hint = CAMERA_TEXTS.switchFailed
        } catch (again) {
          return fail(cameraErrorText(again instanceof CameraError ? again : err))
        }
      }
      changed()
      scheduleFrame()
    },

    async toggleTorch() {
      const t = track()
      if (!t || state.torch === 'none') return
      const on = state.torch !== 'on'
      try {
        await t.applyConstraints({ advanced: [{ torch: on } as MediaTrackConstraintSet] })
        state.torch = on ? 'on' : 'off'
      } catch {
        state.torch = 'none'
      }
      changed()
    },

    reportResult(ok, text) {
      showResult(ok, text)
    },
  }
}

/** Draws the current video picture into a canvas and reads its pixels. */
export function videoFrameGrabber(): (video: HTMLVideoElement) => Frame | null {
  let canvas: HTMLCanvasElement | undefined
  let ctx: CanvasRenderingContext2D | null = null
  return (video) => {
    const w = video.videoWidth
    const h = video.videoHeight
    if (!w || !h) return null
    if (!canvas) {
      canvas = document.createElement('canvas')
      ctx = canvas.getContext('2d', { willReadFrequently: true })
    }
    if (!ctx) return null
    if (canvas.width !== w || canvas.height !== h) {
      canvas.width = w
      canvas.height = h
    }
    ctx.drawImage(video, 0, 0, w, h)
    return ctx.getImageData(0, 0, w, h)
  }
}
