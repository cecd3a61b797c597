/**
 * A picking session for tests: the real document holder, the real contents
 * request and the in-memory backend behind a demonstration channel (through
 * the documents kit), with a document whose products are known.
 */
import { reactive } from 'vue'
import type { Payload } from '../../../core/envelope'
import { refusalFrom, requestOn } from '../../../core/requests'
import { accountDocuments, DEMO_ACCOUNT_ID, type MemoryBackend } from '../../../demo'
import { useDocumentStore } from '../../documentStore'
import type { DocumentRecord } from '../../records'
import { documentsKit, type DocumentsKit } from '../../testing/documentsKit'
import { deviceContentsSource } from '../contentsSource'
import { createPickingSession, type PickingCapabilities, type PickingChannel, type PickingDeps, type WorkPreferences } from '../pickingSession'

export const DOC_ID = 'doc-picking'

/** Products of the test document: barcodes, quantities and marking as the tests need them. */
export const PRODUCTS = {
  shoes: { id: 'p-shoes', name: 'Кроссовки', barcode: '4601234567893', quantity: 5, markable: true, cell: 'B-02' },
  mug: { id: 'p-mug', name: 'Кружка', barcode: '2000000000015', quantity: 2, markable: false, cell: 'A-01' },
  cable: { id: 'p-cable', name: 'Кабель', barcode: '0002900000001', quantity: 1, markable: false, cell: '' },
} as const

/** A product of the account that is not in the test document. */
export const ELSEWHERE = { id: 'p-lamp', name: 'Лампа настольная', barcode: '4680000000019', article: 'LMP-7' }

export function addTestDocument(backend: MemoryBackend, id = DOC_ID, number = '5001'): void {
  const docs = accountDocuments(backend, DEMO_ACCOUNT_ID)!
  for (const p of Object.values(PRODUCTS))
    docs.products.set(p.id, {
      id: p.id,
      name: p.name,
      code: p.id.toUpperCase(),
      barcodes: [p.barcode],
      article: `ART-${p.id}`,
      markable: p.markable,
      cell: p.cell,
      cellStock: 3,
      warehouseStock: 9,
    })
  docs.products.set(ELSEWHERE.id, { ...ELSEWHERE, code: 'LAMP', barcodes: [ELSEWHERE.barcode], markable: false, cell: '', cellStock: 0, warehouseStock: 0 })
  const doc = {
    id,
    type: 'shipment',
    number,
    moment: '2026-12-01 10:00:00',
    counterparty: 'ООО «Ромашка»',
    warehouse: 'Основной склад',
    status: 'pending' as const,
    positions: Object.values(PRODUCTS).map((p) => ({ productId: p.id, quantity: p.quantity })),
    inFilter: true,
    stateName: 'Новый',
  }
  docs.byId.set(id, doc)
}

export function record(id = DOC_ID, extra: Partial<DocumentRecord> = {}): DocumentRecord {
  return {
    id,
    type: 'shipment',
    number: '5001',
    date: '2026-12-01 10:00:00',
    counterparty: 'ООО «Ромашка»',
    warehouse: 'Основной склад',
    status: 'pending',
    totalPositions: 3,
    checkedPositions: 0,
    products: [],
    ...extra,
  }
}

/** The session's channel over the kit's demonstration channel. */
export function kitChannel(kit: DocumentsKit): PickingChannel {
  return {
    connected: () => kit.channel.getState().connect,
    request: (name, payload, timeoutMs) => requestOn(kit.channel, name, payload, { timeoutMs }),
    async command(name, payload, timeoutMs) {
      const p = await requestOn(kit.channel, name, payload, { timeoutMs })
      const refusal = refusalFrom(p)
      if (refusal) throw refusal
      return p
    },
    send: (name, payload) => (kit.channel.send(name, payload), true),
    onPush: (name, handler) => kit.channel.onCommand(name, handler),
  }
}

export interface PickingKit extends DocumentsKit {
  session: ReturnType<typeof createPickingSession>
  work: WorkPreferences
  caps: PickingCapabilities
  /** feedback calls in order: "playSuccess", "notifyError", … */
  played: string[]
  logs: string[]
  finished: Array<{ auto: boolean }>
  documents: ReturnType<typeof useDocumentStore>
  /** a new session on the same storage and backend (the screen opened again) */
  reopen(over?: Partial<PickingDeps>): ReturnType<typeof createPickingSession>
  sentOf(c: string): Payload[]
}

export function pickingKit(over: Partial<PickingDeps> = {}): PickingKit {
  const kit = documentsKit()
  addTestDocument(kit.backend)
  const work = reactive<WorkPreferences>({ defaultTab: 'list', afterScan: 'card', autoComplete: false, saveDraft: true })
  const caps = reactive<PickingCapabilities>({ checkMarksOnScan: true, rolesEnabled: false, canEdit: true })
  const played: string[] = []
  const logs: string[] = []
  const finished: Array<{ auto: boolean }> = []
  const names = ['playSuccess', 'playChecked', 'playError', 'playTooMuch', 'impactMedium', 'notifyError', 'notifyWarning'] as const
  const feedback = Object.fromEntries(names.map((n) => [n, async () => void played.push(n)])) as unknown as PickingDeps['feedback']
  const documents = useDocumentStore()
  const make = (extra: Partial<PickingDeps> = {}) =>
    createPickingSession({
      documents,
      contents: deviceContentsSource(),
      channel: kitChannel(kit),
      feedback,
      work: () => work,
      capabilities: () => caps,
      demo: () => false,
      onFinish: (r) => finished.push(r),
      log: (line) => logs.push(line),
      ...over,
      ...extra,
    })
  return {
    ...kit,
    session: make(),
    work,
    caps,
    played,
    logs,
    finished,
    documents,
    reopen: make,
    sentOf: (c) => kit.sent.filter((m) => m.c === c).map((m) => m.p),
  }
}
