import { afterEach, describe, expect, it } from 'vitest'
import { installTypeAnywhere } from './typeAnywhere'

let undo: (() => void) | undefined
afterEach(() => {
  undo?.()
  document.body.innerHTML = ''
})

function setup() {
  const search = document.createElement('input')
  const inputs: string[] = []
  const enters: string[] = []
  search.addEventListener('input', () => inputs.push(search.value))
  search.addEventListener('keyup', (e) => enters.push(e.key))
  document.body.append(search)
  undo = installTypeAnywhere(() => search)
  return { search, inputs, enters }
}

function keyOn(target: EventTarget, key: string, init: KeyboardEventInit = {}) {
  const e = new KeyboardEvent('keydown', { key, bubbles: true, cancelable: true, ...init })
  target.dispatchEvent(e)
  return e.defaultPrevented
}

describe('type-anywhere', () => {
  it('sends characters typed on the page to the field, with input events, and Enter as its release', () => {
    const { search, inputs, enters } = setup()
    expect(keyOn(document.body, '4')).toBe(true)
    keyOn(document.body, '6')
    keyOn(document.body, 'Enter')
    expect(search.value).toBe('46')
    expect(inputs).toEqual(['4', '46'])
    expect(enters).toEqual(['Enter'])
  })

  it.each([
    ['with Ctrl', document.body, 'c', { ctrlKey: true }],
    ['with Alt', document.body, 'x', { altKey: true }],
    ['with Meta', document.body, 'v', { metaKey: true }],
    ['a named key', document.body, 'ArrowDown', {}],
  ])('leaves a key %s alone', (_what, target, key, init) => {
    const { search } = setup()
    expect(keyOn(target, key, init)).toBe(false)
    expect(search.value).toBe('')
  })

  it.each(['input', 'textarea', 'select', 'button', 'editable'])('leaves keys typed into a %s alone', (kind) => {
    const { search } = setup()
    const el = document.createElement(kind === 'editable' ? 'div' : kind)
    if (kind === 'editable') el.setAttribute('contenteditable', 'true')
    document.body.append(el)
    expect(keyOn(el, '7')).toBe(false)
    expect(search.value).toBe('')
  })

  it('stops when undone', () => {
    const { search } = setup()
    undo!()
    keyOn(document.body, '1')
    expect(search.value).toBe('')
  })
})
