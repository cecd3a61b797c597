/** The sections of "/settings"; later parts of the UI add theirs here. */
import type { Component } from 'vue'
import { defineAsyncComponent } from 'vue'

export interface SettingsSection {
  id: string
  title: string
  component: Component
  /** the section draws its own title (the settings screen then leaves its heading out) */
  ownTitle?: boolean
}

export const settingsSections: SettingsSection[] = [
  { id: 'work', title: 'Работа', component: defineAsyncComponent(() => import('./settings/WorkSection.vue')) },
  { id: 'account', title: 'Аккаунт', component: defineAsyncComponent(() => import('./settings/AccountWideSection.vue')) },
  { id: 'roles', title: 'Роли', component: defineAsyncComponent(() => import('../roles/RolesSettingsEditor.vue')) },
  { id: 'sound', title: 'Звук', component: defineAsyncComponent(() => import('./settings/SoundSection.vue')) },
  { id: 'look', title: 'Оформление', component: defineAsyncComponent(() => import('./settings/LookSection.vue')) },
  { id: 'print', title: 'Печать', component: defineAsyncComponent(() => import('../printing/PrintSection.vue')) },
  { id: 'signing', title: '🔐 Честный Знак', component: defineAsyncComponent(() => import('../signing/SignatureSection.vue')), ownTitle: true },
  { id: 'device', title: 'Устройство', component: defineAsyncComponent(() => import('./signin/DeviceSection.vue')) },
]
