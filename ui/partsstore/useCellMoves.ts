/**
 * Moving cells on the zone screen: into a cell, to a zone's top level, just
 * before or after a sibling, one place up or down, and the drag and drop that
 * leads to those (mouse or finger). Every move is checked first; a plain
 * reorder runs at once, anything else is asked through `ask`.
 */
import { computed, onBeforeUnmount, reactive } from 'vue'
import { CellDrag, type DropTarget, type Pointer } from './cellDrag'
import { checkMoveBeside, checkMoveInto, checkMoveToZone, dropPlace, type MoveCheck } from './cellMoves'
import { findCell } from './cellSearch'
import type { CellMoveTarget } from './commands'
import { failureText } from './failures'
import type { usePartsStore } from './partsStore'
import type { CellNode, CellRow } from './records'

export interface MoveQuestion {
  text: string
  notes: string[]
  action: string
  failure: 'moveCell'
  run: () => Promise<void>
}

export interface CellMovesDeps {
  parts: ReturnType<typeof usePartsStore>
  say(text: string, tone: 'ok' | 'bad'): void
  ask(question: MoveQuestion): void
  /** after a move: the cell now lies in `zoneId` */
  moved(zoneId: number, cellId: number): void
}

export function useCellMoves(deps: CellMovesDeps) {
  const { parts } = deps
  const nodeOf = (id: number): CellNode | undefined => findCell(parts.zones, (n) => n.id === id)?.cell

  function propose(row: CellRow, check: MoveCheck, target: CellMoveTarget, landsIn: number) {
    if (!check.ok) return deps.say(check.text, 'bad')
    const run = async () => {
      await parts.commands.cellMove(row.id, target)
      await parts.loadZones()
      deps.say(`«${row.name}» перенесена`, 'ok')
      deps.moved(landsIn, row.id)
    }
    if (check.question === '') {
      void run().catch((err: unknown) => deps.say(failureText('moveCell', err), 'bad'))
      return
    }
    deps.ask({ text: check.question, notes: check.notes, action: 'Перенести', failure: 'moveCell', run })
  }

  function moveInto(row: CellRow, targetId: number) {
    const node = nodeOf(row.id)
    const target = parts.rows.find((r) => r.id === targetId)
    if (!node || !target) return
    propose(row, checkMoveInto(node, row.parentId, { id: target.id, name: target.name }, { from: row.zoneName, to: target.zoneName }), { newParentId: target.id }, target.zoneId)
  }

  function moveToZone(row: CellRow, toZone: number) {
    const node = nodeOf(row.id)
    const z = parts.zones.find((x) => x.id === toZone)
    if (!node || !z) return
    propose(row, checkMoveToZone(node, { parentId: row.parentId, zoneId: row.zoneId, zoneName: row.zoneName }, z), { newZoneId: z.id }, z.id)
  }

  function moveBeside(row: CellRow, siblingId: number, place: 'before' | 'after') {
    const node = nodeOf(row.id)
    const sibling = parts.rows.find((r) => r.id === siblingId)
    if (!node || !sibling) return
    const parentName = sibling.parentId === null ? sibling.zoneName : (parts.rows.find((r) => r.id === sibling.parentId)?.name ?? '')
    const check = checkMoveBeside(node, { parentId: row.parentId, zoneName: row.zoneName }, { ...sibling, parentName })
    propose(row, check, place === 'before' ? { beforeId: sibling.id } : { afterId: sibling.id }, sibling.zoneId)
  }

  /** One place up or down among the siblings. */
  function shift(row: CellRow, by: -1 | 1) {
    const list = parts.rows.filter((r) => r.zoneId === row.zoneId && r.parentId === row.parentId)
    const neighbour = list[list.findIndex((r) => r.id === row.id) + by]
    if (neighbour) moveBeside(row, neighbour.id, by < 0 ? 'before' : 'after')
  }

  function dropAt(cellId: number, target: DropTarget) {
    const row = parts.rows.find((r) => r.id === cellId)
    if (!row) return
    if (target.kind === 'zone') return moveToZone(row, target.zoneId)
    if (target.place === 'inside') return moveInto(row, target.id)
    moveBeside(row, target.id, target.place)
  }

  /** What lies under the pointer: a zone's button, or a row with the part of it. */
  function hitTest(x: number, y: number): DropTarget | null {
    const el = typeof document.elementFromPoint === 'function' ? document.elementFromPoint(x, y) : null
    const zoneEl = el?.closest<HTMLElement>('[data-drop-zone]')
    if (zoneEl) return { kind: 'zone', zoneId: Number(zoneEl.dataset.dropZone) }
    const cellEl = el?.closest<HTMLElement>('[data-drop-cell]')
    if (!cellEl) return null
    const box = cellEl.getBoundingClientRect()
    const place = dropPlace(y - box.top, box.height, true, true)
    return place ? { kind: 'cell', id: Number(cellEl.dataset.dropCell), place } : null
  }

  const drag = reactive(
    new CellDrag({
      hitTest,
      drop: dropAt,
      setTimer: (fn, ms) => {
        const t = setTimeout(fn, ms)
        return () => clearTimeout(t)
      },
    }),
  ) as CellDrag

  function onPointerMove(e: PointerEvent) {
    drag.move(e.clientX, e.clientY)
    if (drag.dragging) e.preventDefault()
  }
  function onPointerUp(e: PointerEvent) {
    drag.up(e.clientX, e.clientY)
    stopListening()
  }
  function onPointerCancel() {
    drag.cancel()
    stopListening()
  }
  function stopListening() {
    window.removeEventListener('pointermove', onPointerMove)
    window.removeEventListener('pointerup', onPointerUp)
    window.removeEventListener('pointercancel', onPointerCancel)
  }
  /** A press on a row's grip. */
  function grab(id: number, e: PointerEvent) {
    if (e.button > 0) return
    drag.down(id, (e.pointerType || 'mouse') as Pointer, e.clientX, e.clientY)
    window.addEventListener('pointermove', onPointerMove)
    window.addEventListener('pointerup', onPointerUp)
    window.addEventListener('pointercancel', onPointerCancel)
  }
  onBeforeUnmount(() => {
    stopListening()
    drag.cancel()
  })

  return {
    moveInto,
    moveToZone,
    moveBeside,
    shift,
    drag,
    grab,
    dropHint: computed(() => (drag.over?.kind === 'cell' ? { id: drag.over.id, place: drag.over.place } : null)),
    dropZone: computed(() => (drag.over?.kind === 'zone' ? drag.over.zoneId : null)),
  }
}
