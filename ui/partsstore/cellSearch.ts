/**
 * Searching the loaded cell trees: the list of matches (barcode first) and
 * the filtered tree view (matches and their ancestors, expanded).
 */
import { barcodeMatchesBySuffix, fold, nameMatches } from './codes'
import type { CellNode, CellRow, Zone } from './records'

export const CELL_SEARCH_LIMIT = 20

function exactBarcode(barcode: string | null, query: string): boolean {
  return barcode !== null && fold(barcode.trim()) === fold(query.trim())
}

function cellMatches(cell: { name: string; barcode: string | null }, query: string): boolean {
  return exactBarcode(cell.barcode, query) || nameMatches(cell.name, query.trim()) || barcodeMatchesBySuffix(cell.barcode, query)
}

/** At most 20 rows, no repeats: exact barcodes, then names, then barcodes by suffix. */
export function searchCells(rows: readonly CellRow[], query: string): CellRow[] {
  const q = query.trim()
  if (q === '') return []
  const out: CellRow[] = []
  const seen = new Set<number>()
  const pass = (test: (r: CellRow) => boolean) => {
    for (const r of rows) {
      if (out.length >= CELL_SEARCH_LIMIT) return
      if (!seen.has(r.id) && test(r)) {
        seen.add(r.id)
        out.push(r)
      }
    }
  }
  pass((r) => exactBarcode(r.barcode, q))
  pass((r) => nameMatches(r.name, q))
  pass((r) => barcodeMatchesBySuffix(r.barcode, q))
  return out
}

export interface FilteredTree {
  cells: CellNode[]
  /** ids of kept cells that have kept children */
  expanded: Set<number>
}

/** Keeps every cell that matches or has a matching descendant; an empty query keeps the tree as it is. */
export function filterTree(cells: readonly CellNode[], query: string): FilteredTree {
  const expanded = new Set<number>()
  if (query.trim() === '') return { cells: [...cells], expanded }
  const keep = (node: CellNode): CellNode | null => {
    const children = node.children.map(keep).filter((c): c is CellNode => c !== null)
    if (children.length === 0 && !cellMatches(node, query)) return null
    if (children.length > 0) expanded.add(node.id)
    return { ...node, children }
  }
  return { cells: cells.map(keep).filter((c): c is CellNode => c !== null), expanded }
}

/** The first cell of the loaded trees (zones in order, depth first) that passes `test`, with its zone. */
export function findCell(zones: readonly Zone[], test: (cell: CellNode) => boolean): { zoneId: number; cell: CellNode } | null {
  const walk = (nodes: readonly CellNode[]): CellNode | null => {
    for (const n of nodes) {
      if (test(n)) return n
      const inner = walk(n.children)
      if (inner) return inner
    }
    return null
  }
  for (const z of zones) {
    const cell = walk(z.cells)
    if (cell) return { zoneId: z.id, cell }
  }
  return null
}

/** Where a scanned cell barcode lies among the loaded trees. */
export function findCellByBarcode(zones: readonly Zone[], barcode: string): { zoneId: number; cell: CellNode } | null {
  return findCell(zones, (n) => n.barcode === barcode)
}

/** The cell and every cell inside it. */
export function subtreeIds(node: CellNode): Set<number> {
  const out = new Set<number>()
  const walk = (n: CellNode) => {
    out.add(n.id)
    n.children.forEach(walk)
  }
  walk(node)
  return out
}

export function countDescendants(node: CellNode): number {
  return subtreeIds(node).size - 1
}
