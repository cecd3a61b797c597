/**
 * Offline detection for screens: a connected channel is online, whatever the
 * browser says (a server on the local network needs no internet); otherwise
 * offline when the browser reports no network, or the channel has been
 * disconnected for more than 2.5 s.
 */
import { computed, onScopeDispose, ref, watch, type ComputedRef } from 'vue'
import { useSocketStore } from './socketStore'

export const OFFLINE_AFTER_MS = 2_500
export const OFFLINE_BANNER = 'Нет связи — работаем офлайн'

export function isOffline(browserOnline: boolean, connected: boolean, disconnectedAt: number | null, now: number): boolean {
  if (connected) return false
  if (!browserOnline) return true
  return disconnectedAt !== null && now - disconnectedAt > OFFLINE_AFTER_MS
}

/** "Нет связи — работаем офлайн", with ", данные от <time>" when cached data are shown. */
export function offlineBannerText(dataTime?: string): string {
  return dataTime ? `${OFFLINE_BANNER}, данные от ${dataTime}` : OFFLINE_BANNER
}

/**
 * How many offline banners a screen shows now. The connection strip at the top
 * says nothing while one does: the picker reads "no connection" once.
 */
export const offlineBannersShown = ref(0)

/** A reactive offline flag for the calling component or effect scope. */
export function useOffline(): ComputedRef<boolean> {
  const socket = useSocketStore()
  const online = ref(typeof navigator === 'undefined' || navigator.onLine !== false)
  const now = ref(Date.now())
  let timer: ReturnType<typeof setTimeout> | undefined

  const schedule = () => {
    clearTimeout(timer)
    now.value = Date.now()
    if (socket.isConnected || socket.disconnectedAt === null) return
    const due = socket.disconnectedAt + OFFLINE_AFTER_MS - now.value
    if (due >= 0) timer = setTimeout(() => (now.value = Date.now()), due + 1)
  }
  watch(() => [socket.isConnected, socket.disconnectedAt], schedule, { immediate: true })

  const onOnline = () => (online.value = true)
  const onOffline = () => (online.value = false)
  if (typeof window !== 'undefined') {
    window.addEventListener('online', onOnline)
    window.addEventListener('offline', onOffline)
  }
  onScopeDispose(() => {
    clearTimeout(timer)
    if (typeof window !== 'undefined') {
      window.removeEventListener('online', onOnline)
      window.removeEventListener('offline', onOffline)
    }
  })
  return computed(() => isOffline(online.value, socket.isConnected, socket.disconnectedAt, now.value))
}
