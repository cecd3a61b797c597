import { describe, expect, it } from 'vitest'
import { DAY_MS, renewalDecision } from './renewal'

const NOW = 1_800_000_000_000

describe('renewalDecision', () => {
  it.each([
    { left: undefined, canRenew: true, action: 'keep', line: 'срок входа прочитать не удалось — оставляем как есть' },
    { left: 29 * DAY_MS, canRenew: true, action: 'ok', line: 'вход действует еще 29 дн.' },
    { left: 29 * DAY_MS - 1, canRenew: true, action: 'renew', line: 'вход кончается через 28 дн. — продлеваем молча' },
    { left: 28 * DAY_MS, canRenew: false, action: 'ok', line: 'вход действует еще 28 дн.' },
    { left: DAY_MS, canRenew: false, action: 'ok', line: 'вход действует еще 1 дн.' },
    { left: DAY_MS - 1, canRenew: true, action: 'renew', line: 'срок входа вышел — продлеваем молча' },
    { left: DAY_MS - 1, canRenew: false, action: 'reauth', line: 'срок входа вышел, продлить нечем — нужен вход заново' },
    { left: -5 * DAY_MS, canRenew: false, action: 'reauth', line: 'срок входа вышел, продлить нечем — нужен вход заново' },
  ])('$left ms left, refresh token: $canRenew → $action', ({ left, canRenew, action, line }) => {
    const d = renewalDecision(left === undefined ? undefined : NOW + left, NOW, canRenew)
    expect(d.action).toBe(action)
    expect(d.line).toBe(line)
  })
})
