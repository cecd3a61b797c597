import { describe, expect, it, vi } from 'vitest'
import type { Payload } from '../../core/envelope'
import { RELAY_LATER_NOTE, relayHeldText, relayOutcomeText, relayStageText, requestRelay, wherePrint, type RelayOutcome, type RelayResult, type UnfinishedRelay, type WhereInput } from './relay'

const OURS = { printerId: 'prn-1', name: 'raw', comment: '' }
const NOT_HERE = '[Ozon] принтер магазина prn-9 не зарегистрирован на этом компьютере — печатаем как обычно'

describe('where a label that names a shop printer is printed', () => {
  const input = (over: Partial<WhereInput>): WhereInput => ({
    shopPrinterId: 'prn-9',
    shopPrinterLabel: 'склад',
    registered: OURS,
    relayPossible: true,
    inHost: true,
    ...over,
  })
  it.each([
    ['browser, id, relay', { inHost: false }, { kind: 'relay', label: 'склад' }, null],
    ['browser, id, no relay', { inHost: false, relayPossible: false }, { kind: 'nowhere', label: 'склад' }, null],
    ['browser, id, blank label', { inHost: false, relayPossible: false, shopPrinterLabel: ' ' }, { kind: 'nowhere', label: 'принтер магазина' }, null],
    ['browser, no id', { inHost: false, shopPrinterId: null }, { kind: 'nowhere', label: null }, null],
    ['host, no id', { shopPrinterId: '' }, { kind: 'here', printerName: null, note: null }, null],
    ['host, our printer', { shopPrinterId: 'prn-1' }, { kind: 'here', printerName: 'raw', note: null }, null],
    ['host, our id but no name', { shopPrinterId: 'prn-1', registered: { ...OURS, name: '' }, relayPossible: false }, { kind: 'here', printerName: null }, expect.any(String)],
    ['host, another printer, relay', {}, { kind: 'relay', label: 'склад' }, NOT_HERE],
    ['host, not registered, relay', { registered: null }, { kind: 'relay', label: 'склад' }, NOT_HERE],
    [
      'host, another printer, no relay',
      { relayPossible: false },
      { kind: 'here', printerName: null, note: 'Принтер магазина «склад» стоит на другом компьютере, а отправить туда эту этикетку нельзя — печатаем на принтере этого компьютера' },
      NOT_HERE,
    ],
  ])('%s', (_name, over, where, log) => {
    expect(wherePrint(input(over))).toEqual({ where: expect.objectContaining(where), log })
  })
})

