/**
 * Barcode pictures for tests: EAN-13 and Data Matrix symbols from bwip-js (a
 * dev dependency), rendered as camera frames. Only tests import this file.
 */
import bwipjs from 'bwip-js/generic'
import type { Frame } from './frames'

/** A module grid: rows of booleans, true = dark. */
export type Modules = boolean[][]

/** An EAN-13 of a 12- or 13-digit code (bwip-js adds or checks the check digit), `rows` high. */
export function ean13Grid(code: string, rows = 60): Modules {
  const [sym] = bwipjs.raw('ean13', code, {}) as Array<{ sbs: number[] }>
  if (!sym) throw new Error('bwip-js gave no symbol')
  // The widths run bar, space, bar, … in modules.
  const line = sym.sbs.flatMap((width, i) => Array<boolean>(width).fill(i % 2 === 0))
  return Array.from({ length: rows }, () => line)
}

/** A Data Matrix; `gs1` encodes "(01)…(21)…" with FNC1 separators as marking codes are. */
export function dataMatrixGrid(text: string, gs1 = false): Modules {
  const [sym] = bwipjs.raw(gs1 ? 'gs1datamatrix' : 'datamatrix', text, {}) as Array<{ pixs: number[]; pixx: number; pixy: number }>
  if (!sym) throw new Error('bwip-js gave no symbol')
  return Array.from({ length: sym.pixy }, (_, y) => Array.from({ length: sym.pixx }, (_, x) => sym.pixs[y * sym.pixx + x] === 1))
}

/**
 * A camera frame of `width` × `height` with the grid drawn in the middle, each
 * module `moduleWidth` × `moduleHeight` pixels, on a light grey background.
 */
export function renderGrid(grid: Modules, width: number, height: number, moduleWidth: number, moduleHeight = moduleWidth): Frame {
  const data = new Uint8ClampedArray(width * height * 4).fill(235)
  const gw = grid[0]!.length * moduleWidth
  const gh = grid.length * moduleHeight
  const left = Math.floor((width - gw) / 2)
  const top = Math.floor((height - gh) / 2)
  for (let y = 0; y < gh; y++) {
    const row = grid[Math.floor(y / moduleHeight)]!
    for (let x = 0; x < gw; x++) {
      const p = ((top + y) * width + left + x) * 4
      const v = row[Math.floor(x / moduleWidth)] ? 20 : 235
      data[p] = v
      data[p + 1] = v
      data[p + 2] = v
    }
  }
  for (let p = 3; p < data.length; p += 4) data[p] = 255
  return { data, width, height }
}
