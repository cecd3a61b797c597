/**
 * Russian plural choice: `one` when n ends in 1 but not 11, `few` when it
 * ends in 2 to 4 but not 12 to 14, `many` otherwise.
 */
export function ruPlural(n: number, one: string, few: string, many: string): string {
  const abs = Math.abs(Math.trunc(n))
  const last = abs % 10
  const lastTwo = abs % 100
  if (last === 1 && lastTwo !== 11) return one
  if (last >= 2 && last <= 4 && (lastTwo < 12 || lastTwo > 14)) return few
  return many
}
