import { describe, expect, it, vi } from 'vitest'
import type { Payload } from '../core/envelope'
import { fiasStatus, normaliseFias, reportWorkplaceText } from './fias'
import { normaliseProductGroups, PRODUCT_GROUPS, searchProductGroups, selectionLabel } from './productGroups'
import { createWithdrawQuestions } from './withdrawQuestions'
import { outcomeRecord } from './withdrawRecords'
import { noticeText, outcomeText, waitingLine, withdrawStateText, WITHDRAW_TEXTS } from './withdrawTexts'

function questions(confirm: (p: Payload) => Promise<Payload> = async () => ({ queued: true })) {
  const log = vi.fn()
  const keepNotice = vi.fn()
  const q = createWithdrawQuestions({ confirm, keepNotice, numberOf: (id) => (id === 'd-1' ? '0042' : undefined), now: () => 1_000, log })
  return { q, log, keepNotice }
}

describe('withdrawal questions from the server', () => {
  it('a question without taskId shows nothing and says why in the console', () => {
    const { q, log } = questions()
    q.onAsk({ question: 'Вывести?' })
    expect(q.current()).toBeUndefined()
    expect(log).toHaveBeenCalledWith(WITHDRAW_TEXTS.noTask)
  })

  it('shows the server\'s title and text, or the defaults', () => {
    const { q } = questions()
    q.onAsk({ taskId: 't1', question: '  Вывести коды по №12?  ' })
    expect(q.current()).toEqual({ taskId: 't1', title: 'Вывести коды по №12?', text: WITHDRAW_TEXTS.askText })
    const other = questions().q
    other.onAsk({ taskId: 't2', message: 'Продажа физлицу' })
    expect(other.current()).toMatchObject({ title: 'Вывести коды из оборота?', text: 'Продажа физлицу' })
  })

  it('two documents in a row: the second question waits for the first instead of replacing it', async () => {
    const sent: Payload[] = []
    const { q } = questions(async (p) => (sent.push(p), { queued: true }))
    q.onAsk({ taskId: 't1' })
    q.onAsk({ taskId: 't2' })
    expect(q.current()?.taskId).toBe('t1')
    await q.answer(true)
    expect(q.current()?.taskId).toBe('t2')
    await q.answer(false)
    expect(q.current()).toBeUndefined()
    expect(sent).toEqual([{ taskId: 't1', confirm: true }, { taskId: 't2', confirm: false }])
  })

  it.each([
    ['a refusal keeps the dialog with the server\'s error', async () => ({ error: 'задача закрыта' }), 'Ответ не принят: задача закрыта', true],
    ['a failed request keeps the dialog with the retry text', async () => Promise.reject(new Error('timeout')), WITHDRAW_TEXTS.notSent, true],
    ['queued closes it with the accepted note', async () => ({ queued: true }), 'Ответ принят: коды уйдут на вывод из оборота.', false],
    ['the server\'s own message closes it with that note', async () => ({ message: 'Принято' }), 'Принято', false],
    ['a plain answer closes it: the codes stay', async () => ({}), 'Ответ записан: коды остаются в обороте.', false],
  ])('%s', async (_what, confirm, note, stillOpen) => {
    const { q } = questions(confirm as () => Promise<Payload>)
    q.onAsk({ taskId: 't1' })
    await q.answer(true)
    expect(q.state.note?.text).toBe(note)
    expect(q.current() !== undefined).toBe(stillOpen)
  })

  it('one answer at a time', async () => {
    let release: (p: Payload) => void = () => {}
    const confirm = vi.fn(() => new Promise<Payload>((r) => (release = r)))
    const { q } = questions(confirm)
    q.onAsk({ taskId: 't1' })
    const first = q.answer(true)
    await q.answer(false)
    release({ queued: true })
    await first
    expect(confirm).toHaveBeenCalledTimes(1)
  })

  it('a notice closes its task\'s question wherever it waits and is kept with the document number', () => {
    const { q, keepNotice } = questions()
    q.onAsk({ taskId: 't1' })
    q.onAsk({ taskId: 't2' })
    q.onNotice({ taskId: 't2', documentId: 'd-1', state: 'skipped', message: 'нет марок' })
    expect(q.state.queue.map((a) => a.taskId)).toEqual(['t1'])
    expect(keepNotice).toHaveBeenCalledWith({ taskId: 't2', documentId: 'd-1', number: '0042', state: 'skipped', message: 'нет марок', at: 1_000 })
  })
})

