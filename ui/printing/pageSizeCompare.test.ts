import { describe, expect, it } from 'vitest'
import { comparePageSize } from './pageSizeCompare'
import type { PageSizeInfo } from './printOps'

const info = (widthMm: number | null, heightMm: number | null, media: PageSizeInfo['media'] = null, current = 'Label'): PageSizeInfo => ({
  current, widthMm, heightMm, supportsCustom: true, media,
})
const tracking = (current: string) => ({ option: 'MediaTracking', current, gapChoice: 'Web' })

describe('page-size comparison', () => {
  it.each([
    ['57.6 × 40.4 matches 58 × 40', info(57.6, 40.4), false, 'ok', 'В принтере задано 58 × 40 мм — совпадает', false],
    ['a driver without a size', info(null, null, null, 'драйвер не сообщил размер'), false, 'ok', 'Размер в принтере: драйвер не сообщил размер', false],
    ['gap sensing in another letter case', info(58, 40, tracking('web')), false, 'ok', 'В принтере задано 58 × 40 мм — совпадает', false],
  ] as const)('%s', (_, p, applied, tone, text, canApply) => {
    expect(comparePageSize(p, 58, 40, applied)).toEqual({ tone, text, canApply })
  })

  it('56.9 wide does not match and offers the apply button', () => {
    expect(comparePageSize(info(56.9, 40), 58, 40, false)).toEqual({
      tone: 'info',
      text: 'В принтере задано 57 × 40 мм, а этикетка 58 × 40 мм. На печать из приложения это не влияет — размер мы задаем в каждом задании. Кнопка ниже впишет его и в сам принтер: пригодится, если принтер протягивает лишнюю наклейку или вы печатаете из других программ',
      canApply: true,
    })
  })

  it('after an attempt the driver kept its own size: no button', () => {
    expect(comparePageSize(info(101.6, 152.4), 58, 40, true)).toEqual({
      tone: 'info',
      text: 'Драйвер оставил свой размер — 102 × 152 мм, хотя приложение задало 58 × 40 мм. Этикеточные принтеры часто принимают только готовые формы. На печать из приложения это не влияет: размер уходит вместе с заданием, этикетка выйдет 58 × 40 мм. Задавать размер руками стоит, только если принтер протягивает лишнюю наклейку или вы печатаете из других программ',
      canApply: false,
    })
  })

  it('continuous media tracking warns with the apply button even when the sizes match', () => {
    const text = 'В принтере задано 58 × 40 мм, но лента считается сплошной — принтер не ищет промежуток между этикетками, и каждая следующая уезжает на пару миллиметров. Нажмите кнопку ниже: приложение включит отсчет по промежутку'
    expect(comparePageSize(info(58, 40, tracking('Continuous')), 58, 40, false)).toEqual({ tone: 'warning', text, canApply: true })
    expect(comparePageSize(info(58, 40, tracking('Continuous')), 58, 40, true)).toEqual({ tone: 'warning', text, canApply: true })
  })
})
