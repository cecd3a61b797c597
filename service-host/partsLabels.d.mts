import type { HandlerContext, MemoryBackend, PartsLabelJob } from '../ui/demo/index'

export function labelPageSize(size: '42x24' | '58x40'): { w: number; h: number }
export function partsLabelsPdf(job: { size: '42x24' | '58x40'; copies: number; labels: Array<{ code: string; title: string; subtitle: string }> }): Promise<Buffer>
export function installPartsLabels(
  backend: MemoryBackend,
  send: (accountId: string, pdf: Buffer, job: PartsLabelJob, ctx: HandlerContext) => Promise<{ printedOn: string }>,
): void
