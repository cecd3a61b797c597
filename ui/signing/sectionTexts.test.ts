import { describe, expect, it } from 'vitest'
import type { CryptoStatus } from './cryptoHost'
import {
  authCheckText,
  certificateButton,
  certificateRef,
  createTapCounter,
  cryptoStatusText,
  organizationInnError,
  serverMismatchNotice,
  supportCode,
  timeLeftText,
  tokenMismatchNotice,
  tokenReadiness,
  tokenStatusText,
  type TokenStatus,
} from './sectionTexts'
import { certificate, FOUND, ORG_THUMBPRINT, PERSON_THUMBPRINT } from './testing/fakeSigningHost'

const NOW = Date.UTC(2026, 5, 1, 12, 0, 0)
const status = (paths: Partial<CryptoStatus>): CryptoStatus => ({
  ...FOUND,
  available: false,
  certmgrPath: null,
  cryptcpPath: null,
  csptestPath: null,
  ...paths,
})

describe('the tools row', () => {
  it.each<[Partial<CryptoStatus>, string | null, string]>([
    [{}, 'CP-0', 'Не найден · CP-0'],
    [{ csptestPath: '/x/csptest' }, 'CP-0T', 'Не найден · CP-0T'],
    [{ cryptcpPath: '/x/cryptcp' }, 'CP-1', 'Найден не полностью · CP-1'],
    [{ cryptcpPath: '/x/cryptcp', csptestPath: '/x/csptest' }, 'CP-1T', 'Найден не полностью · CP-1T'],
    [{ certmgrPath: '/x/certmgr' }, 'CP-2', 'Найден не полностью · CP-2'],
    [{ certmgrPath: '/x/certmgr', cryptcpPath: '/x/cryptcp', csptestPath: '/x/csptest' }, 'CP-2T', 'Найден не полностью · CP-2T'],
    [{ available: true, certmgrPath: '/x/certmgr', csptestPath: '/x/csptest', version: null }, null, 'Установлен'],
    [{ available: true, certmgrPath: '/x/certmgr', cryptcpPath: '/x/cryptcp', version: 'CSP 5.0' }, null, 'CSP 5.0'],
  ])('%j → code %s, "%s"', (paths, code, text) => {
    expect(supportCode(status(paths))).toBe(code)
    expect(cryptoStatusText(status(paths))).toBe(text)
  })

  it('says it is checking before the first answer', () => expect(cryptoStatusText(null)).toBe('Проверяем…'))
})

describe('certificate buttons', () => {
  it.each([
    [{}, 'Иванов Иван Иванович · ИНН 7701234567 · до 01.01.2120 00:00:00 UTC', false],
    [{ validTo: '01.01.2021 00:00:00 UTC' }, 'Иванов Иван Иванович · ИНН 7701234567 · срок истек', true],
    [{ hasPrivateKey: false, inn: null }, 'Иванов Иван Иванович · без ИНН · ключ не привязан — установите из контейнера', false],
    [{ validTo: null }, 'Иванов Иван Иванович · ИНН 7701234567', false],
  ])('%j', (fields, text, disabled) => {
    expect(certificateButton(certificate(fields), NOW)).toEqual({ text, disabled })
  })
})

describe('the token row', () => {
  it.each<[{ connected: boolean; available: boolean; chosen: boolean; consent: boolean }, string | null]>([
    [{ connected: false, available: false, chosen: false, consent: false }, 'Нет связи с сервером — в Честный Знак ходит он'],
    [{ connected: true, available: false, chosen: false, consent: false }, 'КриптоПро не найден — подписывать нечем'],
    [{ connected: true, available: true, chosen: false, consent: false }, 'Сертификат не выбран'],
    [{ connected: true, available: true, chosen: true, consent: false }, 'Нет разрешения на подпись — выдайте его выше'],
    [{ connected: true, available: true, chosen: true, consent: true }, null],
  ])('readiness %j → %s', (r, text) => expect(tokenReadiness(r)).toBe(text))

  const answer = (s: Partial<TokenStatus>) => ({
    kind: 'answer' as const,
    status: { hasToken: true, expireDate: null, inn: null, stand: 'prod' as const, thumbprint: null, error: null, ...s },
  })
  it.each([
    [{ kind: 'unknown' as const }, 'Неизвестно — сервер еще не ответил'],
    [{ kind: 'offline' as const }, 'Нет связи с сервером'],
    [{ kind: 'failed' as const }, 'Сервер не ответил про токен'],
    [answer({ error: 'ЦРПТ недоступен' }), 'ЦРПТ недоступен'],
    [answer({ hasToken: false }), 'Токен не получен'],
    [answer({}), 'Токен получен'],
    [answer({ inn: '7701234567', stand: 'sandbox' }), 'Токен получен · ИНН 7701234567 · демо-стенд'],
  ])('status %j → "%s"', (state, text) => expect(tokenStatusText(state, NOW)).toBe(text))

  it('names the expiry, or the time left', () => {
    expect(tokenStatusText(answer({ expireDate: new Date(NOW - 1000).toISOString() }), NOW)).toMatch(/^Токен истек 1 июня, \d\d:59$/)
    expect(tokenStatusText(answer({ expireDate: new Date(NOW + 3 * 3600_000 + 5 * 60_000).toISOString(), inn: '1' }), NOW)).toMatch(
      /^Действует до 1 июня, \d\d:05 · осталось 3 ч 5 мин · ИНН 1$/,
    )
  })

  it.each([
    [30_000, 'меньше минуты'],
    [59 * 60_000, '59 мин'],
    [23 * 3600_000 + 59 * 60_000, '23 ч 59 мин'],
    [50 * 3600_000, '2 дн'],
  ])('%i ms left → "%s"', (ms, text) => expect(timeLeftText(ms)).toBe(text))

  it.each([
    [{ ok: true }, '✅ Токен получен. статус'],
    [{ ok: false, stage: 'key' }, '❌ Честный Знак не дал строку для подписи'],
    [{ ok: false, stage: 'sign', error: 'нет ключа' }, '❌ Подписать не удалось: нет ключа'],
    [{ ok: false, stage: 'signIn', error: 'отказ' }, '❌ Честный Знак не принял подпись: отказ'],
    [{ ok: false, stage: 'later' }, '❌ Авторизация не прошла'],
    [{ ok: false }, '❌ Авторизация не прошла'],
  ])('czAuthCheck %j → "%s"', (result, text) => expect(authCheckText(result, 'статус')).toBe(text))
})

