import { describe, expect, it } from 'vitest'
import { createDurableCopy } from './durableCopy'
import { journalCopyFile, type HostJournal } from './journalCopy'

/** A host journal in memory: its entries and every record appended to it. */
function memoryJournal(entries: Record<string, unknown> = {}) {
  const records: Array<{ put: Record<string, unknown>; del: string[] }> = []
  const held = structuredClone(entries)
  const journal: HostJournal = {
    entries: structuredClone(entries),
    keptAside: null,
    async change(put, del) {
      records.push(structuredClone({ put, del }))
      for (const k of del) delete held[k]
      Object.assign(held, structuredClone(put))
    },
  }
  return { journal, records, held }
}

const row = (key: string, code = 'A') => ({ key, code, scannedAt: `2026-01-01T00:00:0${key.slice(-1)}Z` })
type Row = ReturnType<typeof row>

describe('a list kept in a host journal', () => {
  const a = row('acc:1')
  const b = row('acc:2')
  it.each([
    ['a record added to the list', [a], [a, b], [{ put: { 'acc:2': b }, del: [] }]],
    ['a record changed', [a, b], [a, { ...b, code: 'B' }], [{ put: { 'acc:2': { ...b, code: 'B' } }, del: [] }]],
    ['a record gone', [a, b], [b], [{ put: {}, del: ['acc:1'] }]],
    ['nothing changed', [a, b], [b, a], []],
  ])('%s appends only what changed', async (_name, before, after, expected) => {
    const { journal, records } = memoryJournal(Object.fromEntries(before.map((r) => [r.key, r])))
    const file = journalCopyFile(journal, 'scans')
    await file.set('scans', after)
    await file.save()
    expect(records).toEqual(expected)
    expect(await file.get('scans')).toEqual(expect.arrayContaining(after))
  })

  it('reads the list back from the entries, and refuses other values', async () => {
    const { journal } = memoryJournal({ 'acc:1': a, 'acc:2': b, stray: { key: 'other' } })
    const file = journalCopyFile(journal, 'scans')
    expect(await file.get('scans')).toEqual([a, b])
    expect(await file.get('other')).toBeUndefined()
    await expect(file.set('other', [])).rejects.toThrow()
    await expect(file.set('scans', [{ code: 'no key' }])).rejects.toThrow()
  })

  it('moves a file of the older kind (the whole list under its name) into keyed entries', async () => {
    const { journal, records, held } = memoryJournal({ scans: [a, b] })
    const file = journalCopyFile(journal, 'scans')
    expect(await file.get('scans')).toEqual([a, b])
    const c = row('acc:3')
    await file.set('scans', [a, b, c])
    expect(records).toEqual([{ put: { 'acc:1': a, 'acc:2': b, 'acc:3': c }, del: ['scans'] }])
    expect(held).toEqual({ 'acc:1': a, 'acc:2': b, 'acc:3': c })
    await file.set('scans', [a, b, c, row('acc:4')])
    expect(records[1]).toEqual({ put: { 'acc:4': row('acc:4') }, del: [] })
  })

  it('under a durable copy, each new scan of a long queue is one record of one scan', async () => {
    const { journal, records } = memoryJournal()
    let rows: Row[] = []
    const copy = createDurableCopy<Row[]>({
      open: async () => journalCopyFile(journal, 'scans'),
      key: 'scans',
      readLocal: () => rows,
      writeLocal: (v) => ((rows = v), true),
      empty: [],
      accepts: (v): v is Row[] => Array.isArray(v),
      log: () => {},
      texts: { notOpened: '', notRead: '', notWritten: '' },
    })
    await copy.ready
    for (let i = 0; i < 50; i++) {
      rows = [...rows, row(`acc:${i}`)]
      expect(await copy.persist()).toBe(true)
    }
    expect(records).toHaveLength(50)
    expect(records.every((r) => Object.keys(r.put).length === 1 && r.del.length === 0)).toBe(true)
  })
})
