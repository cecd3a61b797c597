import type { IncomingMessage, ServerResponse } from 'node:http'

export function sampleLabelCode(widthMm: number, heightMm: number): string
export function sampleLabelPdf(widthMm: number, heightMm: number): Buffer
export function serveLabelFile(req: IncomingMessage, res: ServerResponse, url: URL): boolean