describe('the relay on the asking computer', () => {
  it.each([
    ['label-ready', 'Этикетка готова, отправляем на другой компьютер'],
    ['sent', 'Задание отправлено на компьютер с принтером: склад'],
    ['accepted', 'Компьютер с принтером принял задание'],
    ['downloaded', 'Этикетка получена, отправляем на принтер'],
    ['spooled', 'Отправлено на принтер'],
    ['weird', null],
  ])('stage %s', (stage, text) => {
    expect(relayStageText(stage, 'склад')).toBe(text)
  })

  const result = (over: Partial<RelayResult>): RelayResult => ({ documentId: 'd', sku: null, ok: false, printedOn: '', error: '', message: '', retryAfter: null, ...over })
  it.each([
    [{ ok: true, printedOn: 'raw — у Иры' }, 'склад', 'Этикетка напечатана на принтере другого компьютера: raw — у Иры'],
    [{ ok: true }, 'склад', 'Этикетка напечатана на принтере другого компьютера: склад'],
    [{ ok: true }, null, 'Этикетка напечатана на принтере другого компьютера'],
    [{ error: 'no-printer' }, 'склад', 'Удаленный принтер не настроен. На компьютере с принтером откройте Настройки → Печать и включите «Удаленный принтер»'],
    [{ error: 'printer-failed', message: 'нет бумаги' }, 'склад', 'Принтер другого компьютера «склад»: нет бумаги'],
    [{ error: 'printer-failed' }, null, 'Принтер другого компьютера не ответил. Проверьте, что компьютер включен, приложение запущено, в принтере есть бумага'],
    [{ error: 'print-server-error', message: 'упал' }, null, 'Задание не удалось передать на другой компьютер: упал. Передайте в поддержку'],
    [{ error: 'print-server-error' }, null, 'Задание не удалось передать на другой компьютер. Передайте в поддержку'],
    [{ error: 'ozon-rate-limited', retryAfter: 4.2 }, null, 'Ozon временно ограничил запросы магазина, этикетка не напечатана. Повторите через 5 с'],
    [{ error: 'mystery' }, null, 'Этикетку напечатать не удалось. Сервер ответил «mystery» — этого ответа приложение пока не знает, покажите код поддержке'],
  ])('outcome %o', (over, label, text) => {
    expect(relayOutcomeText(result(over), label).text).toBe(text)
  })

  it('shows the stages of this label only, ignores results for another document or sku, and ends with the matching one', async () => {
    const pushes = new Map<string, (p: Payload) => void>()
    let accept: (p: Payload) => boolean = () => false
    let answer: (p: Payload) => void = () => {}
    const deps = {
      request: vi.fn((_c: string, _p: Payload, o: { accept: (p: Payload) => boolean }) => {
        accept = o.accept
        return new Promise<Payload>((r) => (answer = r))
      }),
      onPush: (name: string, h: (p: Payload) => void) => {
        pushes.set(name, h)
        return () => pushes.delete(name)
      },
      failureText: (err: unknown) => String(err),
      newRequestId: () => 'r-1',
    }
    const shown: string[] = []
    const done = requestRelay(deps, { documentId: 'd-1', sku: 42, copies: 2, printerLabel: 'склад' }, (t) => shown.push(t))
    expect(deps.request).toHaveBeenCalledWith('printOzonLabel', { documentId: 'd-1', copies: 2, sku: 42, requestId: 'r-1' }, expect.objectContaining({ timeoutMs: 160_000 }))
    const progress = pushes.get('printOzonLabel.progress')!
    progress({ documentId: 'd-1', sku: 42, stage: 'label-ready' })
    progress({ documentId: 'd-2', sku: 42, stage: 'accepted' })
    progress({ documentId: 'd-1', stage: 'accepted' })
    progress({ sku: '42', stage: 'sent' })
    progress({ documentId: 'd-1', sku: 42, stage: 'unknown' })
    expect(accept({ documentId: 'd-2', sku: 42, ok: true })).toBe(false)
    expect(accept({ documentId: 'd-1', sku: 7, ok: true })).toBe(false)
    expect(accept({ documentId: 'd-1', ok: true })).toBe(false)
    expect(accept({ sku: 42, ok: true })).toBe(false)
    expect(accept({ documentId: 'd-1', sku: '42', ok: true, requestId: 'r-0' })).toBe(false)
    expect(accept({ documentId: 'd-1', sku: '42', ok: true })).toBe(true)
    answer({ documentId: 'd-1', sku: 42, ok: true, printedOn: 'raw — у Иры' })
    expect(await done).toEqual({ ok: true, text: 'Этикетка напечатана на принтере другого компьютера: raw — у Иры', openSettings: false })
    expect(shown).toEqual([
      'Отправляем на принтер другого компьютера: склад',
      'Этикетка готова, отправляем на другой компьютер',
      'Задание отправлено на компьютер с принтером: склад',
    ])
    expect(pushes.size).toBe(0)
  })

  it('another label command relays under its own names', async () => {
    const names: string[] = []
    const deps = {
      request: (c: string) => {
        names.push(c)
        return Promise.resolve({ documentId: 'p-1', ok: true })
      },
      onPush: (name: string) => {
        names.push(name)
        return () => {}
      },
      failureText: String,
    }
    expect((await requestRelay(deps, { documentId: 'p-1', printerLabel: null, command: 'printPartsLabel' }, () => {})).ok).toBe(true)
    expect(names).toEqual(['printPartsLabel.progress', 'printPartsLabel'])
  })

  it.each([
    ['timeout', 'склад', `Компьютер с принтером «склад» не ответил. Проверьте, что он включен и приложение на нем запущено. ${RELAY_LATER_NOTE}`],
    ['timeout', null, `Компьютер с принтером не ответил. Проверьте, что он включен и приложение на нем запущено. ${RELAY_LATER_NOTE}`],
    ['нет соединения с сервером', 'склад', 'translated: нет соединения с сервером'],
  ])('a request that fails with %s', async (message, label, text) => {
    const deps = {
      request: () => Promise.reject(new Error(message)),
      onPush: () => () => {},
      failureText: (err: unknown) => `translated: ${(err as Error).message}`,
    }
    expect((await requestRelay(deps, { documentId: 'd', printerLabel: label }, () => {})).text).toBe(text)
  })

  /** A fake server channel: every push name keeps all its handlers; requests are recorded and answered by hand. */
  function channel() {
    const handlers = new Map<string, Set<(p: Payload) => void>>()
    const sent: Array<{ payload: Payload; answer: (p: Payload) => void; fail: (e: Error) => void }> = []
    let n = 0
    return {
      sent,
      push: (name: string, p: Payload) => [...(handlers.get(name) ?? [])].forEach((h) => h(p)),
      listening: () => [...handlers.values()].reduce((sum, set) => sum + set.size, 0),
      deps: {
        request: (_c: string, payload: Payload, o: { accept: (p: Payload) => boolean }) =>
          new Promise<Payload>((resolve, reject) => {
            const stop = () => handlers.get('printOzonLabel.result')?.delete(h)
            const h = (p: Payload) => void (o.accept(p) && (stop(), resolve(p)))
            if (!handlers.has('printOzonLabel.result')) handlers.set('printOzonLabel.result', new Set())
            handlers.get('printOzonLabel.result')!.add(h)
            sent.push({ payload, answer: resolve, fail: (e) => (stop(), reject(e)) })
          }),
        onPush: (name: string, h: (p: Payload) => void) => {
          if (!handlers.has(name)) handlers.set(name, new Set())
          handlers.get(name)!.add(h)
          return () => void handlers.get(name)!.delete(h)
        },
        failureText: String,
        unfinished: new Map<string, UnfinishedRelay>(),
        newRequestId: () => `r-${++n}`,
      },
    }
  }

  it('held for an absent computer: answered at once, asked again as the same job, the late result reaches the screen', async () => {
    const ch = channel()
    const label = { documentId: 'trial-label', printerLabel: 'raw' }
    const late: RelayOutcome[] = []
    const first = requestRelay(ch.deps, label, () => {}, (o) => late.push(o))
    ch.push('printOzonLabel.progress', { documentId: 'trial-label', requestId: 'r-1', stage: 'label-ready' })
    ch.push('printOzonLabel.progress', { documentId: 'trial-label', requestId: 'r-1', stage: 'held' })
    expect(await first).toEqual({ ok: false, text: relayHeldText('raw'), openSettings: false, pending: true })

    const again = requestRelay(ch.deps, label, () => {}, (o) => late.push(o))
    expect(ch.sent.map((s) => s.payload.requestId)).toEqual(['r-1', 'r-1'])
    ch.push('printOzonLabel.progress', { documentId: 'trial-label', requestId: 'r-1', stage: 'held' })
    expect((await again).pending).toBe(true)

    ch.push('printOzonLabel.result', { documentId: 'trial-label', requestId: 'r-1', ok: true, printedOn: 'raw — у Иры' })
    expect(late).toEqual([{ ok: true, text: 'Этикетка напечатана на принтере другого компьютера: raw — у Иры', openSettings: false }])
    expect(ch.deps.unfinished.size).toBe(0)
    ch.sent[0]!.fail(new Error('timeout'))
    ch.sent[1]!.fail(new Error('timeout'))
    await Promise.resolve()
    expect(ch.listening()).toBe(0)
    // Printed: the next press is a new label.
    void requestRelay(ch.deps, label, () => {})
    expect(ch.sent[2]!.payload.requestId).toBe('r-2')
  })

  it('not answered in time: the job is kept, its late result reaches the screen, a request that never left is forgotten', async () => {
    const ch = channel()
    const late: RelayOutcome[] = []
    const asked = requestRelay(ch.deps, { documentId: 'd-1', sku: 5, printerLabel: null }, () => {}, (o) => late.push(o))
    ch.sent[0]!.fail(new Error('timeout'))
    expect(await asked).toMatchObject({ ok: false, pending: true })
    ch.push('printOzonLabel.result', { documentId: 'd-1', sku: 5, ok: false, error: 'printer-failed', message: 'нет бумаги' })
    expect(late.map((o) => o.text)).toEqual(['Принтер другого компьютера: нет бумаги'])

    const lost = requestRelay(ch.deps, { documentId: 'd-2', printerLabel: null }, () => {})
    ch.sent[1]!.fail(new Error('нет соединения с сервером'))
    expect(await lost).toEqual({ ok: false, text: 'Error: нет соединения с сервером', openSettings: false })
    expect(ch.deps.unfinished.size).toBe(0)
    expect(ch.listening()).toBe(0)
  })
})
