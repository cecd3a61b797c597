/** Which system's printer advice the help page shows, from the browser's user agent. */
export type HelpOs = 'windows' | 'macos' | 'linux'

export function pickHelpOs(userAgent: string): HelpOs {
  const ua = userAgent.toLowerCase()
  if (ua.includes('windows')) return 'windows'
  if (ua.includes('macintosh') || ua.includes('mac os')) return 'macos'
  return 'linux'
}
