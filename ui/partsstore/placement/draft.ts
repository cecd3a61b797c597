/** The new-product form kept on the device between visits, and whether its label is printed. */
export const DRAFT_KEY = 'radio.scanProductDraft'
export const PRINT_LABEL_KEY = 'radio.newProduct.printLabel'

export interface ProductDraft {
  name: string
  price: string
  comment: string
  quantity: string
}

export const EMPTY_DRAFT: Readonly<ProductDraft> = { name: '', price: '', comment: '', quantity: '1' }

const isEmpty = (d: ProductDraft) => (Object.keys(EMPTY_DRAFT) as Array<keyof ProductDraft>).every((k) => d[k] === EMPTY_DRAFT[k])

export function loadDraft(storage: Storage): ProductDraft {
  try {
    const raw: unknown = JSON.parse(storage.getItem(DRAFT_KEY) ?? 'null')
    if (typeof raw !== 'object' || raw === null) return { ...EMPTY_DRAFT }
    const r = raw as Record<string, unknown>
    const text = (k: keyof ProductDraft) => (typeof r[k] === 'string' ? (r[k] as string) : EMPTY_DRAFT[k])
    return { name: text('name'), price: text('price'), comment: text('comment'), quantity: text('quantity') }
  } catch {
    return { ...EMPTY_DRAFT }
  }
}

/** Written while the form differs from the empty one, removed when it equals it. */
export function saveDraft(storage: Storage, d: ProductDraft): void {
  if (isEmpty(d)) storage.removeItem(DRAFT_KEY)
  else storage.setItem(DRAFT_KEY, JSON.stringify({ name: d.name, price: d.price, comment: d.comment, quantity: d.quantity }))
}

export function clearDraft(storage: Storage): void {
  storage.removeItem(DRAFT_KEY)
}

export const loadPrintLabel = (storage: Storage) => storage.getItem(PRINT_LABEL_KEY) === '1'
export const savePrintLabel = (storage: Storage, on: boolean) => storage.setItem(PRINT_LABEL_KEY, on ? '1' : '0')
