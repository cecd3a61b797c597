/**
 * Opening a document stops the background contents prefetch: the prefetch
 * remembers the generation it started in and gives up once it changes.
 */
let generation = 0

export function prefetchGeneration(): number {
  return generation
}

export function cancelPrefetch(): void {
  generation += 1
}
