// The two structure checks `make test` runs over ui/: import circles and work done at import.
import { describe, expect, it } from 'vitest'
// @ts-expect-error: a plain node script without type declarations
import { circles, runtimeImports } from './check-import-circles.mjs'
// @ts-expect-error: a plain node script without type declarations
import { importWork, plainScript } from './check-import-work.mjs'

describe('imports that run code', () => {
  it.each([
    ["import { a } from './a'", ['./a']],
    ["import type { A } from './a'", []],
    ["import { type A, type B } from './a'", []],
    ["import { type A, b } from './a'", ['./a']],
    ["export { a } from './a'\nexport * from './b'", ['./a', './b']],
    ["import './styles.css'", ['./styles.css']],
    ["const v = () => import('./View.vue')", ['./View.vue']],
    ["import { ref } from 'vue'", []],
    ["// import { a } from './a'\n/* import './b' */", []],
  ])('%s', (source, expected) => {
    expect(runtimeImports(source)).toEqual(expected)
  })
})

describe('circles', () => {
  const graph = (edges: Record<string, string[]>) => new Map(Object.entries(edges))
  it.each([
    ['a chain', { a: ['b'], b: ['c'], c: [] }, []],
    ['two modules', { a: ['b'], b: ['a'] }, [['a', 'b']]],
    ['a module importing itself', { a: ['a'] }, [['a']]],
    ['a long circle beside a chain', { a: ['b'], b: ['c'], c: ['a'], d: ['a'] }, [['a', 'b', 'c']]],
    ['two separate circles', { a: ['b'], b: ['a'], c: ['d'], d: ['c'] }, [['a', 'b'], ['c', 'd']]],
  ])('%s', (_name, edges, expected) => {
    const found = (circles(graph(edges)) as string[][]).map((c) => [...c].sort()).sort()
    expect(found).toEqual(expected)
  })
})

describe('work at import', () => {
  it.each([
    ['declarations', "import { x } from './x'\nexport interface A { a: number }\ntype B = string\nexport function f() { start() }\nclass C { m() { go() } }", []],
    ['builders', "const useS = defineStore('s', () => { start() })\nconst h = createHooks('h')\nconst r = ref(0)\nconst c = computed(() => r.value)\nconst t = Object.freeze({ a: 1 })\nconst m = new Map()\nconst s = new Set([1])", []],
    ['a call marked pure', 'export const ops = /*#__PURE__*/ createOps()', []],
    ['a marked call still runs its arguments', 'export const ops = /*#__PURE__*/ createOps(load())', ['1: call of load']],
    ['a top-level call', "start()", ['1: statement']],
    ['a listener', "window.addEventListener('error', () => {})", ['1: statement']],
    ['a timer in a value', 'const t = setTimeout(() => {}, 10)', ['1: call of setTimeout']],
    ['a top-level await', 'const x = await load()', ['1: top-level await', '1: call of load']],
    ['an object built by a constructor', 'const c = new Channel()', ['1: new Channel']],
    ['a call inside an arrow runs later', 'export const f = () => start()', []],
    ['a static field', 'class C { static s = start() }', ['1: call of start']],
    ['a default export', 'export default run()', ['1: call of run']],
    ['a condition', 'if (ready) go()', ['1: statement']],
  ])('%s', (_name, source, expected) => {
    expect(importWork(source)).toEqual(expected)
  })

  it.each([
    ['<script setup lang="ts">start()</script>', ''],
    ['<script lang="ts">const k = keep()</script>\n<script setup lang="ts">start()</script>', 'const k = keep()'],
  ])('reads only the plain script of a .vue file: %s', (vue, expected) => {
    expect(plainScript(vue)).toBe(expected)
  })
})
