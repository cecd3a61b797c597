#!/usr/bin/env node
// Fails when a module under ui/ does work the moment it is imported.
//
// Work at import runs in whatever order the imports happen to load, before
// the app and its stores exist, and again in every test that touches the
// module. Starting things is the job of ui/main.ts and of each feature's
// install(ctx). Top-level declarations are fine, and so are the few calls that
// only build a value: stores, hook lists, reactive state, frozen tables, maps,
// and a call marked /*#__PURE__*/ (the mark bundlers read the same way: building
// this value has no effect beyond it).
//
// Usage: node scripts/check-import-work.mjs [root]   (root defaults to ui)
import { readFileSync, readdirSync, statSync } from 'node:fs'
import { join, relative, resolve, sep } from 'node:path'
import ts from 'typescript'

const root = resolve(process.argv[2] ?? 'ui')

/** Calls that only build a value. */
const BUILDERS = new Set([
  'defineStore', 'createHooks', 'ref', 'shallowRef', 'reactive', 'shallowReactive', 'readonly', 'computed', 'markRaw',
  'defineComponent', 'defineAsyncComponent', 'Symbol', 'Object.freeze', 'Object.keys', 'Object.values', 'Object.entries',
  'Object.fromEntries', 'Array.from', 'String', 'Number', 'RegExp', 'JSON.stringify',
])
/** Constructors that only build a value. */
const CONSTRUCTED = new Set(['Map', 'Set', 'WeakMap', 'WeakSet', 'RegExp', 'Intl.NumberFormat', 'Intl.DateTimeFormat', 'Intl.Collator', 'TextEncoder', 'TextDecoder'])

function calleeName(node) {
  if (ts.isIdentifier(node)) return node.text
  if (ts.isPropertyAccessExpression(node)) {
    const left = calleeName(node.expression)
    return left === null ? null : `${left}.${node.name.text}`
  }
  return null
}

const isFunction = (node) =>
  ts.isArrowFunction(node) || ts.isFunctionExpression(node) || ts.isFunctionDeclaration(node) || ts.isClassLike(node) || ts.isMethodDeclaration(node)

/** Modules that are entry points themselves: the page's and its workers' (camera decoder, spreadsheet reader). */
const ENTRY_POINTS = new Set(['main.ts', 'documents/scanner/camera/decodeWorker.ts', 'partsstore/sheetWorker.ts'])

// A comment on the line of the token before counts as that token's trailing one: both kinds are read.
function markedPure(node) {
  const text = node.getSourceFile().text
  const ranges = [...(ts.getLeadingCommentRanges(text, node.pos) ?? []), ...(ts.getTrailingCommentRanges(text, node.pos) ?? [])]
  return ranges.some((r) => /[#@]__PURE__/.test(text.slice(r.pos, r.end)))
}

/** What in this top-level node runs at import: a list of [node, why]. */
function workIn(node, found = []) {
  if (isFunction(node)) return found
  if ((ts.isCallExpression(node) || ts.isNewExpression(node)) && markedPure(node)) {
    // The arguments of a value-building call still run.
    for (const arg of node.arguments ?? []) workIn(arg, found)
    return found
  }
  if (ts.isCallExpression(node)) {
    const name = calleeName(node.expression)
    if (name === null || !BUILDERS.has(name)) found.push([node, `call of ${name ?? 'an expression'}`])
  } else if (ts.isNewExpression(node)) {
    const name = calleeName(node.expression)
    if (name === null || !CONSTRUCTED.has(name)) found.push([node, `new ${name ?? 'expression'}`])
  } else if (ts.isAwaitExpression(node)) {
    found.push([node, 'top-level await'])
  } else if (ts.isTaggedTemplateExpression(node)) {
    found.push([node, 'tagged template'])
  }
  ts.forEachChild(node, (child) => void workIn(child, found))
  return found
}

/** Top-level statements of `source` that do work at import: "line: why" each. */
export function importWork(source, fileName = 'module.ts') {
  const file = ts.createSourceFile(fileName, source, ts.ScriptTarget.Latest, true, ts.ScriptKind.TS)
  const found = []
  for (const stmt of file.statements) {
    if (
      ts.isImportDeclaration(stmt) || ts.isImportEqualsDeclaration(stmt) || ts.isExportDeclaration(stmt) ||
      ts.isInterfaceDeclaration(stmt) || ts.isTypeAliasDeclaration(stmt) || ts.isFunctionDeclaration(stmt) ||
      ts.isEnumDeclaration(stmt) || ts.isModuleDeclaration(stmt) || ts.isEmptyStatement(stmt)
    ) continue
    if (ts.isClassDeclaration(stmt)) {
      // Static fields and blocks run when the class is defined.
      for (const m of stmt.members) {
        if (ts.isClassStaticBlockDeclaration(m)) found.push([m, 'static block'])
        else if (ts.isPropertyDeclaration(m) && m.initializer && m.modifiers?.some((x) => x.kind === ts.SyntaxKind.StaticKeyword)) workIn(m.initializer, found)
      }
      continue
    }
    if (ts.isVariableStatement(stmt)) {
      for (const d of stmt.declarationList.declarations) if (d.initializer) workIn(d.initializer, found)
      continue
    }
    if (ts.isExportAssignment(stmt)) {
      workIn(stmt.expression, found)
      continue
    }
    found.push([stmt, 'statement'])
  }
  return found.map(([node, why]) => `${file.getLineAndCharacterOfPosition(node.getStart(file)).line + 1}: ${why}`)
}

/** The plain <script> block of a .vue file (a <script setup> runs per component, not at import). */
export function plainScript(vueText) {
  for (const m of vueText.matchAll(/<script\b([^>]*)>([\s\S]*?)<\/script>/g)) {
    if (!/\bsetup\b/.test(m[1])) return m[2]
  }
  return ''
}

function modules(dir) {
  const out = []
  for (const name of readdirSync(dir)) {
    const path = join(dir, name)
    if (statSync(path).isDirectory()) {
      if (name !== 'node_modules' && name !== 'testing') out.push(...modules(path))
    } else if (/\.(ts|vue)$/.test(name) && !/\.(test|d)\.ts$/.test(name)) out.push(path)
  }
  return out
}

function main() {
  let faults = 0
  const files = modules(root).filter((f) => !ENTRY_POINTS.has(relative(root, f).split(sep).join('/')))
  for (const file of files) {
    const text = readFileSync(file, 'utf8')
    const source = file.endsWith('.vue') ? plainScript(text) : text
    for (const line of importWork(source, file)) {
      console.log(`${relative(process.cwd(), file)}:${line}`)
      faults++
    }
  }
  console.log(faults === 0 ? `import-time work: none in ${files.length} modules under ${relative(process.cwd(), root) || '.'} (entry points aside)` : `import-time work: ${faults} found`)
  return faults === 0 ? 0 : 1
}

if (import.meta.url === `file://${process.argv[1]}`) process.exit(main())
