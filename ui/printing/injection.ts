/** What the print screens take from their surroundings (tests provide their own). */
import type { InjectionKey } from 'vue'
import type { PdfPageDrawer } from './pdfPage'
import type { PrintOps } from './printOps'

export const PDF_DRAWER_KEY: InjectionKey<PdfPageDrawer> = Symbol('pdf page drawer')
export const PRINT_OPS_KEY: InjectionKey<PrintOps> = Symbol('print operations')
