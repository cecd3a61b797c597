/**
 * Camera frames as RGBA pixel arrays, and the attempts made on a frame: the
 * frame itself (halved and more when its long side is over 1280 pixels), turned
 * by 90°, 270°, 180° for a decoder that does not turn frames itself, then the
 * middle half at full resolution (as it is and turned by 90°) for small codes.
 * Every attempt is at most a 1280-pixel picture: a frame with no code costs a
 * fraction of what the full frame in every orientation would.
 */

/** RGBA pixels, row by row (the shape of ImageData). */
export interface Frame {
  readonly data: Uint8ClampedArray
  readonly width: number
  readonly height: number
}

export type Turn = 90 | 180 | 270

/** The frame turned clockwise by `turn` degrees. */
export function rotateFrame(f: Frame, turn: Turn): Frame {
  const { width: w, height: h } = f
  const aligned = f.data.byteOffset % 4 === 0 ? f.data : f.data.slice()
  const src = new Uint32Array(aligned.buffer, aligned.byteOffset, w * h)
  const ow = turn === 180 ? w : h
  const oh = turn === 180 ? h : w
  const out = new Uint8ClampedArray(w * h * 4)
  const dst = new Uint32Array(out.buffer)
  for (let y = 0; y < h; y++) {
    for (let x = 0; x < w; x++) {
      let nx: number
      let ny: number
      if (turn === 90) {
        nx = h - 1 - y
        ny = x
      } else if (turn === 270) {
        nx = y
        ny = w - 1 - x
      } else {
        nx = w - 1 - x
        ny = h - 1 - y
      }
      dst[ny * ow + nx] = src[y * w + x]!
    }
  }
  return { data: out, width: ow, height: oh }
}

/** The middle `fraction` of the frame in both directions. */
export function cropCentre(f: Frame, fraction = 0.9): Frame {
  const cw = Math.max(1, Math.round(f.width * fraction))
  const ch = Math.max(1, Math.round(f.height * fraction))
  const left = Math.floor((f.width - cw) / 2)
  const top = Math.floor((f.height - ch) / 2)
  const out = new Uint8ClampedArray(cw * ch * 4)
  for (let y = 0; y < ch; y++) {
    const from = ((top + y) * f.width + left) * 4
    out.set(f.data.subarray(from, from + cw * 4), y * cw * 4)
  }
  return { data: out, width: cw, height: ch }
}

/** The frame made smaller by a whole factor so its long side is at most `maxSide`, averaging each block. */
export function downscale(f: Frame, maxSide: number): Frame {
  const k = Math.ceil(Math.max(f.width, f.height) / maxSide)
  if (k <= 1) return f
  const ow = Math.max(1, Math.floor(f.width / k))
  const oh = Math.max(1, Math.floor(f.height / k))
  const out = new Uint8ClampedArray(ow * oh * 4)
  const area = k * k
  const src = f.data
  for (let y = 0; y < oh; y++) {
    for (let x = 0; x < ow; x++) {
      let r = 0
      let g = 0
      let b = 0
      for (let dy = 0; dy < k; dy++) {
        let p = ((y * k + dy) * f.width + x * k) * 4
        for (let dx = 0; dx < k; dx++, p += 4) {
          r += src[p]!
          g += src[p + 1]!
          b += src[p + 2]!
        }
      }
      const o = (y * ow + x) * 4
      out[o] = r / area
      out[o + 1] = g / area
      out[o + 2] = b / area
      out[o + 3] = 255
    }
  }
  return { data: out, width: ow, height: oh }
}

/** The long side of any one attempt, in pixels. */
export const ATTEMPT_MAX_SIDE = 1280
/** The part of the frame's middle looked at in full detail. */
export const DETAIL_FRACTION = 0.5

/**
 * The attempts for one frame, made lazily in order. A decoder that already
 * searches every orientation itself gets only the unturned ones.
 */
export function* frameAttempts(f: Frame, decoderRotates: boolean): Generator<Frame> {
  const whole = downscale(f, ATTEMPT_MAX_SIDE)
  yield whole
  if (!decoderRotates) {
    yield rotateFrame(whole, 90)
    yield rotateFrame(whole, 270)
    yield rotateFrame(whole, 180)
  }
  const detail = downscale(cropCentre(f, DETAIL_FRACTION), ATTEMPT_MAX_SIDE)
  yield detail
  if (!decoderRotates) yield rotateFrame(detail, 90)
}
