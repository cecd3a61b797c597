/**
 * The sample accounts of the in-memory backend. The README lists the device
 * codes, badges and phone numbers so that a local run can sign in at once.
 */

export type Role = 'collector' | 'checker'
export type Profile = '' | 'radio' | 'orders'

export interface SeedUser {
  userId: string
  firstName: string
  lastName: string
  /** "admin" marks an administrator */
  role: 'admin' | 'user'
  roles: Role[]
  activeRole: Role | null
  permissions: string[]
  /** eight-digit device code, written "NNNN-NNNN" */
  deviceCode?: string
  /** phone that signs this user in by SMS (11 digits, 79…) */
  phone?: string
}

export interface SeedWorker {
  workerId: string
  workerName: string
  /** badge text read by the scanner */
  badge: string
  /** six-digit PIN */
  pin: string
}

export interface SeedAccount {
  uid: string
  name: string
  moysklad: boolean
  profile: Profile
  features: Record<string, boolean>
  options: Record<string, boolean>
  /** the account-wide block `appSettingsGet` answers (cells order, stock display, keeping the screen on, ...) */
  appSettings: Record<string, unknown>
  /** the roles block of `accountSettingsGet` until the administrator saves another */
  rolesSettings?: Record<string, unknown>
  users: SeedUser[]
  workers: SeedWorker[]
}

/** The account answered for the device token "demo". */
export const DEMO_ACCOUNT_ID = 'acc-demo'
export const DEMO_USER_ID = 'u-demo'

export function seedAccounts(): SeedAccount[] {
  return [
    {
      uid: 'acc-lesnaya',
      name: 'Склад на Лесной',
      moysklad: true,
      profile: 'orders',
      features: { roles: true, checkMarksOnScan: true, assortmentSearch: true, radio: false },
      options: { editQuantity: true },
      appSettings: { cellsDefaultSort: 'asc', cellsStockDisplay: 'both', keepScreenOn: true },
      rolesSettings: {
        shortfallReasons: ['нет на складе', 'брак', 'пересорт', 'не нашел', 'другое'],
        requireBoxes: true,
        configured: true,
      },
      users: [
        {
          userId: 'u-anna',
          firstName: 'Анна',
          lastName: 'Смирнова',
          role: 'admin',
          roles: ['collector', 'checker'],
          activeRole: 'collector',
          permissions: ['closeShort', 'control', 'settings'],
          deviceCode: '1234-5678',
          phone: '79000000001',
        },
        {
          userId: 'u-igor',
          firstName: 'Игорь',
          lastName: 'Петров',
          role: 'user',
          roles: ['collector'],
          activeRole: 'collector',
          permissions: [],
          deviceCode: '2345-6789',
        },
        {
          userId: 'u-maria',
          firstName: 'Мария',
          lastName: 'Козлова',
          role: 'user',
          roles: ['checker'],
          activeRole: 'checker',
          permissions: ['control'],
          deviceCode: '3456-7890',
        },
        {
          userId: 'u-pavel',
          firstName: 'Павел',
          lastName: 'Сидоров',
          role: 'user',
          roles: [],
          activeRole: null,
          permissions: [],
          deviceCode: '6789-0123',
        },
        {
          userId: 'u-egor',
          firstName: 'Егор',
          lastName: 'Лукин',
          role: 'user',
          roles: ['collector'],
          activeRole: 'collector',
          permissions: ['collect', 'closeShort'],
          deviceCode: '8901-2345',
        },
        {
          userId: 'u-vera',
          firstName: 'Вера',
          lastName: 'Соколова',
          role: 'user',
          roles: ['checker'],
          activeRole: 'checker',
          permissions: ['control'],
          deviceCode: '9012-3456',
        },
      ],
      workers: [
        { workerId: 'w-olga', workerName: 'Ольга Новикова', badge: 'W-0001', pin: '111111' },
        { workerId: 'w-denis', workerName: 'Денис Волков', badge: 'W-0002', pin: '222222' },
      ],
    },
    {
      uid: 'acc-master',
      name: 'Мастерская Орлова',
      moysklad: false,
      profile: 'radio',
      features: { roles: false, checkMarksOnScan: false, assortmentSearch: true, radio: true },
      options: { editQuantity: true },
      appSettings: { cellsDefaultSort: 'desc', cellsStockDisplay: 'cell', keepScreenOn: false },
      users: [
        {
          userId: 'u-oleg',
          firstName: 'Олег',
          lastName: 'Орлов',
          role: 'admin',
          roles: [],
          activeRole: null,
          permissions: ['settings'],
          deviceCode: '4567-8901',
          phone: '79000000002',
        },
      ],
      workers: [{ workerId: 'w-oleg', workerName: 'Олег Орлов', badge: 'W-0101', pin: '333333' }],
    },
    {
      uid: 'acc-new',
      name: 'Новый склад',
      moysklad: false,
      profile: '',
      features: { roles: false, checkMarksOnScan: false, assortmentSearch: false, radio: false },
      options: {},
      appSettings: {},
      users: [
        {
          userId: 'u-sveta',
          firstName: 'Светлана',
          lastName: 'Белова',
          role: 'admin',
          roles: [],
          activeRole: null,
          permissions: ['settings'],
          deviceCode: '5678-9012',
        },
        {
          userId: 'u-kirill',
          firstName: 'Кирилл',
          lastName: 'Зайцев',
          role: 'user',
          roles: [],
          activeRole: null,
          permissions: [],
          deviceCode: '7890-1234',
        },
      ],
      workers: [],
    },
    {
      uid: DEMO_ACCOUNT_ID,
      name: 'Демо-склад',
      moysklad: true,
      profile: 'orders',
      // Marks sold to private persons are withdrawn, and the picker is asked first.
      features: { roles: false, checkMarksOnScan: true, assortmentSearch: true, radio: true, czWithdrawRetail: true, czWithdrawAsk: true },
      options: { editQuantity: true },
      appSettings: { cellsDefaultSort: 'asc', cellsStockDisplay: 'both', keepScreenOn: false },
      users: [
        {
          userId: DEMO_USER_ID,
          firstName: 'Демо',
          lastName: 'Пользователь',
          role: 'admin',
          roles: [],
          activeRole: null,
          permissions: ['closeShort', 'settings'],
        },
      ],
      workers: [{ workerId: 'w-demo', workerName: 'Демо Сборщик', badge: 'W-DEMO', pin: '000000' }],
    },
  ]
}
