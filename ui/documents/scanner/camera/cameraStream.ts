/**
 * Opening the camera: the stream request with its time limits, and the
 * browser's failures turned into the reader's texts.
 */
import { CAMERA_TEXTS } from './cameraTexts'

export const FIRST_OPEN_LIMIT_MS = 30_000
export const NEXT_OPEN_LIMIT_MS = 10_000
export const WAIT_HINT_AFTER_MS = 4000
export const VIDEO_START_LIMIT_MS = 10_000
export const LOW_RESOLUTION_WIDTH = 1280

export type MediaDevicesLike = Pick<MediaDevices, 'getUserMedia' | 'enumerateDevices'>

/** A failure with the text to show. */
export class CameraError extends Error {
  constructor(readonly text: string, override readonly cause?: unknown) {
    super(text)
  }
}

/** The camera wanted: a given device, or else the back-facing one; Full HD when it can. */
export function videoConstraints(deviceId?: string): MediaStreamConstraints {
  const video: MediaTrackConstraints = { width: { ideal: 1920 }, height: { ideal: 1080 } }
  if (deviceId) video.deviceId = { exact: deviceId }
  else video.facingMode = { ideal: 'environment' }
  return { video, audio: false }
}

function errorName(err: unknown): string {
  return typeof err === 'object' && err !== null && 'name' in err ? String((err as { name: unknown }).name) : ''
}

/** The text for a failed stream request. */
export function cameraErrorText(err: unknown): string {
  if (err instanceof CameraError) return err.text
  switch (errorName(err)) {
    case 'NotAllowedError':
    case 'SecurityError':
    case 'PermissionDeniedError':
      return CAMERA_TEXTS.policy
    case 'NotFoundError':
    case 'OverconstrainedError':
    case 'DevicesNotFoundError':
      return CAMERA_TEXTS.notFound
    case 'NotReadableError':
    case 'TrackStartError':
    case 'AbortError':
      return CAMERA_TEXTS.busy
    case 'TypeError':
      return CAMERA_TEXTS.unsupported
    default:
      return CAMERA_TEXTS.noAnswer
  }
}

/** True when the error says this device is not there (a forgotten camera). */
export function isMissingDevice(err: unknown): boolean {
  const name = errorName(err)
  return name === 'NotFoundError' || name === 'OverconstrainedError'
}

/** False when the page's permissions policy forbids the camera. */
export function policyAllowsCamera(doc: Document = document): boolean {
  const policy =
    (doc as unknown as { permissionsPolicy?: { allowsFeature(f: string): boolean } }).permissionsPolicy ??
    (doc as unknown as { featurePolicy?: { allowsFeature(f: string): boolean } }).featurePolicy
  try {
    return policy ? policy.allowsFeature('camera') : true
  } catch {
    return true
  }
}

export function stopStream(stream: MediaStream | undefined): void {
  for (const t of stream?.getTracks() ?? []) t.stop()
}

/**
 * Requests a stream within `limitMs`; a stream that arrives after the limit is
 * stopped at once so the camera does not stay on unseen.
 */
export function requestStream(media: MediaDevicesLike, deviceId: string | undefined, limitMs: number): Promise<MediaStream> {
  return new Promise<MediaStream>((resolve, reject) => {
    let late = false
    const timer = setTimeout(() => {
      late = true
      reject(new CameraError(CAMERA_TEXTS.noAnswer))
    }, limitMs)
    media.getUserMedia(videoConstraints(deviceId)).then(
      (stream) => {
        if (late) return stopStream(stream)
        clearTimeout(timer)
        resolve(stream)
      },
      (err: unknown) => {
        if (late) return
        clearTimeout(timer)
        reject(err)
      },
    )
  })
}

/** Starts the video element on the stream; rejects with the stalled-video text when no picture comes. */
export function startVideo(video: HTMLVideoElement, stream: MediaStream, limitMs = VIDEO_START_LIMIT_MS): Promise<void> {
  video.muted = true
  video.playsInline = true
  video.setAttribute('playsinline', '')
  video.srcObject = stream
  return new Promise<void>((resolve, reject) => {
    let done = false
    const finish = (ok: boolean) => {
      if (done) return
      done = true
      clearTimeout(timer)
      clearInterval(poll)
      if (ok) resolve()
      else reject(new CameraError(CAMERA_TEXTS.videoStalled))
    }
    const timer = setTimeout(() => finish(false), limitMs)
    const poll = setInterval(() => {
      if (video.videoWidth > 0 && video.readyState >= 2) finish(true)
    }, 50)
    video.play().catch(() => {
      // Some engines reject play() on a stream yet show its frames; the poll decides.
    })
  })
}
