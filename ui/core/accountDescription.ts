/** The account description of `deviceWhoAmI`, normalised once at the channel's edge. */

export type WorkRole = 'collector' | 'checker'

export interface AccountDescription {
  uid: string
  userId: string
  /** "admin" marks an administrator */
  role: string
  roles: WorkRole[]
  activeRole: WorkRole | null
  permissions: string[]
  features: Record<string, boolean>
  options: Record<string, boolean>
  /** false only when the account works without MoySklad */
  moysklad: boolean
  profile: '' | 'radio' | 'orders'
  fullName: string
  firstName: string
  lastName: string
}

function str(v: unknown): string {
  return typeof v === 'string' ? v : typeof v === 'number' ? String(v) : ''
}

function flags(v: unknown): Record<string, boolean> {
  if (typeof v !== 'object' || v === null || Array.isArray(v)) return {}
  const out: Record<string, boolean> = {}
  for (const [k, x] of Object.entries(v)) out[k] = x === true
  return out
}

function role(v: unknown): WorkRole | null {
  return v === 'collector' || v === 'checker' ? v : null
}

export function normaliseProfile(v: unknown): '' | 'radio' | 'orders' {
  return v === 'radio' || v === 'orders' ? v : ''
}

export function normaliseAccountDescription(raw: unknown): AccountDescription {
  const p = typeof raw === 'object' && raw !== null ? (raw as Record<string, unknown>) : {}
  const roles = Array.isArray(p.roles) ? p.roles.map(role).filter((r): r is WorkRole => r !== null) : []
  return {
    uid: str(p.uid),
    userId: str(p.userId),
    role: str(p.role),
    roles: [...new Set(roles)],
    activeRole: role(p.activeRole),
    permissions: Array.isArray(p.permissions) ? p.permissions.filter((x): x is string => typeof x === 'string') : [],
    features: flags(p.features),
    options: flags(p.options),
    moysklad: p.moysklad !== false,
    profile: normaliseProfile(p.profile),
    fullName: str(p.fullName),
    firstName: str(p.firstName),
    lastName: str(p.lastName),
  }
}

/** The display name: the full name, else first and last name joined. */
export function displayName(d: Pick<AccountDescription, 'fullName' | 'firstName' | 'lastName'>): string {
  return d.fullName.trim() || `${d.firstName} ${d.lastName}`.trim()
}
