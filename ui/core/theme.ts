/** The colour theme and zoom on the document. */
import type { ThemeMode } from './settingsModel'

type MatchMedia = (query: string) => Pick<MediaQueryList, 'matches' | 'addEventListener' | 'removeEventListener'>

const DARK_QUERY = '(prefers-color-scheme: dark)'

/**
 * Sets `data-theme` to "dark" or "light". While the mode is "system" it follows
 * the operating system's preference and its changes; answers the function that
 * stops following.
 */
export function applyThemeMode(
  mode: ThemeMode,
  root: HTMLElement = document.documentElement,
  matchMedia: MatchMedia | undefined = typeof window !== 'undefined' && window.matchMedia ? (q) => window.matchMedia(q) : undefined,
): () => void {
  if (mode !== 'system' || !matchMedia) {
    root.dataset.theme = mode === 'dark' ? 'dark' : 'light'
    return () => {}
  }
  const query = matchMedia(DARK_QUERY)
  const update = () => {
    root.dataset.theme = query.matches ? 'dark' : 'light'
  }
  update()
  query.addEventListener('change', update)
  return () => query.removeEventListener('change', update)
}

export function applyUiScale(factor: number, root: HTMLElement = document.documentElement): void {
  root.style.setProperty('--ui-zoom', String(factor))
}