describe('withdrawal texts', () => {
  it.each([
    [{ state: 'skipped', message: 'марки не найдены', number: '7' }, 'Документ №7: коды из оборота не выводились. марки не найдены.', 'ok'],
    [{ state: 'skipped' }, 'коды из оборота не выводились.', 'ok'],
    [{ state: 'expired', number: '7' }, 'Документ №7: вопрос про вывод кодов остался без ответа сутки, и задача закрыта. Коды остались в обороте — если вывести их все-таки нужно, скажите поддержке.', 'warning'],
    [{ state: 'failed', message: 'ЧЗ недоступен!' }, 'вывести коды из оборота не удалось. ЧЗ недоступен! Сервер сделал все попытки сам — дальше нужна поддержка.', 'warning'],
    [{ state: 'done', message: 'готово' }, 'сервер закрыл задачу на вывод кодов. готово.', 'info'],
  ])('notice %o', (n, text, tone) => {
    expect(noticeText(n)).toEqual({ text, tone })
  })

  const D = 'Документ №15'
  it.each([
    [{ sent: false }, `${D} ждет связи в очереди отправки. Вывод кодов начнется, когда документ уйдет.`],
    [{ marks: 0, type: 'shipment' }, `${D}: кодов маркировки в нем не было — выводить нечего. Вывод из оборота делается по отсканированным кодам, а не по товарам.`],
    [{ marks: 3, type: 'customer_return' }, `${D} — это возврат покупателя. Коды из оборота выводятся только по отгрузке: по другим документам вывода не бывает, и это не поломка.`],
    [{ marks: 3, type: 'inventory' }, `${D} — это документ другого вида. Коды из оборота выводятся только по отгрузке: по другим документам вывода не бывает, и это не поломка.`],
    [{ marks: 3, type: 'shipment', answer: false }, `${D}: сборщик ответил «не выводить» — коды остались в обороте.`],
    [{ marks: 3, type: 'shipment' }, `${D}: коды ушли на сервер (3), но про вывод из оборота сервер не ответил ничего. Наша половина сделана — покажите эту строку поддержке.`],
    [{ marks: 3, type: 'shipment', queued: true }, `${D}: коды приняты на вывод из оборота. Дальше работает сервер — подпись и ответ Честного Знака приходят минутами позже.`],
    [{ marks: 3, type: 'shipment', queued: false, note: 'вывод выключен в кабинете.' }, `${D}: коды из оборота не выводились — вывод выключен в кабинете.`],
    [{ marks: 3, type: 'shipment', queued: false }, `${D}: коды из оборота не выводились, причину сервер не назвал.`],
  ])('outcome %o', (o, text) => {
    expect(outcomeText({ at: 0, number: '15', ...o }).text).toBe(text)
  })

  it.each([
    [{}, 'Сервер не прислал настроек вывода при подключении'],
    [{ czWithdrawRetail: false, czWithdrawAsk: false }, 'Работа с Честным Знаком для этой организации не включена'],
    [{ czWithdrawRetail: true, czWithdrawAsk: true }, 'Включен. Перед завершением документа спросим сборщика, выводить ли коды. Выводит коды сервер'],
    [{ czWithdrawRetail: true }, 'Включен. Сборщика не спрашиваем — так настроено в кабинете. Выводит коды сервер'],
  ])('withdrawal state %o', (features, start) => {
    expect(withdrawStateText(features).text.startsWith(start)).toBe(true)
  })

  it('a completion\'s record keeps its details and what the server said', () => {
    const outcome = { withdrawQueued: true }
    expect(outcomeRecord({ documentId: 'd', number: '15', type: 'shipment', marks: 2, answer: true, sent: true, outcome }, 5)).toEqual({
      at: 5, number: '15', type: 'shipment', marks: 2, answer: true, sent: true, queued: true,
    })
  })

  it.each([
    ['a document entry after queueing: signed', [{ event: 'document', at: 2 * 60_000 }], 3 * 60_000, 'Документ подписан этим компьютером — дальше ответ Честного Знака идет через сервер.'],
    ['a refused entry is not a signature: it shows the refusal', [{ event: 'refused', at: 2 * 60_000, reason: 'согласие отозвано' }], 3 * 60_000,
      'Подписать документ этот компьютер отказался: согласие отозвано. Без подписи вывод из оборота не начнется.'],
    ['an entry before queueing does not count', [{ event: 'document', at: 0 }], 3 * 60_000, 'Подписать документ сервер пока не просил (прошло 2 мин.) — первые минуты это нормально.'],
    ['after 5 minutes with nothing', [], 8 * 60_000, 'Прошло 7 мин., а подписать документ сервер так и не попросил — без подписи вывод из оборота не начнется. Со стороны этого компьютера все готово: покажите эту строку поддержке.'],
  ])('waiting line: %s', (_what, log, now, text) => {
    expect(waitingLine(60_000, log, now).text).toBe(text)
  })
})

