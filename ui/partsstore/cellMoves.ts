/** The questions and refusals of moving and deleting a cell. */
import { countDescendants, subtreeIds } from './cellSearch'
import type { CellNode } from './records'

export type MoveCheck = { ok: false; text: string } | { ok: true; question: string; notes: string[] }

function boxesWord(n: number): string {
  return n === 1 ? 'ячейка' : n >= 2 && n <= 4 ? 'ячейки' : 'ячеек'
}

/** Moving `cell` (now under `currentParentId`) into `target`. */
export function checkMoveInto(
  cell: CellNode,
  currentParentId: number | null,
  target: { id: number; name: string },
  zones: { from: string; to: string },
): MoveCheck {
  if (target.id === currentParentId) return { ok: false, text: 'Уже здесь' }
  if (subtreeIds(cell).has(target.id)) return { ok: false, text: 'Нельзя перенести ячейку в саму себя или в её вложенную ячейку' }
  const notes: string[] = []
  if (zones.from !== zones.to) notes.push(`Из зоны «${zones.from}» в зону «${zones.to}»`)
  const inner = countDescendants(cell)
  if (inner > 0) notes.push(`Внутри еще ${inner} ${boxesWord(inner)} — переедут вместе с ней`)
  return { ok: true, question: `Перенести «${cell.name}» в «${target.name}»?`, notes }
}

/** The question before deleting a cell with content, from the counts of the refusal. */
export function deleteQuestion(childrenCount: number, placementsCount: number): string {
  const parts: string[] = []
  if (childrenCount > 0) {
    const ending = childrenCount === 1 ? 'ая ячейка' : childrenCount >= 2 && childrenCount <= 4 ? 'ые ячейки' : 'ых ячеек'
    parts.push(`${childrenCount} вложенн${ending}`)
  }
  if (placementsCount > 0) parts.push(`товар в ${placementsCount} ${placementsCount === 1 ? 'позиции' : 'позициях'}`)
  return `В ячейке есть ${parts.join(' и ')}. Удалить все равно, вместе с содержимым? Отменить это будет нельзя.`
}

export type DropPlace = 'before' | 'after' | 'inside'

/** Where a drop at `offsetY` of a row `height` high lands. */
export function dropPlace(offsetY: number, height: number, canReorder: boolean, canNest: boolean): DropPlace | null {
  if (canReorder && offsetY < height / 4) return 'before'
  if (canReorder && offsetY > (height * 3) / 4) return 'after'
  return canNest ? 'inside' : null
}

function movedNotes(cell: CellNode, zones: { from: string; to: string }): string[] {
  const notes: string[] = []
  if (zones.from !== zones.to) notes.push(`Из зоны «${zones.from}» в зону «${zones.to}»`)
  const inner = countDescendants(cell)
  if (inner > 0) notes.push(`Внутри еще ${inner} ${boxesWord(inner)} — переедут вместе с ней`)
  return notes
}

/** Moving `cell` (now under `at.parentId` in zone `at.zoneId`) to the top level of `zone`. */
export function checkMoveToZone(cell: CellNode, at: { parentId: number | null; zoneId: number; zoneName: string }, zone: { id: number; name: string }): MoveCheck {
  if (at.parentId === null && at.zoneId === zone.id) return { ok: false, text: 'Уже здесь' }
  return { ok: true, question: `Перенести «${cell.name}» в «${zone.name}»?`, notes: movedNotes(cell, { from: at.zoneName, to: zone.name }) }
}

/**
 * Moving `cell` just before or after `sibling`. A plain reorder among the
 * same siblings needs no question (`question` is ""); a move under another
 * parent asks as a move into it does.
 */
export function checkMoveBeside(
  cell: CellNode,
  at: { parentId: number | null; zoneName: string },
  sibling: { id: number; name: string; parentId: number | null; zoneName: string; parentName: string },
): MoveCheck {
  if (sibling.id === cell.id) return { ok: false, text: 'Уже здесь' }
  if (subtreeIds(cell).has(sibling.id)) return { ok: false, text: 'Нельзя перенести ячейку в саму себя или в её вложенную ячейку' }
  if (sibling.parentId === at.parentId && sibling.zoneName === at.zoneName) return { ok: true, question: '', notes: [] }
  return { ok: true, question: `Перенести «${cell.name}» в «${sibling.parentName}»?`, notes: movedNotes(cell, { from: at.zoneName, to: sibling.zoneName }) }
}

/** The question before deleting a zone that still holds cells, from the counts of the refusal. */
export function zoneDeleteQuestion(cellsCount: number, placementsCount: number): string {
  const parts: string[] = []
  if (cellsCount > 0) parts.push(`${cellsCount} ${boxesWordFull(cellsCount)}`)
  if (placementsCount > 0) parts.push(`товар в ${placementsCount} ${placementsCount === 1 ? 'позиции' : 'позициях'}`)
  return `В зоне есть ${parts.join(' и ')}. Удалить все равно, вместе с содержимым? Отменить это будет нельзя.`
}

function boxesWordFull(n: number): string {
  const d = n % 10
  const dd = n % 100
  if (d === 1 && dd !== 11) return 'ячейка'
  if (d >= 2 && d <= 4 && (dd < 12 || dd > 14)) return 'ячейки'
  return 'ячеек'
}
