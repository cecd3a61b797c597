/**
 * The menu's wait for the account capabilities: a spinner first, after 3 s a
 * note that the server is slower than usual, after 10 s without an answer
 * while connected "Сервер долго не отвечает" with a retry. Nothing is drawn
 * on a timer in their place: the menu waits for the answer.
 */
import { computed, onScopeDispose, ref, watch, type ComputedRef } from 'vue'
import { useAccountStore } from './accountStore'
import { retryAccountDescription } from './session'
import { useSocketStore } from './socketStore'

export const SLOW_AFTER_MS = 3_000
export const STALLED_AFTER_MS = 10_000

export const CHECKING_TEXT = 'Проверяем возможности аккаунта…'
export const SLOW_TEXT = 'Сервер отвечает дольше обычного...'
export const STALLED_TEXT = 'Сервер долго не отвечает'

export type WaitPhase = 'received' | 'checking' | 'slow' | 'stalled'

export function useCapabilitiesWait(): { phase: ComputedRef<WaitPhase>; retrying: ComputedRef<boolean>; retry: () => Promise<void> } {
  const account = useAccountStore()
  const socket = useSocketStore()
  const elapsed = ref<'start' | 'slow' | 'long'>('start')
  const retrying = ref(false)
  const timers: Array<ReturnType<typeof setTimeout>> = []
  const clear = () => timers.splice(0).forEach((t) => clearTimeout(t))

  const restart = () => {
    clear()
    elapsed.value = 'start'
    timers.push(setTimeout(() => (elapsed.value = 'slow'), SLOW_AFTER_MS))
    timers.push(setTimeout(() => (elapsed.value = 'long'), STALLED_AFTER_MS))
  }
  watch(() => account.waitGeneration, restart, { immediate: true })
  onScopeDispose(clear)

  const phase = computed<WaitPhase>(() => {
    if (account.received) return 'received'
    if (elapsed.value === 'long' && socket.isConnected) return 'stalled'
    return elapsed.value === 'start' ? 'checking' : 'slow'
  })

  async function retry() {
    if (retrying.value) return
    retrying.value = true
    try {
      await retryAccountDescription()
    } finally {
      retrying.value = false
    }
  }

  return { phase, retrying: computed(() => retrying.value), retry }
}
