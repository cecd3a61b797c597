import { afterEach, describe, expect, it } from 'vitest'
import { normalisePhotosPerScan, PHOTO_SOURCE_KEY, PHOTOS_PER_SCAN_KEY, photosToAttach, readPhotoSettings, writePhotoSettings } from './photoSettings'

afterEach(() => localStorage.clear())

describe('photo settings', () => {
  it.each([
    [undefined, 1], [0, 1], [1, 1], [3, 3], [5, 5], [6, 5], [2.6, 3], ['4', 4], ['x', 1], [null, 1], [-2, 1],
  ])('photos per scan %j reads as %i', (v, n) => expect(normalisePhotosPerScan(v)).toBe(n))

  it('are kept in local storage under their keys; unknown values read as the defaults', () => {
    expect(readPhotoSettings()).toEqual({ source: 'camera', perScan: 1 })
    expect(writePhotoSettings({ source: 'gallery', perScan: 9 })).toEqual({ source: 'gallery', perScan: 5 })
    expect([localStorage.getItem(PHOTO_SOURCE_KEY), localStorage.getItem(PHOTOS_PER_SCAN_KEY)]).toEqual(['"gallery"', '5'])
    localStorage.setItem(PHOTO_SOURCE_KEY, '"scanner"')
    expect(readPhotoSettings().source).toBe('camera')
  })

  it.each([
    // files chosen, photos the unit has, per scan → taken, refused
    [1, 0, 1, 1, null],
    [3, 0, 3, 3, null],
    [3, 0, 2, 2, 'За один раз — не больше 2 фото (настройка «Фото за раз»)'],
    [3, 3, 5, 2, 'К этой единице уже 5 фото'],
    [1, 5, 5, 0, 'К этой единице уже 5 фото'],
    [4, 2, 3, 3, 'К этой единице уже 5 фото'],
  ])('%i chosen, %i on the unit, %i per scan → %i taken', (chosen, existing, perScan, taken, refused) => {
    const files = Array.from({ length: chosen }, (_, i) => i)
    const r = photosToAttach(files, existing, perScan)
    expect([r.take.length, r.refused]).toEqual([taken, refused])
  })
})
