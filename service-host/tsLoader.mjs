// Module hooks that let Node 20 load the UI's TypeScript modules (the shared
// in-memory backend and the envelope) as they are: each .ts file inside this
// repository is transpiled on load with the project's own TypeScript (types
// stripped, nothing checked), and extensionless relative imports made from a
// .ts file resolve to the .ts file, as the UI's bundler resolves them.
import { readFile } from 'node:fs/promises'
import { createRequire } from 'node:module'
import { fileURLToPath } from 'node:url'

const ROOT = new URL('../', import.meta.url).href
const require = createRequire(fileURLToPath(new URL('../package.json', import.meta.url)))
/** @type {typeof import('typescript')} */
const ts = require('typescript')

const inRepo = (/** @type {string} */ url) => url.startsWith(ROOT) && !url.includes('/node_modules/')

/** @type {import('node:module').ResolveHook} */
export async function resolve(specifier, context, next) {
  const fromTs = context.parentURL?.endsWith('.ts') && inRepo(context.parentURL)
  if (fromTs && (specifier.startsWith('./') || specifier.startsWith('../')) && !/\.[cm]?[jt]s$/.test(specifier)) {
    return next(`${specifier}.ts`, context)
  }
  return next(specifier, context)
}

/** @type {import('node:module').LoadHook} */
export async function load(url, context, next) {
  if (!url.endsWith('.ts') || !inRepo(url)) return next(url, context)
  const source = await readFile(new URL(url), 'utf8')
  const out = ts.transpileModule(source, {
    fileName: fileURLToPath(url),
    compilerOptions: { module: ts.ModuleKind.ESNext, target: ts.ScriptTarget.ES2022, sourceMap: false },
  })
  return { format: 'module', source: out.outputText, shortCircuit: true }
}
