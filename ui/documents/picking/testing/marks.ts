/** Marking codes for tests, built the way scanners deliver them. */
import { GS } from '../../scanner/symbology'

export const GTIN = '04601234567893'
export const SERIAL = 'ABC1234567890'
export const KEY = 'EE07'
export const CRYPTO = 'MEUCIQD1b2c3d4e5f6g7h8i9j0k1l2m3n4o5p6q7r8s9t'.slice(0, 44)

/** "01" + GTIN + "21" + serial with the tail in one of the forms a scanner sends it. */
export function mark(serial = SERIAL, tail: 'gs' | 'no-gs' | '93' | '93-gs' | 'none' | 'gs-other' = 'gs', gtin = GTIN): string {
  const head = `01${gtin}21${serial}`
  switch (tail) {
    case 'gs':
      return `${head}${GS}91${KEY}${GS}92${CRYPTO}`
    case 'no-gs':
      return `${head}91${KEY}92${CRYPTO}`
    case '93':
      return `${head}93${KEY}`
    case '93-gs':
      return `${head}${GS}93${KEY}`
    case 'gs-other':
      return `${head}${GS}17250228`
    case 'none':
      return head
  }
}

/** A tobacco pack: GTIN, a 7-character serial, 4 price and 4 check characters, no identifiers. */
export function packMark(serial = '1A-E7x9', gtin = '04606203084623'): string {
  return `${gtin}${serial}AB4wBftl`
}

/** A tobacco carton: serial, price (8005) and check (93), with or without the separators. */
export function cartonMark(withGs: boolean, serial = 'Kx7-5Qa', gtin = GTIN): string {
  const gs = withGs ? GS : ''
  return `01${gtin}21${serial}${gs}8005012345${gs}93Ab1c`
}
