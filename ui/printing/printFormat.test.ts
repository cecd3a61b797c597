import { describe, expect, it } from 'vitest'
import { defaultSettings, mergeSettings, type PrintSettings } from '../core/settingsModel'
import {
  changeFormat,
  choosePrinter,
  currentSizeLine,
  labelFormatOf,
  nextRotation,
  offsetFromField,
  presetSelected,
  printerFormat,
  profileSummary,
  readProfile,
  rotationTooltip,
  sizeFromField,
  SIZE_PRESETS,
} from './printFormat'

const base = (): PrintSettings => defaultSettings({ desktopHost: true, touch: false }).print
const merged = (print: PrintSettings, partial: Partial<PrintSettings>) =>
  mergeSettings({ ...defaultSettings({ desktopHost: true, touch: false }), print }, { print: partial }).print

describe('size and shift fields', () => {
  it.each([
    ['500', 'width', 400],
    ['5', 'width', 10],
    ['', 'width', 58],
    ['0', 'height', 40],
    ['abc', 'height', 40],
    ['-20', 'height', 10],
    ['57,5', 'width', 57.5],
    ['100', 'height', 100],
  ] as const)('%j in the %s field stores %d', (raw, axis, stored) => {
    expect(sizeFromField(raw, axis)).toBe(stored)
  })

  it.each([
    ['12.34', 10],
    ['-3.25', -3.2],
    ['3.25', 3.3],
    ['1.15', 1.2],
    ['-10.04', -10],
    ['', 0],
    ['x', 0],
    ['-0.01', 0],
  ] as const)('shift %j stores %d', (raw, stored) => {
    expect(Object.is(offsetFromField(raw), stored)).toBe(true)
  })
})

describe('texts of the format', () => {
  it('the current-size line rounds the sizes and names a rotation', () => {
    expect(currentSizeLine({ ...base(), widthMm: 57.6, heightMm: 40.4 })).toBe('Сейчас: 58 × 40 мм')
    expect(currentSizeLine({ ...base(), rotation: 90 })).toBe('Сейчас: 58 × 40 мм, поворот 90°')
  })

  it('a profile summary shows the stored numbers, the rotation and the purpose', () => {
    const profile = readProfile({ widthMm: 57.5, heightMm: 40, rotation: 270, purpose: 'label' })!
    expect(profileSummary(profile)).toBe('57.5 × 40 мм, поворот 270°, для этикеток')
    expect(profileSummary(readProfile({ widthMm: 210, heightMm: 297, purpose: 'a4' })!)).toBe('210 × 297 мм, для листов А4')
    expect(profileSummary(readProfile({ widthMm: 58, heightMm: 40, purpose: 'odd' })!)).toBe('58 × 40 мм')
  })

  it('a preset is selected when both rounded sizes match', () => {
    const selected = (w: number, h: number) => SIZE_PRESETS.filter((p) => presetSelected(p, { ...base(), widthMm: w, heightMm: h })).map((p) => p.label)
    expect(selected(58.4, 39.6)).toEqual(['58 × 40'])
    expect(selected(210, 297)).toEqual(['A4'])
    expect(selected(58, 41)).toEqual([])
  })

  it('rotation cycles 0 → 90 → 180 → 270 → 0 with its tooltip', () => {
    expect([0, 90, 180, 270].map(nextRotation)).toEqual([90, 180, 270, 0])
    expect(rotationTooltip(180)).toBe('Повернуть на 90° (сейчас 180°)')
  })

  it('the job format carries the six keys of the settings', () => {
    expect(labelFormatOf({ ...base(), offsetXMm: 1.5, purpose: 'a4' })).toEqual({
      widthMm: 58, heightMm: 40, rotation: 0, fitMode: 'fit', offsetXMm: 1.5, offsetYMm: 0,
    })
  })
})

describe('printer profiles', () => {
  it('choosing a printer with a profile takes its format, purpose normalised', () => {
    const print = { ...base(), printerName: 'A', profiles: { B: { widthMm: 75, heightMm: 120, rotation: 90, fitMode: 'fit', offsetXMm: 1.2, offsetYMm: -0.5, purpose: 'weird' } } }
    const next = merged(print, choosePrinter(print, 'B'))
    expect(next).toMatchObject({ printerName: 'B', widthMm: 75, heightMm: 120, rotation: 90, offsetXMm: 1.2, offsetYMm: -0.5, purpose: 'auto' })
    expect(next.profiles.A).toEqual({ widthMm: 58, heightMm: 40, rotation: 0, fitMode: 'fit', offsetXMm: 0, offsetYMm: 0, purpose: 'auto' })
  })

  it('choosing one without a profile keeps the format and stores it for the previous printer', () => {
    const print = { ...base(), printerName: 'A', widthMm: 100, heightMm: 150, rotation: 180 as const, purpose: 'label' }
    const next = merged(print, choosePrinter(print, 'C'))
    expect(next).toMatchObject({ printerName: 'C', widthMm: 100, heightMm: 150, rotation: 180, purpose: 'label' })
    expect(next.profiles).toEqual({ A: { widthMm: 100, heightMm: 150, rotation: 180, fitMode: 'fit', offsetXMm: 0, offsetYMm: 0, purpose: 'label' } })
  })

  it('the system default keeps no profile; a damaged profile is ignored', () => {
    const print = { ...base(), widthMm: 70, profiles: { D: 'garbage' } }
    expect(choosePrinter(print, 'D')).toEqual({ profiles: { D: 'garbage' }, printerName: 'D' })
    expect(choosePrinter({ ...print, printerName: 'D' }, null)).toMatchObject({ printerName: null })
  })

  it('a format change is stored as the chosen printer profile', () => {
    const print = { ...base(), printerName: 'A' }
    expect(changeFormat(print, { widthMm: 75 }).profiles).toEqual({ A: expect.objectContaining({ widthMm: 75, heightMm: 40 }) })
    expect(changeFormat(base(), { widthMm: 75 }).profiles).toEqual({})
  })

  it.each([
    ['the chosen printer: the current format', 'A', { widthMm: 100, rotation: 180 }],
    ['another printer with a profile: its profile', 'B', { widthMm: 58, heightMm: 40, rotation: 90, offsetXMm: 1.5 }],
    ['a printer never set up here: the current format', 'C', { widthMm: 100, rotation: 180 }],
  ])('a job on %s', (_name, printer, expected) => {
    const print = {
      ...base(),
      printerName: 'A',
      widthMm: 100,
      heightMm: 150,
      rotation: 180 as const,
      profiles: { B: { widthMm: 58, heightMm: 40, rotation: 90, fitMode: 'fit', offsetXMm: 1.5, offsetYMm: 0, purpose: 'label' } },
    }
    expect(printerFormat(print, printer)).toMatchObject(expected)
  })
})
