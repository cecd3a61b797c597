/** Guided tours: which one runs now. Screens add their steps as tours are written. */
import { ref } from 'vue'

export const activeTour = ref<string | null>(null)

export function startTour(name: string): void {
  activeTour.value = name
}

export function endTour(): void {
  activeTour.value = null
}
