import { describe, expect, it } from 'vitest'
import { flattenZones, type Product } from '../records'
import { createLiveSearch, liveQuery, stepSelection, type LiveResult } from './liveSearch'

const product = (id: number, name: string): Product => ({ id, name, internalBarcode: `P${id}`, price: null, comment: '' })
const rows = flattenZones([{ id: 1, name: 'Склад', cells: [{ id: 5, name: 'Болты', barcode: 'CELL-5', children: [] }] }])

function rig(find: (text: string) => Promise<Product[]>) {
  const timers: Array<() => void> = []
  const shown: Array<LiveResult | null> = []
  const searched: string[] = []
  const live = createLiveSearch({
    find: (t) => (searched.push(t), find(t)),
    rows: () => rows,
    show: (r) => shown.push(r),
    setTimer: (fn) => {
      timers.push(fn)
      return () => timers.splice(timers.indexOf(fn), 1)
    },
  })
  const fire = async () => {
    for (const fn of timers.splice(0)) fn()
    await new Promise((r) => setTimeout(r, 0))
  }
  return { live, timers, shown, searched, fire }
}

describe('the live list', () => {
  it.each<[string, string, { text: string; name: boolean } | null]>([
    ['one character', 'б', null],
    ['a directly typed barcode', 'P000010', null],
    ['a name', ' болт ', { text: 'болт', name: true }],
    ['a barcode typed in the Russian layout', 'З000010', { text: 'З000010', name: false }],
  ])('%s: %j', (_, raw, expected) => {
    expect(liveQuery(raw)).toEqual(expected)
  })

  it('searches every candidate text once after the pause, merges by id, at most 10, and the cells of a name', async () => {
    const many = Array.from({ length: 12 }, (_, i) => product(100 + i, `Болт ${i}`))
    const r = rig(async (t) => (t === 'болт' ? many : [product(100, 'Болт 0')]))
    r.live.input('болт')
    expect(r.searched).toEqual([])
    await r.fire()
    expect(r.searched).toEqual(['болт', ',jkn', 'бoлt'])
    const [result] = r.shown
    expect(result?.products.map((p) => p.id)).toEqual(many.slice(0, 10).map((p) => p.id))
    expect(result?.cells.map((c) => c.id)).toEqual([5])
  })

  it('an older answer arriving after a newer search started is dropped; a failed text leaves the others', async () => {
    let release!: (p: Product[]) => void
    const r = rig((t) => (t === 'ги' ? new Promise<Product[]>((res) => (release = res)) : t === 'гайка' ? Promise.resolve([product(2, 'Гайка')]) : Promise.reject(new Error('нет связи'))))
    r.live.input('ги')
    await r.fire()
    r.live.input('гайка')
    release([product(1, 'Гильза')])
    await r.fire()
    expect(r.shown.filter((s) => s !== null).map((s) => s!.products.map((p) => p.name))).toEqual([['Гайка']])
  })

  it('a short text or cancel drops the pending search and the list', async () => {
    const r = rig(async () => [product(1, 'Болт')])
    r.live.input('болт')
    r.live.input('б')
    expect(r.timers).toHaveLength(0)
    r.live.input('болт')
    r.live.cancel()
    await r.fire()
    expect(r.shown).toEqual([null, null])
  })

  it.each([
    [-1, 3, 1, 0],
    [-1, 3, -1, 2],
    [2, 3, 1, 0],
    [0, 3, -1, 2],
    [0, 0, 1, -1],
  ] as const)('selection %i of %i moved by %i is %i', (at, count, by, expected) => {
    expect(stepSelection(at, count, by)).toBe(expected)
  })
})
