/** Barcode formats the camera reader looks for, by the names the page's native detector uses. */

export type BarcodeFormatName = 'ean_13' | 'ean_8' | 'code_128' | 'code_39' | 'qr_code' | 'data_matrix'

export const DEFAULT_FORMATS: readonly BarcodeFormatName[] = ['ean_13', 'ean_8', 'code_128', 'code_39', 'qr_code', 'data_matrix']

/** The same formats as the WebAssembly reader names them. */
export const WASM_FORMAT_NAMES: Record<BarcodeFormatName, string> = {
  ean_13: 'EAN13',
  ean_8: 'EAN8',
  code_128: 'Code128',
  code_39: 'Code39',
  qr_code: 'QRCode',
  data_matrix: 'DataMatrix',
}

/** Maps a decoder's own format name back to ours (unknown names pass unchanged). */
export function formatFromWasm(name: string): string {
  const hit = (Object.keys(WASM_FORMAT_NAMES) as BarcodeFormatName[]).find((k) => WASM_FORMAT_NAMES[k] === name)
  return hit ?? name
}
