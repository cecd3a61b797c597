import type { IncomingMessage, ServerResponse } from 'node:http'
import type { MemoryBackend, WbSupplyRecord, WbTaskRecord } from '../ui/demo/index.ts'

export const WB_LABEL_MM: { width: number; height: number }
export function stickerCode(taskId: number): string
export function wbStickerPdf(task: WbTaskRecord): Promise<Buffer>
export function wbSupplyQrPdf(supply: Pick<WbSupplyRecord, 'id'>): Promise<Buffer>
export function wbProductLabelPdf(barcode: string, article: string): Promise<Buffer>
export function linearBars(doc: PDFKit.PDFDocument, symbol: string, text: string, x: number, y: number, w: number, h: number): void
export function sendLabelPdf(res: ServerResponse, made: Promise<Buffer> | undefined): void
export function serveWildberriesLabel(req: IncomingMessage, res: ServerResponse, url: URL, backend: MemoryBackend): boolean
