/**
 * Barcode pictures for tests: EAN-13 drawn by a small encoder here, Data
 * Matrix from bwip-js (a dev dependency), both rendered as camera frames.
 * Only tests import this file.
 */
import bwipjs from 'bwip-js/generic'
import type { Frame } from './frames'

const L_CODES = ['0001101', '0011001', '0010011', '0111101', '0100011', '0110001', '0101111', '0111011', '0110111', '0001011']
const PARITY = ['LLLLLL', 'LLGLGG', 'LLGGLG', 'LLGGGL', 'LGLLGG', 'LGGLLG', 'LGGGLL', 'LGLGLG', 'LGLGGL', 'LGGLGL']
const invert = (bits: string) => [...bits].map((b) => (b === '1' ? '0' : '1')).join('')
const R_CODES = /*#__PURE__*/ L_CODES.map(invert)
const G_CODES = /*#__PURE__*/ R_CODES.map((c) => [...c].reverse().join(''))

/** The check digit of the first 12 digits. */
export function ean13CheckDigit(first12: string): number {
  const sum = [...first12].reduce((s, d, i) => s + Number(d) * (i % 2 === 0 ? 1 : 3), 0)
  return (10 - (sum % 10)) % 10
}

/** The 95 modules of an EAN-13 symbol ('1' = bar) for a 12- or 13-digit code. */
export function ean13Modules(code: string): string {
  if (!/^\d{12,13}$/.test(code)) throw new Error(`not an EAN-13: ${code}`)
  const digits = code.length === 12 ? code + ean13CheckDigit(code) : code
  const parity = PARITY[Number(digits[0])]!
  let out = '101'
  for (let i = 1; i <= 6; i++) {
    const d = Number(digits[i])
    out += parity[i - 1] === 'L' ? L_CODES[d]! : G_CODES[d]!
  }
  out += '01010'
  for (let i = 7; i <= 12; i++) out += R_CODES[Number(digits[i])]!
  return out + '101'
}

/** A module grid: rows of booleans, true = dark. */
export type Modules = boolean[][]

export function ean13Grid(code: string, rows = 60): Modules {
  const line = [...ean13Modules(code)].map((b) => b === '1')
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
