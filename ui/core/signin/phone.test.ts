import { describe, expect, it } from 'vitest'
import { PhoneAuthError } from '../requests'
import { humaniseDurations } from './durations'
import {
  codeInput,
  formatCode,
  formatPhone,
  isCompleteCode,
  isValidPhone,
  normalisePhone,
  PHONE_TEXTS,
  phoneOutcome,
  phoneRefusalFrom,
  SEND_HINTS,
  sendButton,
  type SendState,
} from './phone'

describe('the phone number', () => {
  it.each([
    ['8 (900) 123-45-67', '79001234567', true],
    ['+7 900 123 45 67', '79001234567', true],
    ['9001234567', '79001234567', true],
    ['89001234567', '79001234567', true],
    ['74951234567', '74951234567', false], // not a mobile number
    ['900123456', '900123456', false],
    ['', '', false],
  ])('%j → %s (valid: %s)', (typed, digits, valid) => {
    expect(normalisePhone(typed)).toBe(digits)
    expect(isValidPhone(digits)).toBe(valid)
  })

  it('is shown as +7 900 123-45-67', () => {
    expect(formatPhone('79001234567')).toBe('+7 900 123-45-67')
  })
})

describe('the send button', () => {
  const ready: SendState = { sending: false, cooldownLeft: 0, phoneText: '+7 900 123-45-67', offerAccepted: true, privacyAccepted: true }
  const consent = (what: string) => `Отметьте ${what} — без этого мы не можем отправить SMS на ваш номер.`

  it.each<[string, Partial<SendState>, { enabled: boolean; label: string; hint: string }]>([
    ['ready', {}, { enabled: true, label: 'Получить код', hint: '' }],
    ['sending wins over everything', { sending: true, cooldownLeft: 30, phoneText: '' }, { enabled: false, label: 'Отправляем…', hint: SEND_HINTS.sending }],
    ['cool-down', { cooldownLeft: 42, offerAccepted: false }, { enabled: false, label: 'Отправить код повторно через 42 с', hint: SEND_HINTS.cooldown }],
    ['nothing typed', { phoneText: '', offerAccepted: false }, { enabled: false, label: 'Получить код', hint: '' }],
    ['a bad number', { phoneText: '8900', offerAccepted: false }, { enabled: false, label: 'Получить код', hint: SEND_HINTS.badPhone }],
    ['no consent', { offerAccepted: false, privacyAccepted: false }, { enabled: false, label: 'Получить код', hint: consent('согласие с офертой и на обработку персональных данных') }],
    ['no offer', { offerAccepted: false }, { enabled: false, label: 'Получить код', hint: consent('согласие с офертой') }],
    ['no personal data', { privacyAccepted: false }, { enabled: false, label: 'Получить код', hint: consent('согласие на обработку персональных данных') }],
  ])('%s', (_name, patch, expected) => {
    expect(sendButton({ ...ready, ...patch })).toEqual(expected)
  })
})

describe('the SMS code', () => {
  it.each<[string, number | undefined, string, boolean, string]>([
    ['12-34-56', 6, '123456', true, '123-456'],
    ['1234567', 6, '123456', true, '123-456'],
    ['12345', 6, '12345', false, '12345'],
    ['1234', undefined, '1234', true, '1234'],
    ['12345678', undefined, '12345678', true, '1234-5678'],
    ['123456789', undefined, '12345678', true, '1234-5678'],
    ['123', undefined, '123', false, '123'],
  ])('%j with length %s keeps %s (complete: %s) shown %s', (typed, length, kept, complete, shown) => {
    const code = codeInput(typed, length)
    expect(code).toBe(kept)
    expect(isCompleteCode(code, length)).toBe(complete)
    expect(formatCode(code)).toBe(shown)
  })
})

describe('durations in the server texts', () => {
  it.each([
    ['try again in 45s', 'try again in 45 секунд'],
    ['locked for 1h2m3s', 'locked for 1 час 2 минуты 3 секунды'],
    ['wait 5m', 'wait 5 минут'],
    ['wait 21m, then 1s', 'wait 21 минуту, then 1 секунду'],
    ['2h', '2 часа'],
    ['11h', '11 часов'],
    ['1.2s', '2 секунды'],
    ['0s', '0 секунд'],
    ['0m0s', '0 секунд'],
    ['1h0m', '1 час'],
    ['v1.5s', 'v1.5s'], // glued to a letter before
    ['a5s', 'a5s'],
    ['5sec', '5sec'], // glued to a letter after
    ['500ms', '500ms'],
    ['no numbers', 'no numbers'],
  ])('%j → %j', (text, words) => {
    expect(humaniseDurations(text)).toBe(words)
  })
})

describe('a refused phone command', () => {
  const refusal = (code: string, error?: string, retryAfter?: number) =>
    phoneRefusalFrom(new PhoneAuthError(error ?? code, code, retryAfter, undefined, undefined))

  it.each<[string, ReturnType<typeof refusal>, { message: string; cooldown?: number; backToPhone: boolean }]>([
    ['ms_unavailable with text', refusal('ms_unavailable', 'MoySklad is down'), { message: 'MoySklad is down', backToPhone: false }],
    ['ms_unavailable without text', refusal('ms_unavailable'), { message: PHONE_TEXTS.msUnavailable, backToPhone: false }],
    ['not_configured', refusal('not_configured', 'off'), { message: PHONE_TEXTS.notConfigured, backToPhone: false }],
    ['gateway: 60 s', refusal('modem_unavailable', 'modem'), { message: PHONE_TEXTS.gateway, cooldown: 60, backToPhone: false }],
    ['gateway with retryAfter', refusal('internal', 'oops', 90), { message: PHONE_TEXTS.gateway, cooldown: 90, backToPhone: false }],
    ['sms_disabled', refusal('sms_disabled'), { message: PHONE_TEXTS.smsDisabled, backToPhone: false }],
    ['blacklisted', refusal('blacklisted', 'no'), { message: PHONE_TEXTS.blacklisted, backToPhone: false }],
    ['cooldown: text with words', refusal('cooldown', 'code already sent, retry in 42s', 42), { message: 'code already sent, retry in 42 секунды', cooldown: 42, backToPhone: false }],
    ['wrong_code with text', refusal('wrong_code', 'wrong code'), { message: 'wrong code', backToPhone: false }],
    ['wrong_code without text', refusal('wrong_code'), { message: PHONE_TEXTS.wrongCode, backToPhone: false }],
    ['daily_limit without text', refusal('daily_limit'), { message: PHONE_TEXTS.notNow, backToPhone: false }],
    ['locked: back to the number', refusal('locked', 'locked for 10m', 600), { message: 'locked for 10 минут', cooldown: 600, backToPhone: true }],
    ['registration_expired', refusal('registration_expired', 'expired'), { message: 'expired', backToPhone: true }],
    ['unknown code with text', refusal('weird', 'boom in 3s'), { message: 'Войти не удалось: «boom in 3 секунды». Если повторится — напишите в поддержку.', backToPhone: false }],
    ['unknown code without text', refusal('weird'), { message: PHONE_TEXTS.failedNoText, backToPhone: false }],
    ['time-out', phoneRefusalFrom(new Error('timeout')), { message: PHONE_TEXTS.timeout, backToPhone: false }],
    ['lost channel', phoneRefusalFrom(new Error('нет соединения с сервером')), { message: PHONE_TEXTS.failedNoText, backToPhone: false }],
  ])('%s', (_name, r, outcome) => {
    expect(phoneOutcome(r)).toEqual(outcome)
  })
})
