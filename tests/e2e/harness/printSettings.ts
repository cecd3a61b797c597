// The print section of the settings, as a test sets it up.
import { waitFor } from './wait'
import type { Session } from './webdriver'

/** Chooses a label size preset ("75 × 120") in Настройки → Печать and waits until the section shows it. */
export async function chooseLabelSize(session: Session, preset: string): Promise<void> {
  await session.execute('location.hash = "#/settings?section=print"')
  await waitFor('the size presets', async () => (await session.findAll('[data-test="size-preset"]')).length > 0)
  await session.execute(
    '[...document.querySelectorAll(\'[data-test="size-preset"]\')].find((b) => b.textContent.trim() === arguments[0]).click()',
    preset,
  )
  await session.waitForText('[data-test="current-size"]', (t) => t === `Сейчас: ${preset} мм`)
}
