import type { MemoryBackend } from '../ui/demo/index'

export function pdfPageCount(pdf: Buffer): number
export function partsStoreRoutes(backend: MemoryBackend): Record<string, (body: unknown, query: URLSearchParams) => unknown>
