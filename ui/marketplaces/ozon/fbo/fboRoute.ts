/** The supply page's address and what it reads from it. Pure. */
import type { FboSupplyRow } from './fboRecords'

export const SUPPLY_ROUTE = '/marketplaces/ozon/supply/:orderId/:supplyId'

/** "/marketplaces/ozon/supply/<orderId>/<supplyId>?clientId=…&assemble=1" */
export function supplyRoute(row: Pick<FboSupplyRow, 'orderId' | 'supplyId' | 'clientId'>, assemble: boolean): string {
  const query = new URLSearchParams()
  if (row.clientId !== '') query.set('clientId', row.clientId)
  if (assemble) query.set('assemble', '1')
  const q = query.toString()
  return `/marketplaces/ozon/supply/${encodeURIComponent(row.orderId)}/${encodeURIComponent(row.supplyId)}${q ? `?${q}` : ''}`
}

const one = (v: unknown): string => (typeof v === 'string' ? v.trim() : Array.isArray(v) && typeof v[0] === 'string' ? v[0].trim() : '')

/** The ids, the shop and whether the assembly opens at once, from the route's params and query. */
export function readSupplyRoute(params: Record<string, unknown>, query: Record<string, unknown>) {
  return { orderId: one(params.orderId), supplyId: one(params.supplyId), clientId: one(query.clientId), assemble: one(query.assemble) === '1' }
}
