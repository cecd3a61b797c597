import type { IncomingMessage, ServerResponse } from 'node:http'
import type { FboSupplyRecord, MemoryBackend } from '../ui/demo/index.ts'

export const FBO_CARGO_MM: { width: number; height: number }
export const FBO_PRODUCT_MM: { width: number; height: number }
export function cargoCode(supplyId: string, key: string): string
export function fboCargoLabelsPdf(supply: FboSupplyRecord): Promise<Buffer>
export function fboProductLabelsPdf(supply: FboSupplyRecord): Promise<Buffer>
export function serveOzonFboLabel(req: IncomingMessage, res: ServerResponse, url: URL, backend: MemoryBackend): boolean
