import { describe, expect, it } from 'vitest'
import { defaultSettings, type PrintSettings } from '../../core/settingsModel'
import { queueBase, registrationFollowUp, type SystemPrinter } from './followUp'
import { createRegistration } from './registration'

const OURS = { printerId: 'prn-1', name: 'raw', comment: 'у Иры' }
const p = (name: string, displayName?: string): SystemPrinter => (displayName === undefined ? { name } : { name, displayName })

describe('the registration follows the system\'s printers', () => {
  it.each([
    ['ours is there', [p('raw'), p('office')], 'office', { kind: 'keep' }],
    ['the default moved to another printer', [p('raw'), p('office')], null, { kind: 'keep' }],
    ['the list is not known yet', null, 'office', { kind: 'keep' }],
    ['renamed: the same shown name', [p('zebra_zd410', 'raw'), p('office')], 'office', { kind: 'move', name: 'zebra_zd410', reason: 'renamed' }],
    ['reinstalled: "_1" added', [p('raw_1'), p('office')], 'office', { kind: 'move', name: 'raw_1', reason: 'renamed' }],
    ['reinstalled: "(копия 1)" added', [p('RAW (копия 1)'), p('office')], null, { kind: 'move', name: 'RAW (копия 1)', reason: 'renamed' }],
    ['replaced: ours gone, another chosen here', [p('zd420'), p('office')], 'zd420', { kind: 'move', name: 'zd420', reason: 'chosen' }],
    ['two copies of ours: the chosen one', [p('raw_1'), p('raw_2')], 'raw_2', { kind: 'move', name: 'raw_2', reason: 'chosen' }],
    ['removed, nothing chosen', [p('office')], null, { kind: 'gone' }],
    ['removed, the chosen one gone too', [p('office')], 'zd420', { kind: 'gone' }],
    ['no printers at all', [], 'raw', { kind: 'gone' }],
  ] as const)('%s', (_name, printers, chosen, expected) => {
    expect(registrationFollowUp(OURS, printers, chosen)).toEqual(expected)
  })

  it('not registered: nothing to follow', () => {
    expect(registrationFollowUp(null, [p('office')], 'office')).toEqual({ kind: 'keep' })
  })

  it.each([
    ['raw_1', 'raw'],
    ['Zebra ZD410', 'zebra zd410'],
    ['Zebra ZD410 (копия 1)', 'zebra zd410'],
    ['label-2', 'label'],
  ])('queue base of %s', (name, base) => {
    expect(queueBase(name)).toBe(base)
  })

  it('a move is saved and sent to the server at once; a gone printer stays registered and is logged', async () => {
    const settings: PrintSettings = { ...defaultSettings({ desktopHost: true, touch: false }).print, printerName: 'office', registered: { ...OURS } }
    const sent: Array<{ c: string; p: Record<string, unknown> }> = []
    const logs: string[] = []
    const r = createRegistration({
      request: async (c, payload) => {
        sent.push({ c, p: payload })
        return { printerId: 'prn-1' }
      },
      print: () => settings,
      save: async (change) => void Object.assign(settings, change),
      deviceId: async () => 'dev-1',
      computerName: async () => null,
      log: (line) => logs.push(line),
    })
    expect(await r.followPrinters([p('raw_1'), p('office')])).toMatchObject({ kind: 'move', name: 'raw_1' })
    expect(settings.registered).toEqual({ printerId: 'prn-1', name: 'raw_1', comment: 'у Иры' })
    expect(sent).toEqual([{ c: 'printerRegister', p: expect.objectContaining({ name: 'raw_1', comment: 'у Иры', deviceId: 'dev-1' }) }])
    expect(logs).toContain('[печать по команде] принтера «raw» в системе больше нет — регистрация переходит на «raw_1»')

    expect(await r.followPrinters([p('raw_1')])).toEqual({ kind: 'keep' })
    settings.printerName = null
    expect(await r.followPrinters([p('office')])).toEqual({ kind: 'gone' })
    expect(settings.registered).toEqual({ printerId: 'prn-1', name: 'raw_1', comment: 'у Иры' })
    expect(sent).toHaveLength(1)
  })
})
