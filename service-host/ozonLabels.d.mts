import type { IncomingMessage, ServerResponse } from 'node:http'
import type { MemoryBackend, OzonPostingRecord } from '../ui/demo/index.ts'

export const OZON_LABEL_MM: { width: number; height: number }
export function ozonPostingPdf(posting: Pick<OzonPostingRecord, 'postingNumber' | 'clientId'>): Promise<Buffer>
export function ozonProductPdf(barcode: string, name: string): Promise<Buffer>
export function serveOzonLabel(req: IncomingMessage, res: ServerResponse, url: URL, backend: MemoryBackend): boolean
