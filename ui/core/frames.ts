/**
 * Runs `fn` two animation frames from now. A browser control whose window is
 * still hidden may never paint, and so never deliver a frame (WebKitGTK does
 * not): a short timer then stands in for the frames. `fn` runs exactly once.
 */
export function afterTwoFrames(
  fn: () => void,
  raf: (cb: () => void) => unknown = (cb) => requestAnimationFrame(cb),
  fallbackMs = 100,
): void {
  let done = false
  const run = () => {
    if (done) return
    done = true
    clearTimeout(timer)
    fn()
  }
  const timer = setTimeout(run, fallbackMs)
  raf(() => raf(run))
}
