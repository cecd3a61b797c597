/**
 * The role state of the signed-in employee, built from every account
 * description (`deviceWhoAmI`) and from the answers of a role choice. Pure.
 */
import type { AccountDescription, WorkRole } from '../core/accountDescription'

export type { WorkRole }

export interface RoleState {
  /** the account has roles switched on (`features.roles`) */
  enabled: boolean
  roles: WorkRole[]
  activeRole: WorkRole | null
  permissions: string[]
  isAdmin: boolean
  /** the account's `editQuantity` option, when the description carries it */
  editQuantityBought?: boolean
  /** the employee's id, compared with a document's collector */
  selfId: string
}

export const ROLE_LABELS: Readonly<Record<WorkRole, string>> = { collector: 'Сборщик', checker: 'Контролер' }

export const NO_ROLES: RoleState = { enabled: false, roles: [], activeRole: null, permissions: [], isAdmin: false, selfId: '' }

const WORK_ROLES: readonly WorkRole[] = ['collector', 'checker']

/**
 * The active role: the one the server names when it is among the employee's
 * roles (or he has none); else his only role; else "collector" for an
 * employee without roles; else none (two roles, not chosen yet).
 */
export function resolveActiveRole(roles: readonly WorkRole[], asked: unknown): WorkRole | null {
  const named = WORK_ROLES.find((r) => r === asked)
  if (named && (roles.length === 0 || roles.includes(named))) return named
  if (roles.length === 1) return roles[0]!
  if (roles.length === 0) return 'collector'
  return null
}

function workRoles(v: unknown): WorkRole[] {
  if (!Array.isArray(v)) return []
  return [...new Set(v.filter((r): r is WorkRole => WORK_ROLES.includes(r as WorkRole)))]
}

export function roleStateFrom(d: AccountDescription | null): RoleState {
  if (!d) return NO_ROLES
  const roles = workRoles(d.roles)
  const state: RoleState = {
    enabled: d.features.roles === true,
    roles,
    activeRole: resolveActiveRole(roles, d.activeRole),
    permissions: [...d.permissions],
    isAdmin: d.role === 'admin',
    selfId: d.userId || d.uid,
  }
  if ('editQuantity' in d.options) state.editQuantityBought = d.options.editQuantity === true
  return state
}

/** The answer of `roleSelect` / `roleSwitch`: new roles, active role and permissions (what it leaves out stays). */
export function applyRoleAnswer(state: RoleState, answer: Record<string, unknown>): RoleState {
  const roles = Array.isArray(answer.roles) ? workRoles(answer.roles) : state.roles
  const permissions = Array.isArray(answer.permissions)
    ? answer.permissions.filter((p): p is string => typeof p === 'string')
    : state.permissions
  const asked = 'activeRole' in answer ? answer.activeRole : state.activeRole
  return { ...state, roles, permissions, activeRole: resolveActiveRole(roles, asked) }
}

/** With roles on the permission must be granted; without roles only "collect" counts as granted. */
export function hasPermission(state: RoleState, permission: string): boolean {
  return state.enabled ? state.permissions.includes(permission) : permission === 'collect'
}

/** The role the screens work in: the active one, collector when none is chosen yet. */
export function workingRole(state: RoleState): WorkRole {
  return state.activeRole ?? 'collector'
}

/** The label of the role chip: "Сборщик ▾". */
export function roleChipLabel(role: WorkRole): string {
  return `${ROLE_LABELS[role]} ▾`
}

export type RolePrompt = 'choose' | 'pick-active' | null

/**
 * What the menu asks once the capabilities are in: "Кто вы на складе?" for an
 * employee without roles (not an administrator), "Кем работаете сейчас?" for
 * one with two roles and none active; nothing otherwise.
 */
export function rolePrompt(state: RoleState): RolePrompt {
  if (!state.enabled) return null
  if (state.roles.length === 0 && !state.isAdmin) return 'choose'
  if (state.roles.length >= 2 && state.activeRole === null) return 'pick-active'
  return null
}

export const ROLE_TEXTS = {
  chooseTitle: 'Кто вы на складе?',
  chooseLead: 'Это нужно один раз. Администратор сможет изменить роль, если ошиблись.',
  chooseCollector: 'Я собираю',
  chooseChecker: 'Я проверяю',
  pickActiveTitle: 'Кем работаете сейчас?',
  switchTitle: 'Сменить роль',
  cancel: 'Отмена',
  hint: 'Список документов и кнопки зависят от роли. Сменить ее можно в любой момент.',
  saveFailed: 'Не удалось сохранить. Проверьте связь и повторите.',
} as const
