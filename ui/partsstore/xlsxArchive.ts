/**
 * What an .xlsx (a zip archive) unpacks to, measured before a spreadsheet
 * reader inflates it. Every entry of the central directory is inflated here
 * in small pieces and counted, nothing kept, and the whole archive is refused
 * as soon as the total passes the limit: a few kilobytes that claim to be
 * small and inflate to gigabytes (or several entries pointing at the same
 * data) stop within one piece of the limit. Pure: runs in the reading worker
 * and in tests.
 */
import { Inflate } from 'fflate'

/**
 * The most the entries of an .xlsx may inflate to, together: about the sheet of 100,000 rows of the eight
 * import columns, and what bounds the spreadsheet reader's own work and memory.
 */
export const MAX_INFLATED_BYTES = 40 * 1024 * 1024
/** An .xlsx holds a few dozen entries; thousands are no workbook. */
export const MAX_ENTRIES = 5000
/** Compressed bytes pushed at a time: deflate inflates at most about a thousandfold, so one piece stays near 4 MB. */
const PIECE = 4096

/** The archive is no zip an .xlsx reader could use. */
export class NotAnArchiveError extends Error {}

/** The archive inflates to more than the limit. */
export class ArchiveTooLargeError extends Error {
  constructor(readonly limit: number, readonly inflated: number) {
    super(`inflates to more than ${limit} bytes`)
  }
}

export interface ArchiveSize {
  entries: number
  /** the bytes the entries inflated to, measured */
  inflated: number
}

const u16 = (b: Uint8Array, at: number) => b[at]! | (b[at + 1]! << 8)
const u32 = (b: Uint8Array, at: number) => (b[at]! | (b[at + 1]! << 8) | (b[at + 2]! << 16) | (b[at + 3]! << 24)) >>> 0

function endOfDirectory(b: Uint8Array): number {
  const last = b.length - 22
  for (let at = last; at >= 0 && at >= last - 0xffff; at--) if (u32(b, at) === 0x06054b50) return at
  throw new NotAnArchiveError('no end of the central directory')
}

interface Entry {
  method: number
  compressed: number
  declared: number
  dataAt: number
}

function readDirectory(b: Uint8Array): Entry[] {
  const end = endOfDirectory(b)
  const count = u16(b, end + 10)
  const offset = u32(b, end + 16)
  // 0xffff entries or an offset of 0xffffffff are the 64-bit form, which no workbook within the limits needs.
  if (count === 0xffff || offset === 0xffffffff) throw new NotAnArchiveError('zip64 archive')
  if (count > MAX_ENTRIES) throw new NotAnArchiveError(`${count} entries`)
  const entries: Entry[] = []
  let at = offset
  for (let i = 0; i < count; i++) {
    if (at + 46 > b.length || u32(b, at) !== 0x02014b50) throw new NotAnArchiveError('broken central directory')
    const local = u32(b, at + 42)
    if (local + 30 > b.length || u32(b, local) !== 0x04034b50) throw new NotAnArchiveError('broken local header')
    const dataAt = local + 30 + u16(b, local + 26) + u16(b, local + 28)
    const compressed = u32(b, at + 20)
    if (dataAt + compressed > b.length) throw new NotAnArchiveError('entry past the end')
    entries.push({ method: u16(b, at + 10), compressed, declared: u32(b, at + 24), dataAt })
    at += 46 + u16(b, at + 28) + u16(b, at + 30) + u16(b, at + 32)
  }
  return entries
}

/**
 * Measures what `bytes` inflate to, refusing at `limit`. `onProgress` hears the compressed bytes gone
 * through out of all of them.
 */
export function measureArchive(
  bytes: Uint8Array,
  limit = MAX_INFLATED_BYTES,
  onProgress: (done: number, total: number) => void = () => {},
): ArchiveSize {
  const entries = readDirectory(bytes)
  // What the directory declares is believed only when it refuses: a small declared size may lie.
  const declared = entries.reduce((n, e) => n + e.declared, 0)
  if (declared > limit) throw new ArchiveTooLargeError(limit, declared)
  const total = entries.reduce((n, e) => n + e.compressed, 0)
  let inflated = 0
  let done = 0
  for (const e of entries) {
    if (e.method === 0) {
      inflated += e.compressed
      if (inflated > limit) throw new ArchiveTooLargeError(limit, inflated)
    } else if (e.method === 8) {
      let ended = false
      const inflate = new Inflate((chunk, final) => {
        inflated += chunk.length
        if (final) ended = true
      })
      for (let at = 0; at < e.compressed && !ended; at += PIECE) {
        const end = Math.min(e.compressed, at + PIECE)
        try {
          inflate.push(bytes.subarray(e.dataAt + at, e.dataAt + end), end === e.compressed)
        } catch (err) {
          throw new NotAnArchiveError(err instanceof Error ? err.message : String(err))
        }
        if (inflated > limit) throw new ArchiveTooLargeError(limit, inflated)
        onProgress(done + end, total)
      }
    } else {
      throw new NotAnArchiveError(`compression method ${e.method}`)
    }
    done += e.compressed
    onProgress(done, total)
  }
  return { entries: entries.length, inflated }
}
