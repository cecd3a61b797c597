/**
 * A page with the real camera reader for the browser tests. `?feed=canvas`
 * hands the reader, through getUserMedia, a stream captured from a canvas that
 * shows a test frame (for engines with no camera); otherwise the browser's own
 * (fake) camera is used.
 */
import { createApp, h } from 'vue'
import CameraReader from '@ui/documents/scanner/camera/CameraReader.vue'
import { SOUND_NAMES, soundUrl } from '@ui/documents/feedback/sounds'

interface TestWindow {
  __scans: string[]
  __showFrame(name: string): Promise<void>
  __soundDurations(): Promise<Record<string, number>>
}
const w = window as unknown as Window & TestWindow
w.__scans = []

async function loadFrame(name: string): Promise<ImageData> {
  const res = await fetch(`/frames/${name}`)
  const width = Number(res.headers.get('x-width'))
  const height = Number(res.headers.get('x-height'))
  return new ImageData(new Uint8ClampedArray(await res.arrayBuffer()), width, height)
}

function installCanvasCamera(first: string) {
  const canvas = document.createElement('canvas')
  const ctx = canvas.getContext('2d')!
  let frame: ImageData | undefined
  const paint = () => {
    if (frame) ctx.putImageData(frame, 0, 0)
  }
  w.__showFrame = async (name) => {
    frame = await loadFrame(name)
    canvas.width = frame.width
    canvas.height = frame.height
    paint()
  }
  // A captured canvas only sends frames when it is drawn.
  setInterval(paint, 50)
  const ready = w.__showFrame(first)
  const devices = navigator.mediaDevices
  devices.getUserMedia = async () => {
    await ready
    return canvas.captureStream(15)
  }
  devices.enumerateDevices = async () =>
    [{ deviceId: 'canvas', groupId: 'canvas', kind: 'videoinput', label: 'Canvas back camera', toJSON: () => ({}) }] as MediaDeviceInfo[]
}

w.__soundDurations = async () => {
  const ctx = new AudioContext()
  const out: Record<string, number> = {}
  for (const name of SOUND_NAMES) {
    const bytes = await (await fetch(soundUrl(name))).arrayBuffer()
    out[name] = (await ctx.decodeAudioData(bytes)).duration
  }
  return out
}

const params = new URLSearchParams(location.search)
if (params.get('feed') === 'canvas') installCanvasCamera(params.get('frame') ?? 'ean13')

createApp({
  render: () =>
    h(CameraReader, {
      onScan: (code: string) => {
        w.__scans.push(code)
        document.body.dataset.scans = String(w.__scans.length)
      },
    }),
}).mount('#app')
