import { mount } from '@vue/test-utils'
import { describe, expect, it } from 'vitest'
import NumberStepper from './NumberStepper.vue'

describe('the number stepper', () => {
  it.each([
    // value, step, min, max, button, handed on
    [58, 1, 10, 400, 'plus', '59'],
    [0.3, 0.1, -10, 10, 'minus', '0.2'],
    [9.95, 0.1, -10, 10, 'plus', '10'],
    [10, 1, 10, 400, 'minus', undefined],
  ] as const)('%f, step %f, within [%f, %f]: "%s" hands on %s', async (value, step, min, max, button, handed) => {
    const w = mount(NumberStepper, { props: { value, step, min, max, testId: 'n' } })
    await w.get(`[data-test="n-${button}"]`).trigger('click')
    expect(w.emitted('commit')?.[0]).toEqual(handed === undefined ? undefined : [handed])
  })

  it('hands on what was typed, for the owner to normalise', async () => {
    const w = mount(NumberStepper, { props: { value: 5, testId: 'n' } })
    await w.get('[data-test="n"]').setValue('12,5')
    expect(w.emitted('commit')).toEqual([['12,5']])
  })
})
