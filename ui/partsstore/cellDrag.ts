/**
 * Dragging a cell in the tree, by mouse or by finger: a mouse drag starts
 * once the pointer moved 6 px, a touch drag after a 400 ms press and is
 * cancelled when the finger moved more than 10 px before that. While dragging
 * the screen says what lies under the pointer (`hitTest`); the release there
 * hands the cell and that target to `drop`.
 */
import type { DropPlace } from './cellMoves'

export const MOUSE_DRAG_PX = 6
export const TOUCH_HOLD_MS = 400
export const TOUCH_SLOP_PX = 10

export type DropTarget = { kind: 'cell'; id: number; place: DropPlace } | { kind: 'zone'; zoneId: number }

export interface CellDragDeps {
  hitTest(x: number, y: number): DropTarget | null
  drop(cellId: number, target: DropTarget): void
  setTimer(fn: () => void, ms: number): () => void
}

export type Pointer = 'mouse' | 'touch' | 'pen'

/** What a pointer that moved `distance` px since its press does now. */
export function gestureStep(pointer: Pointer, distance: number, held: boolean): 'wait' | 'drag' | 'cancel' {
  if (pointer === 'touch') {
    if (held) return 'drag'
    return distance > TOUCH_SLOP_PX ? 'cancel' : 'wait'
  }
  return distance >= MOUSE_DRAG_PX ? 'drag' : 'wait'
}

export class CellDrag {
  /** the cell being pressed or dragged */
  cellId: number | null = null
  dragging = false
  over: DropTarget | null = null
  private pointer: Pointer = 'mouse'
  private start = { x: 0, y: 0 }
  private held = false
  private stopTimer: (() => void) | null = null

  constructor(private readonly deps: CellDragDeps) {}

  down(cellId: number, pointer: Pointer, x: number, y: number): void {
    this.cancel()
    this.cellId = cellId
    this.pointer = pointer
    this.start = { x, y }
    if (pointer === 'touch') {
      this.stopTimer = this.deps.setTimer(() => {
        this.held = true
        this.stopTimer = null
        this.begin(this.start.x, this.start.y)
      }, TOUCH_HOLD_MS)
    }
  }

  move(x: number, y: number): void {
    if (this.cellId === null) return
    if (this.dragging) {
      this.over = this.deps.hitTest(x, y)
      return
    }
    const step = gestureStep(this.pointer, Math.hypot(x - this.start.x, y - this.start.y), this.held)
    if (step === 'cancel') this.cancel()
    else if (step === 'drag') this.begin(x, y)
  }

  /** Answers whether the release ended a drag (so the click that follows it is not an open). */
  up(x: number, y: number): boolean {
    const cellId = this.cellId
    const wasDragging = this.dragging
    const target = wasDragging ? this.deps.hitTest(x, y) : null
    this.cancel()
    if (cellId !== null && target) this.deps.drop(cellId, target)
    return wasDragging
  }

  cancel(): void {
    this.stopTimer?.()
    this.stopTimer = null
    this.cellId = null
    this.dragging = false
    this.held = false
    this.over = null
  }

  private begin(x: number, y: number): void {
    this.dragging = true
    this.over = this.deps.hitTest(x, y)
  }
}
