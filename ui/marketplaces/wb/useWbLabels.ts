/**
 * The label buttons of the list and the task page: one print per button at a
 * time, the notes of the last print, and the pipeline's real parts behind
 * them (tests give their own through `useWbLabelDeps`).
 */
import { ref } from 'vue'
import { writeAppLog } from '../../core/appLog'
import type { Payload } from '../../core/envelope'
import { validateLabelLink } from '../../core/labelFetch'
import { useSettingsStore } from '../../core/settings'
import { printOps } from '../../printing/printOps'
import { marketplaceRequest } from '../channel'
import { printWbLabel, type LabelPrintDeps, type WbLabelKind } from './labelPrint'
import { useWbStore } from './wbStore'

let overrides: Partial<LabelPrintDeps> = {}

/** Tests (and nothing else) replace parts of the pipeline; no argument restores it. */
export function useWbLabelDeps(patch: Partial<LabelPrintDeps> = {}): void {
  overrides = patch
}

function labelDeps(): LabelPrintDeps {
  const settings = useSettingsStore()
  const wb = useWbStore()
  return {
    ask: (name, payload) => marketplaceRequest(name, payload),
    checkLink: (link) => void validateLabelLink(link),
    print: (link, options) => printOps.printLabelByUrl(link, options),
    printSettings: () => settings.print,
    markPrinted: async () => {
      settings.applySettings({ print: { labelsPrinted: true } })
      await settings.saveDeviceSettings()
    },
    warn: (line) => {
      console.warn(line)
      writeAppLog(line)
    },
    startWait: (seconds) => wb.startWait(seconds),
    ...overrides,
  }
}

/** Busy buttons are keyed by what they print (`sticker:123`, `supplyQr:WB-GI-1`, …). */
export function useWbLabels() {
  const busy = ref<Record<string, boolean>>({})
  const note = ref('')
  const failure = ref<Error | null>(null)

  function clearNotes() {
    note.value = ''
    failure.value = null
  }

  async function print(kind: WbLabelKind, key: string, payload: Payload, what?: 'Этикетка' | 'Стикер'): Promise<void> {
    const id = `${kind}:${key}`
    if (busy.value[id]) return
    busy.value = { ...busy.value, [id]: true }
    clearNotes()
    try {
      const outcome = await printWbLabel(kind, payload, labelDeps(), what)
      if (outcome.ok) note.value = outcome.text
      else failure.value = outcome.error
    } finally {
      const { [id]: _done, ...rest } = busy.value
      busy.value = rest
    }
  }

  const isBusy = (kind: WbLabelKind, key: string) => busy.value[`${kind}:${key}`] === true

  return { note, failure, print, isBusy, clearNotes }
}
