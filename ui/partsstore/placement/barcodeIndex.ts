/** This device's index of extra product barcodes: an extra code → the product's internal barcode. */
export const BARCODE_INDEX_KEY = 'radio.productBarcodeIndex.v1'

export function extraBarcodeLookup(storage: Storage): (code: string) => string | undefined {
  return (code) => {
    try {
      const index: unknown = JSON.parse(storage.getItem(BARCODE_INDEX_KEY) ?? 'null')
      if (typeof index !== 'object' || index === null || !Object.hasOwn(index, code)) return undefined
      const internal = (index as Record<string, unknown>)[code]
      return typeof internal === 'string' && internal.trim() !== '' ? internal.trim() : undefined
    } catch {
      return undefined
    }
  }
}
