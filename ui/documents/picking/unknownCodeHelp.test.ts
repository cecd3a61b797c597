import { beforeEach, describe, expect, it } from 'vitest'
import { ASK_LIMIT, createUnknownCodeHelp, foundText, lookupCodeFor, resetAskingSwitch, type UnknownCodeHelpOptions } from './unknownCodeHelp'
import { GTIN, mark } from './testing/marks'

function setup(over: Partial<UnknownCodeHelpOptions> = {}, answer: (code: string) => Record<string, unknown> = () => ({ found: false })) {
  const asked: string[] = []
  const shown: string[] = []
  let gen = 0
  const help = createUnknownCodeHelp({
    ask: async (code) => {
      asked.push(code)
      return answer(code)
    },
    connected: () => true,
    generation: () => gen,
    show: (m) => shown.push(m),
    ...over,
  })
  const run = (code: string) => help.run(code, ++gen)
  return { help, asked, shown, run, bump: () => ++gen }
}

beforeEach(() => resetAskingSwitch())

describe('unknown-code help', () => {
  it('30 distinct codes are asked 30 times, the 31st is not, and a repeated code never twice', async () => {
    const { asked, run } = setup()
    for (let i = 0; i < ASK_LIMIT; i++) await run(`code-${i}`)
    await run('code-0')
    await run('code-30')
    expect(asked).toHaveLength(30)
    expect(new Set(asked).size).toBe(30)
    expect(asked).not.toContain('code-30')
  })

  it.each<[string, Record<string, unknown>, string[]]>([
    ['found', { found: true, name: 'Кружка', article: 'K-1' }, ['Нет в документе, но в номенклатуре есть: Кружка (K-1)']],
    ['found without article or name', { found: true, name: '' }, ['Нет в документе, но в номенклатуре есть: товар без названия']],
    ['not found', { found: false }, ['В номенклатуре код не найден. Попробуйте найти на товаре другой код']],
    ['an error', { found: false, error: 'timeout of MoySklad' }, ['Код проверить не удалось — справочник не ответил']],
    ['an error code', { errorCode: 'ms-error' }, ['Код проверить не удалось — справочник не ответил']],
  ])('answer %s', async (_what, answer, shown) => {
    const s = setup({}, () => answer)
    await s.run('4600000000001')
    expect(s.shown).toEqual(shown)
  })

  it.each(['assortment-off', 'ms-rate-limited'])('"%s" switches asking off until restart, silently', async (code) => {
    const s = setup({}, () => ({ errorCode: code }))
    await s.run('a')
    await s.run('b')
    expect(s.asked).toEqual(['a'])
    expect(s.shown).toEqual([])
    // Another document (a new help) stays switched off too.
    const other = setup()
    await other.run('c')
    expect(other.asked).toEqual([])
  })

  it('asks nothing offline, shows nothing on failure, and drops an answer that comes after a newer scan', async () => {
    const offline = setup({ connected: () => false })
    await offline.run('a')
    expect(offline.asked).toEqual([])

    const failing = setup({ ask: async () => Promise.reject(new Error('timeout')) })
    await failing.run('a')
    expect(failing.shown).toEqual([])

    let release: (v: Record<string, unknown>) => void = () => {}
    const slow = setup({ ask: () => new Promise((r) => (release = r)) })
    const pending = slow.run('a')
    slow.bump()
    release({ found: true, name: 'Поздно' })
    await pending
    expect(slow.shown).toEqual([])
  })

  it('looks a marking code up by its GTIN', async () => {
    expect(lookupCodeFor(mark())).toBe(GTIN)
    expect(lookupCodeFor('  460 ')).toBe('460')
    const s = setup({}, (c) => (c === GTIN ? { found: true, name: 'Футболка', article: '10001' } : { found: false }))
    await s.run(mark())
    expect(s.asked).toEqual([GTIN])
    expect(s.shown).toEqual(['Нет в документе, но в номенклатуре есть: Футболка (10001)'])
  })

  it('asks the device\'s reference copy first: a hit answers without the server, even offline; a miss goes on to the server', async () => {
    const local = { lookup: async (c: string) => (c === GTIN ? { name: 'Футболка', article: '', code: '10001' } : null) }
    const s = setup({ local, connected: () => false })
    await s.run(mark())
    expect(s.shown).toEqual(['Нет в документе, но в номенклатуре есть: Футболка (10001)'])
    const online = setup({ local })
    await online.run('other')
    expect(online.asked).toEqual(['other'])
    // A copy that fails is passed over; a hit for an older scan is not shown.
    const broken = setup({ local: { lookup: () => Promise.reject(new Error('база')) } })
    await broken.run('x')
    expect(broken.asked).toEqual(['x'])
    const late = setup({ local: { lookup: async () => (late.bump(), { name: 'Поздно' }) } })
    await late.run('y')
    expect(late.shown).toEqual([])
    expect(late.asked).toEqual([])
  })

  it('forgets the asked codes for a new document', async () => {
    const s = setup()
    await s.run('a')
    s.help.reset()
    await s.run('a')
    expect(s.asked).toEqual(['a', 'a'])
  })

  it('foundText brackets only a detail that exists', () => {
    expect(foundText(' ', ' ')).toBe('Нет в документе, но в номенклатуре есть: товар без названия')
  })
})