describe('certificate mismatch notices', () => {
  const org = certificate()
  const person = certificate({ thumbprint: PERSON_THUMBPRINT, subject: 'CN=Петров Пётр', inn: '500100732259' })
  const twin = certificate({ thumbprint: 'c'.repeat(40), subject: 'CN=Иванов (второй)' })
  const noInn = certificate({ thumbprint: 'd'.repeat(40), subject: 'CN=Без ИНН', inn: null })

  it.each([
    [person.thumbprint, 'Это сертификаты разных людей: подпись другого человека Честный Знак не примет. '],
    [twin.thumbprint, 'Оба на один ИНН — скорее всего, документ пройдет, но надежнее подписывать тем, которым получен токен. '],
    [noInn.thumbprint, 'Подписывать нужно сертификатом того же человека, которым получен токен: сертификат другого человека Честный Знак не примет. '],
  ])('token by %s while the organisation certificate is chosen', (token, people) => {
    const name = { [person.thumbprint]: '«Петров Пётр»', [twin.thumbprint]: '«Иванов (второй)»', [noInn.thumbprint]: '«Без ИНН»' }[token]
    expect(tokenMismatchNotice(token, ORG_THUMBPRINT, [org, person, twin, noInn])).toBe(
      `Токен Честного Знака получен сертификатом ${name}, а подписывать выбран «Иванов Иван Иванович». ${people}` +
        'Выберите тот же сертификат — или нажмите «Получить токен», чтобы выдать его на выбранный.',
    )
  })

  it('no notice for the same certificate in another case, or without a token', () => {
    expect(tokenMismatchNotice(ORG_THUMBPRINT.toUpperCase(), ORG_THUMBPRINT, [org])).toBeNull()
    expect(tokenMismatchNotice(null, ORG_THUMBPRINT, [org])).toBeNull()
  })

  it('a certificate not in the list is named by its last 6 characters', () => {
    expect(certificateRef('e'.repeat(34) + '123456', [org])).toBe('с отпечатком …123456')
  })

  it('the account certificate: a button when it is here, advice when it is not', () => {
    const here = serverMismatchNotice(PERSON_THUMBPRINT, ORG_THUMBPRINT, [org, person])!
    expect(here.canChoose).toBe(true)
    expect(here.text).toBe(
      'В кабинете выбран сертификат «Петров Пётр», а на этом компьютере — «Иванов Иван Иванович». ' +
        'Запросы подписи придут для сертификата из кабинета, и приложение их отклонит. ' +
        'Нажмите «Выбрать как в кабинете» — или «Получить токен», чтобы сервер перешел на выбранный здесь.',
    )
    const away = serverMismatchNotice(PERSON_THUMBPRINT, ORG_THUMBPRINT, [org])!
    expect(away.canChoose).toBe(false)
    expect(away.text).toContain('На этом компьютере такого сертификата нет: выберите в кабинете тот, что здесь, или нажмите «Получить токен» — сервер перейдет на выбранный здесь.')
    expect(serverMismatchNotice(ORG_THUMBPRINT, ORG_THUMBPRINT, [org])).toBeNull()
  })
})

describe('the organisation INN field', () => {
  it.each([
    ['', null],
    ['7701234567', null],
    ['500100732259', null],
    ['77012345ab', 'ИНН состоит только из цифр'],
    ['77012345', 'В ИНН 10 цифр у организации или 12 у предпринимателя'],
  ])('"%s" → %s', (value, error) => expect(organizationInnError(value)).toBe(error))
})

describe('the contour switch', () => {
  it.each([
    ['ten taps, each within 3 s', [0, 1000, 2000, 5000, 8000, 9000, 9500, 12_500, 13_000, 14_000], true],
    ['nine taps', [0, 1, 2, 3, 4, 5, 6, 7, 8], false],
    ['a pause of more than 3 s starts over', [0, 1, 2, 3, 4, 3010, 3011, 3012, 3013, 3014], false],
    ['ten taps after the pause', [0, 4000, 4001, 4002, 4003, 4004, 4005, 4006, 4007, 4008, 4009], true],
  ])('%s', (_name, times, shown) => {
    const tap = createTapCounter()
    expect(times.map((t) => tap(t)).at(-1)).toBe(shown)
  })
})
