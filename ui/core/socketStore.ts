/** The "socket" holder: connection state for screens, mirrored from the channel. */
import { defineStore } from 'pinia'
import { ref } from 'vue'

export const useSocketStore = defineStore('socket', () => {
  const isConnected = ref(false)
  const isReconnecting = ref(false)
  /** when the channel was last seen disconnected (ms), null while connected */
  const disconnectedAt = ref<number | null>(Date.now())
  /** the session banner of the identity check ("" when hidden) */
  const sessionBanner = ref('')

  function setConnected(value: boolean) {
    if (value === isConnected.value) return
    isConnected.value = value
    if (value) {
      isReconnecting.value = false
      disconnectedAt.value = null
    } else {
      disconnectedAt.value = Date.now()
    }
  }

  function setReconnecting(value: boolean) {
    isReconnecting.value = value
  }

  function setSessionBanner(text: string) {
    sessionBanner.value = text
  }

  return { isConnected, isReconnecting, disconnectedAt, sessionBanner, setConnected, setReconnecting, setSessionBanner }
})
