import { describe, expect, it } from 'vitest'
import { displayName, isCertificateValid, isConsentValid, reportedCertificate, subjectAttributes } from './certificates'
import { certificate } from './testing/fakeSigningHost'

const NOW = Date.UTC(2026, 5, 1, 12, 0, 0)

describe('certificates', () => {
  it.each([
    ['CN=Иванов Иван, O=ООО Ромашка', 'Иванов Иван'],
    ['cn="Петров, Пётр", C=RU', 'Петров, Пётр'],
    ['O="ООО ""Ромашка""", C=RU', 'O="ООО ""Ромашка""", C=RU'],
    ['', 'a'.repeat(40)],
  ])('display name of "%s" is "%s"', (subject, name) => {
    expect(displayName({ subject, thumbprint: 'a'.repeat(40) })).toBe(name)
  })

  it('a quoted value keeps its comma and loses its doubled quotes', () => {
    expect(subjectAttributes('O="ООО ""Ромашка, Север""", INN=007701234567')).toEqual([
      { name: 'O', value: 'ООО "Ромашка, Север"' },
      { name: 'INN', value: '007701234567' },
    ])
  })

  it.each([
    ['01.06.2026 11:59:59 UTC', false],
    ['01.06.2026 12:00:00', false],
    ['01.06.2026 12:00:01', true],
    ['31/12/2024', false],
    ['1.1.2120', true],
    [null, true],
    ['когда-нибудь', true],
    ['32.01.2020', true],
  ])('validTo %s → valid %s', (validTo, valid) => {
    expect(isCertificateValid({ validTo }, NOW)).toBe(valid)
  })

  it('an expired certificate is reported with isValid false and without its empty INN parts', () => {
    const reported = reportedCertificate(certificate({ validTo: '01.01.2021 00:00:00 UTC', innPersonal: null }), NOW)
    expect(reported).toMatchObject({ isValid: false, innLe: '7701234567' })
    expect(reported).not.toHaveProperty('innPersonal')
  })

  it.each([
    [{ consentAt: '2026-01-01T00:00:00Z', consentScope: 'v1:auth+withdrawal' }, true],
    [{ consentAt: '2026-01-01T00:00:00Z', consentScope: 'v0:auth' }, false],
    [{ consentAt: null, consentScope: 'v1:auth+withdrawal' }, false],
  ])('consent %j valid: %s', (crypto, valid) => expect(isConsentValid(crypto)).toBe(valid))
})
