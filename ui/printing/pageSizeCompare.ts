/**
 * The printer's own paper size against the label size of the settings, and
 * whether the driver counts labels by the gap between them. Jobs carry their
 * size anyway; this tells the user when the printer itself disagrees (extra
 * labels fed, other programs printing) and offers to write the size into it.
 */
import type { PageSizeInfo } from './printOps'
import { sizeText } from './printFormat'

export type Tone = 'ok' | 'info' | 'warning'

export interface PageSizeVerdict {
  tone: Tone
  text: string
  /** The "Задать принтеру …" button is offered. */
  canApply: boolean
}

/** Less than this apart (in both directions) counts as the same size. */
export const SIZE_MATCH_MM = 1

/**
 * `printer`: what the driver holds; `widthMm`/`heightMm`: the settings' size;
 * `applied`: an attempt to write the size into the driver has been made.
 */
export function comparePageSize(printer: PageSizeInfo, widthMm: number, heightMm: number, applied: boolean): PageSizeVerdict {
  const media = printer.media
  const gapOk = media === null || media.current.toLowerCase() === media.gapChoice.toLowerCase()
  const known = printer.widthMm !== null && printer.heightMm !== null
  const shown = known ? sizeText(printer.widthMm!, printer.heightMm!) : printer.current
  const wanted = sizeText(widthMm, heightMm)
  const match =
    !known ||
    (Math.abs(printer.widthMm! - widthMm) < SIZE_MATCH_MM && Math.abs(printer.heightMm! - heightMm) < SIZE_MATCH_MM)

  if (!gapOk)
    return {
      tone: 'warning',
      text: `В принтере задано ${shown}, но лента считается сплошной — принтер не ищет промежуток между этикетками, и каждая следующая уезжает на пару миллиметров. Нажмите кнопку ниже: приложение включит отсчет по промежутку`,
      canApply: true,
    }
  if (match)
    return { tone: 'ok', text: known ? `В принтере задано ${shown} — совпадает` : `Размер в принтере: ${shown}`, canApply: false }
  if (applied)
    return {
      tone: 'info',
      text: `Драйвер оставил свой размер — ${shown}, хотя приложение задало ${wanted}. Этикеточные принтеры часто принимают только готовые формы. На печать из приложения это не влияет: размер уходит вместе с заданием, этикетка выйдет ${wanted}. Задавать размер руками стоит, только если принтер протягивает лишнюю наклейку или вы печатаете из других программ`,
      canApply: false,
    }
  return {
    tone: 'info',
    text: `В принтере задано ${shown}, а этикетка ${wanted}. На печать из приложения это не влияет — размер мы задаем в каждом задании. Кнопка ниже впишет его и в сам принтер: пригодится, если принтер протягивает лишнюю наклейку или вы печатаете из других программ`,
    canApply: true,
  }
}
