/**
 * The "partsstore" store: the commands over the channel, the loaded zones
 * with their cell trees, the label print queue and the file flows (import,
 * export, template). Screens call its actions and show the texts they get.
 */
import { defineStore } from 'pinia'
import { computed, ref } from 'vue'
import { demoBackend } from '../core/demoChannel'
import { revealSaved, saveDownload, saveUrlDownload } from '../core/downloads'
import { command, isDemoMode, onPush, serverBaseUrl } from '../core/session'
import { acceptPartsUpload, partsExportFile } from '../demo'
import { createPartsCommands, type Ask } from './commands'
import { writeTable } from './csvTable'
import { failureText, ZONES_LOAD_FAILED } from './failures'
import { exportUrl, TEMPLATE_BASE, TEMPLATE_SHEET, templateRows } from './importColumns'
import { uploadForPreview, runImport, type ImportFlowDeps } from './importFlow'
import { clampCopies, createLabelQueue, labelResultText, labelSize, selectionProblem, type LabelKind } from './labelQueue'
import { flattenZones, type Zone } from './records'
import type { ReadProgress } from './sheetReading'
import { readXlsxOffThread } from './sheetReader'
import { uploadImportFile, type UploadReply } from './upload'
import { useSettingsStore } from '../core/settings'
import { withBom } from '../core/downloads'

const spreadsheet = () => import('./spreadsheet')

function demoUpload(token: string, fileName: string, bytes: Uint8Array): UploadReply {
  const r = acceptPartsUpload(demoBackend(), token, fileName, bytes)
  if (r.ok !== true) throw new Error(typeof r.error === 'string' ? r.error : 'Не удалось загрузить файл')
  return { uploadId: String(r.uploadId), size: Number(r.size) || 0, kind: String(r.kind ?? '') }
}

let askOverride: Ask | null = null

/** Tests only: the parts store's commands go to `ask` (none: back to the session's channel). */
export function usePartsChannel(ask?: Ask): void {
  askOverride = ask ?? null
}

export const usePartsStore = defineStore('partsstore', () => {
  const commands = createPartsCommands((name, payload, timeoutMs) => (askOverride ? askOverride(name, payload, timeoutMs) : command(name, payload ?? {}, timeoutMs)))
  const labels = createLabelQueue({
    send: (r) => commands.labelsPrint(r),
    failureText: (err) => failureText('printLabels', err),
    setTimer: (fn, ms) => setTimeout(fn, ms),
  })
  const zones = ref<Zone[]>([])
  const zonesError = ref('')
  const zonesLoading = ref(false)
  const rows = computed(() => flattenZones(zones.value))

  /** Every zone with its cell tree. */
  async function loadZones(): Promise<void> {
    zonesLoading.value = true
    try {
      zones.value = await commands.cellTree()
      zonesError.value = ''
    } catch {
      zonesError.value = ZONES_LOAD_FAILED
    } finally {
      zonesLoading.value = false
    }
  }

  /** Prints the labels of a selection; answers the line to show. */
  async function printLabels(kind: LabelKind, ids: readonly number[], copies: unknown): Promise<{ text: string; ok: boolean }> {
    const problem = selectionProblem(ids.length)
    if (problem) return { text: problem, ok: false }
    const print = useSettingsStore().print
    const share = await labels.print({ kind, ids: [...ids], copies: clampCopies(copies), size: labelSize(print.widthMm, print.heightMm) })
    return { text: labelResultText(kind, share), ok: share.printedCount > 0 && share.failedIds.length === 0 }
  }

  const importDeps: ImportFlowDeps = {
    commands,
    onPush,
    upload: async (token, fileName, bytes) =>
      isDemoMode() ? demoUpload(token, fileName, bytes) : uploadImportFile(serverBaseUrl(), token, fileName, bytes),
    readXlsx: readXlsxOffThread,
    setTimer: (fn, ms) => {
      const t = setTimeout(fn, ms)
      return () => clearTimeout(t)
    },
  }

  /** Saves the export into Downloads; answers the saved path (null when the browser took it). */
  async function exportToDownloads(): Promise<{ path: string | null; rows: number; products: number }> {
    const r = await commands.exportProducts()
    if (isDemoMode()) {
      const file = partsExportFile(demoBackend(), r.url.replace(/^.*\/exports\//, '').replace(/\.xlsx$/, ''))
      if (!file) throw new Error('Сервер не вернул файл выгрузки')
      const bytes = (await spreadsheet()).tableToXlsx(file.rows, 'Товары')
      return { path: await saveDownload(r.fileName, bytes), rows: r.rows, products: r.products }
    }
    const path = await saveUrlDownload(exportUrl(r.url, serverBaseUrl()), r.fileName)
    if (path) void revealSaved(path, '[склад деталей] не показали выгрузку в проводнике:')
    return { path, rows: r.rows, products: r.products }
  }

  async function saveTemplate(kind: 'csv' | 'xlsx'): Promise<string> {
    const name = `${TEMPLATE_BASE}.${kind}`
    const data = kind === 'csv' ? withBom(writeTable(templateRows())) : (await spreadsheet()).tableToXlsx(templateRows(), TEMPLATE_SHEET)
    const path = await saveDownload(name, data)
    void revealSaved(path, '[импорт] не показали шаблон в проводнике:')
    return path
  }

  return {
    commands,
    zones,
    zonesError,
    zonesLoading,
    rows,
    loadZones,
    printLabels,
    exportToDownloads,
    saveTemplate,
    uploadForPreview: (fileName: string, bytes: Uint8Array, onReading?: (p: ReadProgress) => void) => uploadForPreview(importDeps, fileName, bytes, onReading),
    runImport: (...a: Parameters<typeof runImport> extends [unknown, ...infer R] ? R : never) => runImport(importDeps, ...a),
  }
})
