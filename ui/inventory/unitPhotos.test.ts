import { flushPromises, mount } from '@vue/test-utils'
import { describe, expect, it, vi } from 'vitest'
import { normaliseScan } from './records'
import UnitPhotosDialog from './UnitPhotosDialog.vue'
import { moveTargets, normalisePhoto, sizeText } from './unitPhotos'

const unit = (scanUid: string, extra: Record<string, unknown> = {}) => normaliseScan({ scanUid, code: `C-${scanUid}`, id: 1, ...extra })!

describe('unit photos', () => {
  it.each([
    [{ id: 'p1', scanUid: 'u', url: '/inventory/photos/p1', size: 5, createdAt: 't' }, { id: 'p1', scanUid: 'u', url: 'http://h:1/inventory/photos/p1', size: 5, createdAt: 't' }],
    [{ id: 7, url: 'https://cdn/x.jpg' }, { id: '7', scanUid: '', url: 'https://cdn/x.jpg', size: 0, createdAt: '' }],
    [{ id: 'p1' }, null],
    [{ url: '/x' }, null],
    ['x', null],
  ])('%j is read as %j', (raw, photo) => expect(normalisePhoto(raw, 'http://h:1/')).toEqual(photo))

  it('a photo moves only to another delivered unit with room', () => {
    const scans = [unit('a'), unit('b', { photos: 5 }), unit('c', { pending: true }), unit('d', { photos: 4 })]
    expect(moveTargets(scans, 'a').map((s) => s.scanUid)).toEqual(['d'])
  })

  it.each([[500, '1 КБ'], [830 * 1024, '830 КБ'], [1.25 * 1024 * 1024, '1,3 МБ']])('%i bytes read "%s"', (n, t) => expect(sizeText(n)).toBe(t))

  it('the dialog deletes after a second tap and moves to the unit chosen', async () => {
    const change = vi.fn(async () => '')
    const list = vi.fn(async () => ({ photos: [normalisePhoto({ id: 'p1', url: '/p1', size: 2048 }, 'http://h')!], error: '' }))
    const w = mount(UnitPhotosDialog, { props: { scan: unit('a', { photos: 1 }), units: [unit('a'), unit('d', { unitNo: '12' })], list, change, archive: async () => '' } })
    await flushPromises()
    expect(w.findAll('[data-test="unit-photo"]').map((p) => p.attributes('data-id'))).toEqual(['p1'])
    await w.get('[data-test="unit-photo-delete"]').trigger('click')
    expect(change).not.toHaveBeenCalled()
    await w.get('[data-test="unit-photo-delete-yes"]').trigger('click')
    await flushPromises()
    expect(change).toHaveBeenLastCalledWith('p1', undefined)
    await w.get('[data-test="unit-photo-move"]').trigger('click')
    expect(w.findAll('[data-test="unit-photos-target"]').map((t) => t.text())).toEqual(['№ 12 · C-d · без названия · фото 0'])
    await w.get('[data-test="unit-photos-target"]').trigger('click')
    await flushPromises()
    expect(change).toHaveBeenLastCalledWith('p1', 'd')
    expect(list).toHaveBeenCalledTimes(3)
  })
})
