/** The "auth" holder: who is signed in on this device. */
import { defineStore } from 'pinia'
import { ref } from 'vue'
import { useAccountStore } from './accountStore'

export interface WorkerSession {
  /** for quick-login accounts the SavedAccount id */
  workerId: string
  workerName: string
  /** empty for quick-login accounts */
  token: string
}

export const useAuthStore = defineStore('auth', () => {
  /** device token of the signed-in account; "demo" in demonstration mode */
  const deviceJwt = ref<string | null>(null)
  const workerSession = ref<WorkerSession | null>(null)
  const authMode = ref<'permanent'>('permanent')

  function isDeviceAuthorized(): boolean {
    return !!deviceJwt.value
  }

  function isWorkerAuthorized(): boolean {
    return authMode.value === 'permanent' || workerSession.value !== null
  }

  function setDeviceJwt(token: string | null) {
    deviceJwt.value = token || null
  }

  function setWorkerSession(session: WorkerSession | null) {
    workerSession.value = session ? { ...session } : null
  }

  function logoutWorker() {
    workerSession.value = null
  }

  /** Signs out the device and the worker and forgets the account capabilities. */
  function reset() {
    deviceJwt.value = null
    workerSession.value = null
    useAccountStore().reset()
  }

  return { deviceJwt, workerSession, authMode, isDeviceAuthorized, isWorkerAuthorized, setDeviceJwt, setWorkerSession, logoutWorker, reset }
})
