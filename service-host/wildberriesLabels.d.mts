import type { IncomingMessage, ServerResponse } from 'node:http'
import type { MemoryBackend, WbSupplyRecord, WbTaskRecord } from '../ui/demo/index.ts'

export const WB_LABEL_MM: { width: number; height: number }
export function stickerCode(taskId: number): string
export function wbStickerPdf(task: WbTaskRecord): Promise<Buffer>
export function wbSupplyQrPdf(supply: Pick<WbSupplyRecord, 'id'>): Promise<Buffer>
export function wbProductLabelPdf(barcode: string, article: string): Promise<Buffer>
export function serveWildberriesLabel(req: IncomingMessage, res: ServerResponse, url: URL, backend: MemoryBackend): boolean
