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
