/** The menu's greeting after a quick login. Pure. */

/** "Доброе утро, Анна!" before noon, "Добрый день, …" before six, "Добрый вечер, …" after. */
export function greetingText(hour: number, workerName: string): string {
  const greeting = hour < 12 ? 'Доброе утро' : hour < 18 ? 'Добрый день' : 'Добрый вечер'
  const first = workerName.trim().split(/\s+/)[0] ?? ''
  return first ? `${greeting}, ${first}!` : `${greeting}!`
}
