/**
 * Camera frames as RGBA pixel arrays, and the variants of a frame tried when
 * it does not decode as it is: turned by 90°, 270°, 180°, and a centre crop
 * of 90 % (as it is and turned by 90°) for codes lost against a busy border.
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

/**
 * The attempts for one frame, made lazily in order. A decoder that already
 * searches every orientation itself gets only the unturned ones.
 */
export function* frameAttempts(f: Frame, decoderRotates: boolean): Generator<Frame> {
  yield f
  if (!decoderRotates) {
    yield rotateFrame(f, 90)
    yield rotateFrame(f, 270)
    yield rotateFrame(f, 180)
  }
  const crop = cropCentre(f, 0.9)
  yield crop
  if (!decoderRotates) yield rotateFrame(crop, 90)
}
