/**
 * Runs `fn` two animation frames from now. A browser control whose window is
 * still hidden may never paint, and so never deliver a frame (WebKitGTK does
 * not): a timer then stands in for the frames — at once when the document
 * says it is hidden, after `fallbackMs` otherwise. `fn` runs exactly once.
 */
export function afterTwoFrames(
  fn: () => void,
  raf: (cb: () => void) => unknown = (cb) => requestAnimationFrame(cb),
  fallbackMs = 100,
  hidden: () => boolean = () => typeof document !== 'undefined' && document.visibilityState === 'hidden',
): void {
  let done = false
  const run = () => {
    if (done) return
    done = true
    clearTimeout(timer)
    fn()
  }
  const timer = setTimeout(run, hidden() ? 0 : fallbackMs)
  raf(() => raf(run))
}
