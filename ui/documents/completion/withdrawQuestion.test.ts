import { describe, expect, it } from 'vitest'
import { withdrawApplies, type WithdrawContext } from './withdrawQuestion'

const retail: WithdrawContext = {
  documentType: 'shipment',
  number: '00042',
  scannedMarks: 2,
  refusedReasons: [],
  withdrawOnRetail: true,
  askPicker: true,
}

describe('the marking withdrawal question', () => {
  it.each<[string, Partial<WithdrawContext>, boolean]>([
    ['a retail shipment with marks', {}, true],
    ['an Ozon posting by its source', { source: 'ozon' }, false],
    ['an Ozon posting by its number', { number: 'Заказ 87654321-0012-1' }, false],
    ['a number with a longer run of digits', { number: '187654321012345-0012-1' }, true],
    ['no marks scanned', { scannedMarks: 0 }, false],
    ['a receiving', { documentType: 'receiving' }, false],
    ['an account that does not ask the picker', { askPicker: false }, false],
  ])('%s: %s', (_what, patch, applies) => {
    expect(withdrawApplies({ ...retail, ...patch })).toBe(applies)
  })
})
