/**
 * A small stand-in of the desktop host's printing commands, injected as the
 * page's bridge object, for unit tests of the print pipeline. It answers with
 * the host's shapes and texts (JSON keys in sorted order, errors as plain
 * strings) and keeps what the page sent.
 */
import { FakeHost } from '../../core/testing/fakeHost'
import type { MediaTracking } from '../printOps'

export interface FakePrinter {
  name: string
  isDefault?: boolean
  isOnline?: boolean
  /** what the driver holds; null for a driver that names no size */
  size?: { widthMm: number; heightMm: number } | null
  /** a driver that keeps only its own forms ignores custom sizes */
  fixedForms?: boolean
  media?: MediaTracking | null
}

export interface FakeJob {
  command: 'print_bytes' | 'print_test_page'
  printerName: string | null
  format: unknown
  copies: number
  data?: number[]
}

/** The smallest file the host takes for a PDF. */
export const TINY_PDF = new TextEncoder().encode('%PDF-1.4\n%%EOF\n')

function sorted(value: Record<string, unknown>): Record<string, unknown> {
  return Object.fromEntries(Object.entries(value).sort(([a], [b]) => (a < b ? -1 : 1)))
}

export class FakePrintHost extends FakeHost {
  readonly jobs: FakeJob[] = []
  readonly log: string[] = []
  /** link → answer of `fetch_label` */
  readonly files = new Map<string, { status: number; bytes: Uint8Array }>()
  engineReport = 'Всё готово к печати.\nСистема: тестовая\nБиблиотека печати: системная библиотека'

  constructor(public printers: FakePrinter[] = []) {
    super()
  }

  private pageSize(p: FakePrinter): Record<string, unknown> {
    const size = p.size === undefined ? { widthMm: 101.6, heightMm: 152.4 } : p.size
    const current = size ? `${Math.round(size.widthMm)} × ${Math.round(size.heightMm)} мм` : 'драйвер не сообщил размер'
    return sorted({
      current,
      widthMm: size?.widthMm ?? null,
      heightMm: size?.heightMm ?? null,
      supportsCustom: !p.fixedForms,
      media: p.media ? sorted({ ...p.media }) : null,
    })
  }

  private find(name: unknown): FakePrinter | undefined {
    return this.printers.find((p) => p.name === name)
  }

  private target(name: unknown): string | null {
    if (typeof name === 'string') return name
    return this.printers.find((p) => p.isDefault)?.name ?? null
  }

  protected answer(cmd: string, args: Record<string, unknown>): unknown {
    switch (cmd) {
      case 'append_app_log':
        this.log.push(String(args.line))
        return null
      case 'get_printers':
        return this.printers.map((p) =>
          sorted({ name: p.name, displayName: p.name, isDefault: p.isDefault === true, isOnline: p.isOnline !== false }),
        )
      case 'get_page_size': {
        const p = this.find(args.printerName)
        return p ? this.pageSize(p) : this.pageSize({ name: '', size: null })
      }
      case 'set_page_size': {
        const w = Number(args.widthMm)
        const h = Number(args.heightMm)
        if (!(w >= 10 && w <= 1000 && h >= 10 && h <= 1000)) throw 'Размер вне разумных пределов: от 10 до 1000 мм'
        const p = this.find(args.printerName)
        if (!p) throw 'Принтер не открылся — проверьте, подключён ли он'
        if (!p.fixedForms) p.size = { widthMm: w, heightMm: h }
        if (p.media) p.media = { ...p.media, current: p.media.gapChoice }
        return this.pageSize(p)
      }
      case 'print_bytes': {
        const data = args.data as number[]
        if (!Array.isArray(data) || data.length === 0) throw 'Пустой файл — печатать нечего'
        if (String.fromCharCode(...data.slice(0, 4)) !== '%PDF') throw 'Это не PDF — возможно, ссылка ведёт на страницу с ошибкой'
        const copies = typeof args.copies === 'number' && args.copies > 0 ? Math.min(100, args.copies) : 1
        this.jobs.push({ command: 'print_bytes', printerName: this.target(args.printerName), format: args.format, copies, data })
        return null
      }
      case 'print_test_page':
        this.jobs.push({ command: 'print_test_page', printerName: this.target(args.printerName), format: args.format, copies: 1 })
        return null
      case 'render_test_page':
        return TINY_PDF.slice().buffer
      case 'check_print_engine':
        return this.engineReport
      case 'fetch_label': {
        const file = this.files.get(String(args.url))
        if (!file) return sorted({ bytes: '', status: 404, contentType: 'text/plain', via: 'fetch_label' })
        let binary = ''
        for (const b of file.bytes) binary += String.fromCharCode(b)
        return sorted({ bytes: btoa(binary), status: file.status, contentType: 'application/pdf', via: 'fetch_label' })
      }
      default:
        throw `Command ${cmd} not found`
    }
  }
}
