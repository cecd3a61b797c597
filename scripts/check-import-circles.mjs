#!/usr/bin/env node
// Fails when modules under ui/ import each other in a circle.
//
// A circle makes the order in which modules run depend on who was imported
// first, and lets a change in one screen ripple through unrelated ones. Every
// import that runs code counts: static imports, re-exports and dynamic
// `import()`. Type-only imports are erased by the compiler and do not count.
//
// Usage: node scripts/check-import-circles.mjs [root]   (root defaults to ui)
import { readFileSync, readdirSync, statSync, existsSync } from 'node:fs'
import { dirname, join, relative, resolve } from 'node:path'

const root = resolve(process.argv[2] ?? 'ui')

function sourceFiles(dir) {
  const out = []
  for (const name of readdirSync(dir)) {
    if (name === 'node_modules') continue
    const path = join(dir, name)
    if (statSync(path).isDirectory()) out.push(...sourceFiles(path))
    else if (/\.(ts|vue)$/.test(name) && !name.endsWith('.d.ts')) out.push(path)
  }
  return out
}

/** The script part of a file: for a .vue file, its <script> blocks. */
function scriptText(path) {
  const text = readFileSync(path, 'utf8')
  if (!path.endsWith('.vue')) return text
  const blocks = [...text.matchAll(/<script\b[^>]*>([\s\S]*?)<\/script>/g)].map((m) => m[1])
  return blocks.join('\n')
}

function stripComments(text) {
  return text.replace(/\/\*[\s\S]*?\*\//g, '').replace(/(^|[^:'"`\\])\/\/.*$/gm, '$1')
}

/** Relative specifiers this source imports at run time. */
export function runtimeImports(source) {
  const text = stripComments(source)
  const targets = []
  // import x from '…', import { a, type B } from '…', export { a } from '…', export * from '…'
  const fromRe = /\b(import|export)\s+(type\s+)?([^'";]*?)\s*from\s*['"]([^'"]+)['"]/g
  for (const m of text.matchAll(fromRe)) {
    if (m[2]) continue // `import type …` / `export type …`
    const clause = m[3].trim()
    const braced = clause.match(/^\{([^}]*)\}$/)
    if (braced) {
      const names = braced[1].split(',').map((s) => s.trim()).filter(Boolean)
      if (names.length > 0 && names.every((n) => n.startsWith('type '))) continue
    }
    targets.push(m[4])
  }
  // import '…' (side effects only)
  for (const m of text.matchAll(/\bimport\s*['"]([^'"]+)['"]/g)) targets.push(m[1])
  // import('…')
  for (const m of text.matchAll(/\bimport\s*\(\s*['"]([^'"]+)['"]\s*\)/g)) targets.push(m[1])
  return targets.filter((s) => s.startsWith('.'))
}

function resolveImport(fromFile, specifier) {
  const base = resolve(dirname(fromFile), specifier)
  for (const candidate of [base, `${base}.ts`, `${base}.vue`, join(base, 'index.ts')]) {
    if (existsSync(candidate) && statSync(candidate).isFile()) return candidate
  }
  return null
}

/** Strongly connected components with more than one module (or a module importing itself). */
export function circles(graph) {
  let index = 0
  const indexOf = new Map()
  const low = new Map()
  const stack = []
  const onStack = new Set()
  const found = []
  const visit = (v) => {
    indexOf.set(v, index)
    low.set(v, index)
    index++
    stack.push(v)
    onStack.add(v)
    for (const w of graph.get(v) ?? []) {
      if (!indexOf.has(w)) {
        visit(w)
        low.set(v, Math.min(low.get(v), low.get(w)))
      } else if (onStack.has(w)) {
        low.set(v, Math.min(low.get(v), indexOf.get(w)))
      }
    }
    if (low.get(v) === indexOf.get(v)) {
      const component = []
      let w
      do {
        w = stack.pop()
        onStack.delete(w)
        component.push(w)
      } while (w !== v)
      if (component.length > 1 || (graph.get(v) ?? []).includes(v)) found.push(component)
    }
  }
  for (const v of graph.keys()) if (!indexOf.has(v)) visit(v)
  return found
}

/** One concrete circle through `start` inside `members`, for the message. */
function onePath(graph, start, members) {
  const inside = new Set(members)
  const prev = new Map([[start, null]])
  const queue = [start]
  while (queue.length > 0) {
    const v = queue.shift()
    for (const w of graph.get(v) ?? []) {
      if (w === start) {
        const path = [start]
        for (let x = v; x !== null && x !== start; x = prev.get(x)) path.splice(1, 0, x)
        return [...path, start]
      }
      if (inside.has(w) && !prev.has(w)) {
        prev.set(w, v)
        queue.push(w)
      }
    }
  }
  return [start]
}

function main() {
  const graph = new Map()
  for (const file of sourceFiles(root)) {
    const targets = runtimeImports(scriptText(file))
      .map((specifier) => resolveImport(file, specifier))
      .filter((t) => t !== null)
    graph.set(file, [...new Set(targets)])
  }
  const found = circles(graph)
  const name = (f) => relative(process.cwd(), f)
  if (found.length === 0) {
    console.log(`import circles: none among ${graph.size} modules under ${name(root) || '.'}`)
    return 0
  }
  for (const component of found) {
    const start = [...component].sort()[0]
    console.log(`import circle of ${component.length} module(s):`)
    console.log('  ' + onePath(graph, start, component).map(name).join('\n  → '))
  }
  console.log(`import circles: ${found.length} found`)
  return 1
}

if (import.meta.url === `file://${process.argv[1]}`) process.exit(main())
