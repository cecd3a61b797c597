/** A whole-second countdown for lock-outs and cool-downs; stops with the component that uses it. */
import { onScopeDispose, ref, type Ref } from 'vue'

export interface Countdown {
  /** seconds left; 0 when not running */
  left: Ref<number>
  /** the length of the running countdown */
  total: Ref<number>
  start(seconds: number): void
  stop(): void
}

export function useCountdown(): Countdown {
  const left = ref(0)
  const total = ref(0)
  let timer: ReturnType<typeof setInterval> | undefined

  function stop() {
    if (timer !== undefined) clearInterval(timer)
    timer = undefined
    left.value = 0
  }

  function start(seconds: number) {
    stop()
    const n = Math.max(0, Math.ceil(seconds))
    if (n === 0) return
    total.value = n
    left.value = n
    timer = setInterval(() => {
      left.value -= 1
      if (left.value <= 0) stop()
    }, 1000)
  }

  onScopeDispose(stop)
  return { left, total, start, stop }
}
