/**
 * One search run of the list screen (the text settled, Enter, a scan, or the
 * "Найти в МоемСкладе" button): open the only document matching by code, or
 * ask MoySklad for the number and say what came of it.
 */
import { findDocument, type FoundDocument } from './documentRequests'
import type { DocumentRecord } from './records'
import { findFailedNote, looksLikeNumber, matchesByCode, notFoundNote, outsideStatusesNote, searchKey, severalFoundNote } from './search'

export interface SearchRun {
  type: string
  typeLabel: string
  text: string
  /** the documents of the type on screen */
  shown: DocumentRecord[]
  online: boolean
  firstPageArrived: boolean
  roles: boolean
  /** the user pressed "Найти в МоемСкладе": ask again even for a number already asked */
  force: boolean
  /** numbers already asked (normalised) */
  asked: Set<string>
  /** takes documents found in MoySklad into the list */
  merge: (found: DocumentRecord[]) => void
  find?: typeof findDocument
}

export interface SearchOutcome {
  open?: DocumentRecord
  note?: string
  /** MoySklad was asked */
  asked: boolean
}

/** Whether the text may go to MoySklad at all (the button is offered then). */
export function canAskServer(text: string, online: boolean, firstPageArrived: boolean): boolean {
  return online && firstPageArrived && looksLikeNumber(text.trim())
}

function plain(d: FoundDocument): DocumentRecord {
  const { inFilter: _i, stateName: _s, ...doc } = d
  return doc
}

export async function runListSearch(run: SearchRun): Promise<SearchOutcome> {
  const text = run.text.trim()
  if (!text) return { asked: false }
  const byCode = run.shown.filter((d) => matchesByCode(d, text))
  if (byCode.length === 1) return { open: byCode[0], asked: false }
  if (byCode.length > 0 || !canAskServer(text, run.online, run.firstPageArrived)) return { asked: false }
  const key = searchKey(text)
  if (!run.force && run.asked.has(key)) return { asked: false }
  run.asked.add(key)
  let found: FoundDocument[]
  try {
    found = await (run.find ?? findDocument)(run.type, text)
  } catch {
    return { note: findFailedNote(text), asked: true }
  }
  const usable = found.filter((d) => d.inFilter).map(plain)
  if (usable.length > 0) run.merge(usable)
  if (usable.length === 1) return { open: usable[0], asked: true }
  if (usable.length > 1) return { note: severalFoundNote(text), asked: true }
  if (found.length > 0) return { note: outsideStatusesNote(text, found[0]!.stateName, run.typeLabel, run.roles), asked: true }
  return { note: notFoundNote(text, run.shown.some((d) => (d.searchCodes ?? []).length > 0)), asked: true }
}
