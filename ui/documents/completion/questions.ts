/** Completion questions: normalisation of the server's list, validation and the answers object. */

export type AttributeType = 'long' | 'double' | 'string' | 'text' | 'boolean'

export interface StateOption {
  id: string
  name: string
  color: string
}

export type Question =
  | { id: string; label: string; required: boolean; type: 'state'; options: StateOption[] }
  | { id: string; label: string; required: boolean; type: 'attribute'; valueType: AttributeType }

const VALUE_TYPES: readonly AttributeType[] = ['long', 'double', 'string', 'text', 'boolean']
export const NO_COLOUR = '#9ca3af'

/** A number 0…16 777 215 as #rrggbb; anything else grey. */
export function optionColour(v: unknown): string {
  return typeof v === 'number' && Number.isInteger(v) && v >= 0 && v <= 0xffffff ? `#${v.toString(16).padStart(6, '0')}` : NO_COLOUR
}

export function normaliseQuestions(raw: unknown): Question[] {
  const list = Array.isArray(raw) ? raw : []
  const out: Question[] = []
  const seen = new Set<string>()
  for (const item of list) {
    if (typeof item !== 'object' || item === null) continue
    const q = item as Record<string, unknown>
    const id = typeof q.id === 'string' || typeof q.id === 'number' ? String(q.id) : ''
    const label = typeof q.label === 'string' ? q.label.trim() : ''
    if (!id || !label || seen.has(id)) continue
    const required = q.required === true
    if (q.type === 'state') {
      const options = (Array.isArray(q.options) ? q.options : [])
        .filter((o): o is Record<string, unknown> => typeof o === 'object' && o !== null && (typeof o.id === 'string' || typeof o.id === 'number'))
        .map((o) => ({ id: String(o.id), name: typeof o.name === 'string' && o.name.trim() ? o.name.trim() : String(o.id), color: optionColour(o.color) }))
      if (options.length === 0) continue
      out.push({ id, label, required, type: 'state', options })
    } else if (q.type === 'attribute' && VALUE_TYPES.includes(q.valueType as AttributeType)) {
      out.push({ id, label, required, type: 'attribute', valueType: q.valueType as AttributeType })
    } else {
      continue
    }
    seen.add(id)
  }
  return out
}

/** What the user entered: text for attributes, an option id for states, a boolean for yes/no. */
export type AnswerInput = string | boolean | undefined

export const REQUIRED_TEXT = 'Ответьте на этот вопрос'

export function hintFor(q: Question): string {
  if (q.type !== 'attribute') return ''
  if (q.valueType === 'long') return 'Целое число'
  if (q.valueType === 'double') return 'Число, можно с запятой'
  return ''
}

export function questionLabel(q: Question): string {
  return q.required ? q.label : `${q.label} (по желанию)`
}

const isBlank = (v: AnswerInput) => v === undefined || (typeof v === 'string' && v.trim() === '')

/** The error text for one answer, or '' when it is acceptable. */
export function validateAnswer(q: Question, value: AnswerInput): string {
  if (isBlank(value)) return q.required ? REQUIRED_TEXT : ''
  if (q.type === 'state') return q.options.some((o) => o.id === value) ? '' : REQUIRED_TEXT
  const text = typeof value === 'string' ? value.trim() : ''
  switch (q.valueType) {
    case 'long':
      return /^-?\d+$/.test(text) && Number.isSafeInteger(Number(text)) ? '' : 'Целое число'
    case 'double':
      return /^-?\d+([.,]\d+)?$/.test(text) ? '' : 'Число, можно с запятой'
    case 'string':
      return [...String(value)].length <= 255 ? '' : 'Не длиннее 255 символов'
    case 'text':
      return [...String(value)].length <= 4096 ? '' : 'Не длиннее 4096 символов'
    case 'boolean':
      return typeof value === 'boolean' ? '' : REQUIRED_TEXT
  }
}

/** Every question's error ('' when fine), by id. */
export function validateAll(questions: Question[], values: Record<string, AnswerInput>): Record<string, string> {
  return Object.fromEntries(questions.map((q) => [q.id, validateAnswer(q, values[q.id])]))
}

/** The `answers` object: numbers for long/double, booleans, option ids, texts; unanswered optional questions left out. */
export function answersPayload(questions: Question[], values: Record<string, AnswerInput>): Record<string, unknown> {
  const out: Record<string, unknown> = {}
  for (const q of questions) {
    const v = values[q.id]
    if (isBlank(v)) continue
    if (q.type === 'state') out[q.id] = v
    else if (q.valueType === 'long') out[q.id] = Number(String(v).trim())
    else if (q.valueType === 'double') out[q.id] = Number(String(v).trim().replace(',', '.'))
    else if (q.valueType === 'boolean') out[q.id] = v === true
    else out[q.id] = String(v)
  }
  return out
}
