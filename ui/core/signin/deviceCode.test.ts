import { describe, expect, it } from 'vitest'
import { DEVICE_AUTH_TEXTS, deviceAuthOutcome, deviceCodeFromQr, deviceCodeInput, QR_NO_CODE } from './deviceCode'

describe('the device code field', () => {
  it.each([
    ['', '1', '1'],
    ['123', '1234', '1234-'],
    ['1234-', '1234-5', '1234-5'],
    ['1234-567', '1234-5678', '1234-5678'],
    ['1234-5678', '1234-56789', '1234-5678'], // at most eight digits
    ['', 'ab12c3 4x5', '1234-5'], // digits only
    ['', '12345678', '1234-5678'], // pasted
    ['1234-', '1234', '123'], // deleting the dash deletes the fourth digit too
    ['1234-56', '123456', '1235-6'], // the dash deleted in the middle
    ['1234-5', '1234-', '1234-'], // deleting the fifth digit keeps the dash
  ])('after %j, typing gives %j → %j', (previous, typed, shown) => {
    expect(deviceCodeInput(previous, typed)).toBe(shown)
  })
})

describe('a QR code with the device code', () => {
  it.each([
    ['tsd-auth://pin/12345678', '1234-5678'],
    ['tsd-auth://pin/1234-5678', '1234-5678'],
    ['12345678', '1234-5678'],
    ['  1234-5678\n', '1234-5678'],
  ])('%j signs in with %s', (text, code) => {
    expect(deviceCodeFromQr(text)).toEqual({ code })
  })

  it.each(['tsd-auth://pin/1234567', '1234567', '123456789', 'tsd-auth://pin/', 'hello'])('%j is refused', (text) => {
    expect(deviceCodeFromQr(text)).toEqual({ error: QR_NO_CODE })
  })
})

describe('a refused device code', () => {
  it.each([
    ['timeout', { message: DEVICE_AUTH_TEXTS.timeout }],
    ['too many attempts, try again in 45s', { lockSeconds: 45 }],
    ['Too Many Attempts: wait 7s', { lockSeconds: 7 }],
    ['invalid or expired code', { message: DEVICE_AUTH_TEXTS.invalid }],
    ['Code EXPIRED', { message: DEVICE_AUTH_TEXTS.invalid }],
    ['нет соединения с сервером', { message: 'нет соединения с сервером' }],
    ['', { message: DEVICE_AUTH_TEXTS.empty }],
  ])('%j → %j', (error, outcome) => {
    expect(deviceAuthOutcome(error)).toEqual(outcome)
  })
})
