import { afterEach, describe, expect, it } from 'vitest'
import { installFakeBridge, removeFakeBridge } from '../../core/testing/fakeBridge'
import { listenNativeScans, NATIVE_SOURCE_KEY, parseNativeScan, takeNativeScan } from './nativeScan'

afterEach(() => {
  localStorage.clear()
  removeFakeBridge()
})

describe('parseNativeScan', () => {
  it.each([
    ['the first usable field in order wins', { action: 'a', data: '4600439931256', barcode_string: '2000000000015' }, '2000000000015', 'barcode_string'],
    ['"null" is skipped', { action: 'a', barcode_string: 'null', scannerdata: '4600439931256' }, '4600439931256', 'scannerdata'],
    ['a byte-array print is skipped', { action: 'a', barcode_string: '[B@1b6d3586', data: 'ABCD' }, 'ABCD', 'data'],
    ['fewer than 4 characters are skipped', { action: 'a', value: '123', code: '1234' }, '1234', 'code'],
    ['a number is taken as text', { action: 'a', SCAN_BARCODE1: 46004399 }, '46004399', 'SCAN_BARCODE1'],
    ['a vendor field name', { action: 'a', 'com.ubx.datawedge.data_string': 'X123456' }, 'X123456', 'com.ubx.datawedge.data_string'],
  ])('%s', (_what, extras, code, field) => {
    expect(parseNativeScan(JSON.stringify(extras))).toEqual({ ok: true, code, source: { action: 'a', field } })
  })

  it.each([
    ['only a byte-array print', { action: 'a', barcode: '[B@7c3df479' }],
    ['no known field', { action: 'a', other: '4600439931256' }],
    ['not JSON', 'scan:4600439931256'],
    ['JSON but not an object', '[1,2]'],
  ])('%s yields no scan', (_what, detail) => {
    expect(parseNativeScan(typeof detail === 'string' ? detail : JSON.stringify(detail)).ok).toBe(false)
  })

  it('tries the remembered field first, for the same action only', () => {
    const extras = JSON.stringify({ action: 'scan', barcode_string: 'FIRST-1', data: 'SECOND-2' })
    expect(parseNativeScan(extras, { action: 'scan', field: 'data' })).toMatchObject({ code: 'SECOND-2' })
    expect(parseNativeScan(extras, { action: 'other', field: 'data' })).toMatchObject({ code: 'FIRST-1' })
    expect(parseNativeScan(extras, { action: 'scan', field: 'missing' })).toMatchObject({ code: 'FIRST-1' })
  })
})

describe('takeNativeScan', () => {
  it('remembers the source that carried a code and logs an event without one', () => {
    const lines: string[] = []
    expect(takeNativeScan(JSON.stringify({ action: 'A', data: 'X1234', value: 'Y1234' }), (l) => lines.push(l))).toBe('Y1234')
    expect(JSON.parse(localStorage.getItem(NATIVE_SOURCE_KEY)!)).toEqual({ action: 'A', field: 'value' })
    expect(takeNativeScan(JSON.stringify({ action: 'A', barcode: '[B@1b6d3586' }), (l) => lines.push(l))).toBeUndefined()
    expect(lines).toHaveLength(1)
    expect(lines[0]).toContain('[B@1b6d3586')
  })
})

describe('listenNativeScans', () => {
  it('takes window events and host events until undone', async () => {
    const host = installFakeBridge(() => 7, { desktop: true })
    const codes: string[] = []
    const stop = listenNativeScans((c) => codes.push(c), () => {})
    await Promise.resolve()
    window.dispatchEvent(new CustomEvent('native-scan', { detail: JSON.stringify({ action: 'x', data: 'WIN-0001' }) }))
    host.emit({ event: 'native-scan', id: 7, payload: JSON.stringify({ action: 'x', data: 'HOST-0002' }) })
    stop()
    await Promise.resolve()
    window.dispatchEvent(new CustomEvent('native-scan', { detail: JSON.stringify({ action: 'x', data: 'LATE-0003' }) }))
    expect(codes).toEqual(['WIN-0001', 'HOST-0002'])
    expect(host.calls.map((c) => c.cmd)).toEqual(['plugin:event|listen', 'plugin:event|unlisten'])
  })
})
