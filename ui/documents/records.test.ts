import { describe, expect, it } from 'vitest'
import { checkedPositionCount, normaliseDocument, normaliseDocuments, normaliseImageUrl, normalisePosition, positionStatus } from './records'

describe('document records', () => {
  it('drops records without an id and fills defaults', () => {
    expect(normaliseDocuments([{ number: '1' }, null, 'x', { id: 'a' }])).toEqual([
      {
        id: 'a', type: '', number: '', date: '', counterparty: '', warehouse: '', status: 'pending',
        totalPositions: 0, checkedPositions: 0, products: [],
      },
    ])
  })

  it('keeps known enumerations only and empties products', () => {
    const d = normaliseDocument({ id: 'a', status: 'weird', stage: 'collecting', products: [{ id: 'p' }], totalPositions: '7' })!
    expect([d.status, d.stage, d.products, d.totalPositions]).toEqual(['pending', 'collecting', [], 7])
    expect(normaliseDocument({ id: 'a', stage: 'lost' })!.stage).toBeUndefined()
  })

  it('moves an Ozon status aside', () => {
    const d = normaliseDocument({ id: 'o', source: 'ozon', status: 'awaiting_packaging' })!
    expect([d.status, d.ozonStatus]).toEqual(['pending', 'awaiting_packaging'])
    expect(normaliseDocument({ id: 'o', source: 'ozon', status: 'completed' })!.status).toBe('completed')
  })
})

describe('position records', () => {
  it('maps the contents keys', () => {
    const p = normalisePosition({
      id: 'p1', name: 'Кружка', code: '00123', barcodes: ['4600000000017', 5, ''], quantity: 2.5, cell: 'A-1',
      cells: [{ name: 'B-2', stock: 1 }, { name: 'A-1', stock: 7 }], warehouseStock: 40, productFieldValue: '  полка 3 ',
      markable: true, article: ' ', image_url: '/img/p1.png',
    }, 'http://localhost:8787')!
    expect(p).toMatchObject({
      assortmentId: 'p1', required: 2.5, checked: 0, status: 'pending', barcodes: ['4600000000017', '5'],
      cellStock: 7, warehouseStock: 40, productFieldValue: 'полка 3', markable: true, imageUrl: 'http://localhost:8787/img/p1.png',
    })
    expect(p.article).toBeUndefined()
  })

  it('takes the only cell entry when the position names no cell', () => {
    expect(normalisePosition({ id: 'p', cells: [{ name: 'X', stock: 3 }] })!.cellStock).toBe(3)
    expect(normalisePosition({ id: 'p', cells: [{ name: 'X', stock: 3 }, { name: 'Y', stock: 1 }] })!.cellStock).toBeUndefined()
  })

  it.each([
    ['data:image/png;base64,AAAA', 'data:image/png;base64,AAAA'],
    ['https://cdn.test/a.jpg', 'https://cdn.test/a.jpg'],
    ['javascript:alert(1)', undefined],
    ['file:///etc/passwd', undefined],
    ['data:text/html,<b>', undefined],
  ])('image %s', (raw, expected) => {
    expect(normaliseImageUrl(raw, 'http://localhost:8787')).toBe(expected)
  })

  it.each([
    [0, 5, 'pending'], [2, 5, 'partial'], [5, 5, 'done'], [6, 5, 'excess'], [0.5, 0.5, 'done'],
  ] as const)('checked %d of %d is %s', (checked, required, status) => {
    expect(positionStatus(checked, required)).toBe(status)
  })

  it('counts done and excess positions as checked', () => {
    const ps = [0, 5, 6, 2].map((checked, i) => ({ ...normalisePosition({ id: `p${i}`, quantity: 5 })!, checked, status: positionStatus(checked, 5) }))
    expect(checkedPositionCount(ps)).toBe(2)
  })
})
