// Codes read back from printed pages: the first page of a PDF from the capture
// queue is rendered to grey pixels with poppler's pdftoppm and its Code 128
// decoded with the ZXing reader the app itself ships.
import { execFileSync } from 'node:child_process'
import { BarcodeFormat, BinaryBitmap, DecodeHintType, HybridBinarizer, MultiFormatReader, RGBLuminanceSource } from '@zxing/library'

/** The grey pixels of a binary PGM ("P5", 8 bits) as pdftoppm writes it. */
function readPgm(pgm: Buffer): { width: number; height: number; grey: Uint8ClampedArray } {
  const fields: string[] = []
  let at = 0
  while (fields.length < 4) {
    while (at < pgm.length && /\s/.test(String.fromCharCode(pgm[at]!))) at++
    if (pgm[at] === 0x23) {
      while (at < pgm.length && pgm[at] !== 0x0a) at++
      continue
    }
    const start = at
    while (at < pgm.length && !/\s/.test(String.fromCharCode(pgm[at]!))) at++
    fields.push(pgm.subarray(start, at).toString('latin1'))
  }
  if (fields[0] !== 'P5' || fields[3] !== '255') throw new Error(`not an 8-bit PGM: ${fields.join(' ')}`)
  const width = Number(fields[1])
  const height = Number(fields[2])
  const grey = new Uint8ClampedArray(pgm.subarray(at + 1, at + 1 + width * height))
  return { width, height, grey }
}

/** The text of the Code 128 on the first page of `pdfFile`. */
export function decodeCode128(pdfFile: string): string {
  const { width, height, grey } = readPgm(execFileSync('pdftoppm', ['-f', '1', '-l', '1', '-gray', '-r', '300', pdfFile]))
  const reader = new MultiFormatReader()
  const hints = new Map<DecodeHintType, unknown>([
    [DecodeHintType.POSSIBLE_FORMATS, [BarcodeFormat.CODE_128]],
    [DecodeHintType.TRY_HARDER, true],
  ])
  reader.setHints(hints)
  return reader.decode(new BinaryBitmap(new HybridBinarizer(new RGBLuminanceSource(grey, width, height)))).getText()
}
