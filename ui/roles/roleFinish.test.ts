import { describe, expect, it } from 'vitest'
import { reactive } from 'vue'
import type { PositionRecord } from '../documents/records'
import { createRoleFinish, type FinishPosition } from './roleFinish'
import { DEFAULT_ROLES_SETTINGS, type RolesSettings } from './rolesSettings'
import type { WorkRole } from './roleState'
import { roleItemFields, type ShortfallEntry } from './shortfalls'

function pos(key: string, o: Partial<PositionRecord>): FinishPosition {
  return { key, byMarks: false, p: reactive({ assortmentId: key, name: `Товар ${key}`, code: '', barcodes: [], required: 3, checked: 0, status: 'pending', cell: '', ...o }) as PositionRecord }
}

function finish(role: WorkRole, positions: FinishPosition[], settings: Partial<RolesSettings> = {}, skips = false) {
  const entries = reactive<Record<string, ShortfallEntry>>({})
  let changes = 0
  const f = createRoleFinish({
    role: () => role,
    settings: () => ({ ...DEFAULT_ROLES_SETTINGS, ...settings }),
    collectorSkips: () => skips,
    positions: () => positions,
    entries,
    setCount: (key, n) => (positions.find((r) => r.key === key)!.p.checked = n),
    changed: () => changes++,
  })
  f.open()
  /** the completion items as the completion sends them */
  const items = (shortfalls: Record<string, ShortfallEntry>) =>
    positions.map(({ key, p }) => ({ positionId: key, quantity: p.checked, ...roleItemFields(p.checked, p.orderedQuantity ?? p.required, shortfalls[key]) }))
  return { f, entries, items, changes: () => changes }
}

describe('the roles in the finish dialog', () => {
  it('a collector who skips reasons finishes short without input; every short position gets the default reason', () => {
    const { f, items } = finish('collector', [pos('a', { checked: 3 }), pos('b', { checked: 1 }), pos('c', { checked: 0 })], {
      shortfallReasons: ['нет на складе', 'брак', 'не нашел'],
      shortfallReasonRequired: true,
    }, true)
    expect(f.needed()).toBe(true)
    expect(f.inputFor('b')).toEqual({ kind: 'none' })
    expect(f.texts(false)).toEqual({ title: 'Завершить с недобором?', lines: ['Не собрано полностью: 2 из 3 позиций. Причину можно указать — так проще потом разобраться.'] })
    const result = f.submit()!
    expect(items(result.shortfalls)).toEqual([
      { positionId: 'a', quantity: 3, ordered: 3 },
      { positionId: 'b', quantity: 1, ordered: 3, shortfall: { reason: 'не нашел', comment: '' } },
      { positionId: 'c', quantity: 0, ordered: 3, shortfall: { reason: 'не нашел', comment: '' } },
    ])
  })

  it('required reasons: the rows without one are marked and the reason-required text shown', () => {
    const { f } = finish('collector', [pos('a', { checked: 1 }), pos('b', { checked: 2 })], { shortfallReasons: ['брак'], shortfallReasonRequired: true })
    f.setReason('a', 'брак')
    expect(f.submit()).toBeNull()
    expect(f.state.marked).toEqual(['b'])
    expect(f.state.message).toBe('Укажите причину недобора по каждой недобранной позиции.')
    f.setReason('b', 'брак')
    expect(f.state.marked).toEqual([])
    expect(f.submit()?.shortfalls).toEqual({ a: { reason: 'брак', comment: '' }, b: { reason: 'брак', comment: '' } })
  })

  it('the checker confirms, disputes with "Сколько нашли" and gives the box count', () => {
    const collectedShort = pos('a', { required: 3, collectedQuantity: 2, checked: 2, collectorShortfall: { reason: 'нет на складе', comment: '' } })
    const disputed = pos('b', { required: 4, collectedQuantity: 3, checked: 3, collectorShortfall: { reason: 'брак', comment: 'вмятина' } })
    const complete = pos('c', { required: 2, collectedQuantity: 2, checked: 2 })
    const { f, entries, items } = finish('checker', [collectedShort, disputed, complete], { requireBoxes: true })
    // Prefilled from the collector.
    expect(entries).toEqual({ a: { reason: 'нет на складе', comment: '' }, b: { reason: 'брак', comment: 'вмятина' } })
    expect(f.rows.value.map((r) => r.key)).toEqual(['a', 'b'])
    expect(f.rowText(disputed.p)).toBe('Заказано 4, сборщик насчитал 3, проверено 3')
    expect(f.unconfirmed('a')).toBe(true)
    f.confirm('a')
    expect(f.unconfirmed('a')).toBe(false)
    f.dispute('b')
    f.setFound('b', '5')
    expect(f.state.foundError.b).toBe('Сколько нашли — число от 0 до 4')
    f.setFound('b', '1')
    expect(disputed.p.checked).toBe(1)
    f.setBoxes('0')
    expect(f.state.boxesError).toBe('Количество коробок — целое число больше нуля.')
    expect(f.submit()).toBeNull()
    f.setBoxes('2')
    const result = f.submit()!
    expect(result.boxes).toBe(2)
    expect(items(result.shortfalls)).toEqual([
      // Agreeing with the collector is said so: the result is the checker's own, not a copy of the collector's.
      { positionId: 'a', quantity: 2, ordered: 3, shortfall: { reason: 'нет на складе', comment: '', confirmed: true } },
      // A dispute without reason or comment travels as `disputed` alone.
      { positionId: 'b', quantity: 1, ordered: 4, disputed: true },
      { positionId: 'c', quantity: 2, ordered: 2 },
    ])
  })

  it('a checker finishing a complete document still gets the dialog when boxes are required', () => {
    const complete = [pos('a', { required: 2, collectedQuantity: 2, checked: 2 })]
    expect(finish('checker', complete, { requireBoxes: true }).f.needed()).toBe(true)
    expect(finish('checker', complete).f.needed()).toBe(false)
    expect(finish('checker', complete, { requireBoxes: true }).f.texts(false).lines).toEqual(['Действие нельзя отменить.', 'Укажите, сколько получилось коробок.'])
  })

  it('a dispute already on the server is carried into the completion', () => {
    const p = pos('a', { required: 2, collectedQuantity: 2, checked: 2, checkerShortfall: { reason: '', comment: '', disputed: true } })
    const { f, items } = finish('checker', [p])
    expect(items(f.submit()!.shortfalls)).toEqual([{ positionId: 'a', quantity: 2, ordered: 2, disputed: true }])
  })
})