describe('product groups and the FIAS code', () => {
  it('48 groups in their order, with "bad" read as "bio" and unknown codes dropped', () => {
    expect(PRODUCT_GROUPS).toHaveLength(48)
    expect(PRODUCT_GROUPS.map((p) => p.code).slice(0, 6)).toEqual(['lp', 'shoes', 'perfumery', 'tires', 'electronics', 'milk'])
    expect(PRODUCT_GROUPS.at(-1)?.code).toBe('pyrotechnics')
    const warn = vi.fn()
    expect(normaliseProductGroups(['bad', 'milk', 'bio', 'xyz', 'milk'], warn)).toEqual(['bio', 'milk'])
    expect(warn).toHaveBeenCalledWith('[группы] неизвестная товарная группа «xyz» отброшена')
  })

  it.each([
    ['обувь', ['shoes']],
    ['МОЛОКО', ['milk']],
    ['Легкая', ['lp']],
    ['лёгкая', ['lp']],
    ['tires', ['tires']],
    ['зззз', []],
  ])('search %s', (q, codes) => {
    expect(searchProductGroups(q).map((p) => p.code)).toEqual(expect.arrayContaining(codes))
    if (codes.length === 0) expect(searchProductGroups(q)).toEqual([])
  })

  it.each([
    [[], 'Не выбрана'],
    [['milk'], 'Молочная продукция'],
    [['shoes', 'milk', 'tires'], 'Обувь и еще 2'],
  ])('selection %o → %s', (codes, label) => {
    expect(selectionLabel(codes)).toBe(label)
  })

  it.each([
    [[], null, 'Товарная группа не выбрана — без нее Честный Знак не примет вывод из оборота'],
    [['milk'], null, 'Для группы «Молочная продукция» нужен код ФИАС — адрес места, где стоит этот компьютер. Возьмите его в личном кабинете Честного Знака'],
    [['milk'], 'г. Москва, ул. Лесная', 'Код ФИАС должен выглядеть так: 0c5b2444-70a0-4932-980c-b4dc0d3f02b5. Проверьте, не попал ли в поле адрес вместо кода'],
    [['milk', 'shoes'], '0c5b2444-70a0-4932-980c-b4dc0d3f02b5', 'Готово: Молочная продукция, Обувь, ФИАС 0c5b2444-70a0-4932-980c-b4dc0d3f02b5'],
  ])('status %o %s', (groups, fias, text) => {
    expect(fiasStatus(groups, fias).text).toBe(text)
  })

  it('a typed code is trimmed and lower-cased; the answer is read against what was sent', () => {
    expect(normaliseFias('  0C5B2444-70A0-4932-980C-B4DC0D3F02B5 ')).toBe('0c5b2444-70a0-4932-980c-b4dc0d3f02b5')
    expect(normaliseFias('   ')).toBeNull()
    const sent = '0c5b2444-70a0-4932-980c-b4dc0d3f02b5'
    expect(reportWorkplaceText(sent, { error: 'нет доступа' }).text).toBe('Сервер не принял код: нет доступа')
    expect(reportWorkplaceText(sent, { fiasId: '11111111-1111-1111-1111-111111111111' }).text).toBe(
      'Код передан, но вывод пойдет по адресу из настроек организации — он главнее кода с устройства',
    )
    expect(reportWorkplaceText(sent, { fiasId: sent }).text).toBe('Код передан на сервер')
  })
})
