/** Start-up progress shared by the start screen and the route guard. */
import { defineStore } from 'pinia'
import { reactive } from 'vue'
import { STAGE, type StartupState } from './startup'

export const useStartupStore = defineStore('startup', () => {
  const state = reactive<StartupState>({ stage: STAGE.initial, started: false })
  return { state }
})
