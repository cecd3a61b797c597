/**
 * Changes to the units of the open session: a unit's fields or the unit itself (in the device's queue
 * while it waits there, else on the service by its id) and a unit's photos. Every action answers ""
 * when done, else the text to show.
 */
import { FAILURE_TEXTS } from './commands'
import type { InventoryCommands, QueueRunner } from './queueRunner'
import type { Scan } from './records'
import { changedFields, type ScanChange } from './scanEdit'
import { normalisePhoto, type UnitPhoto } from './unitPhotos'

export const NOT_KEPT = 'Изменение не сохранилось на устройстве — попробуйте еще раз'

export interface UnitDeps {
  runner: () => QueueRunner | null
  commands: Pick<InventoryCommands, 'updateScan' | 'deleteScan' | 'photoList' | 'photoDelete' | 'photoMove'>
  errorText: (err: unknown) => string
  /** the code a failure carried (none: no answer) */
  failureOf: (err: unknown) => { code?: string }
  base: () => string
  /** the photo uploads forget what they counted for a unit once the service has told its count */
  forgetPhotos: (scanUid: string) => void
}

export function unitChanges(d: UnitDeps) {
  /** A unit changed, or with 'delete' removed. */
  async function changeScan(scan: Scan, change: ScanChange | 'delete'): Promise<string> {
    const r = d.runner()
    const s = r?.session.value
    if (!r || !s) return ''
    if (change === 'delete') return deleteScan(scan)
    const fields = changedFields({ note: scan.note, qty: scan.qty, cellId: scan.cellId }, change)
    if (Object.keys(fields).length === 0) return ''
    if (scan.pending) {
      const kept = await r.changeQueued(scan.scanUid, fields)
      if (kept === 'kept') return ''
      if (kept === 'not-kept') return NOT_KEPT
    }
    // Delivered (perhaps by the flush the change waited for): the service's record is changed.
    const id = scan.id ?? r.serviceScan(scan.scanUid)?.id ?? null
    if (id === null) return FAILURE_TEXTS.not_found!
    try {
      r.replaceScan(await d.commands.updateScan(s.id, id, fields))
      void r.reload()
      return ''
    } catch (err) {
      return d.errorText(err)
    }
  }

  /**
   * A unit deleted: by the device's queue while the service may not have it or its fate is unknown (the
   * delete then waits there, by `scanUid`, until the service confirms it), else on the service by id.
   */
  async function deleteScan(scan: Scan): Promise<string> {
    const r = d.runner()
    const s = r?.session.value
    if (!r || !s) return ''
    const id = scan.id ?? r.serviceScan(scan.scanUid)?.id ?? null
    if (id === null || scan.pending) {
      const out = await r.removeUnit(scan)
      if (out === 'gone' || out === 'deleting') return ''
      if (out === 'not-kept') return NOT_KEPT
      if (id === null) return FAILURE_TEXTS.not_found!
    }
    try {
      await d.commands.deleteScan(s.id, { id: id!, scanUid: scan.scanUid })
      r.removeScan(id!)
      void r.reload()
      return ''
    } catch (err) {
      // No answer: whether the service deleted it is unknown; the delete waits on the device.
      if (d.failureOf(err).code === undefined) {
        const out = await r.removeUnit(scan)
        return out === 'not-kept' ? NOT_KEPT : ''
      }
      return d.errorText(err)
    }
  }

  /** The unit's photo count shown from now on. */
  function setPhotoCount(scanUid: string, n: number) {
    const r = d.runner()
    const shown = r?.serviceScan(scanUid)
    d.forgetPhotos(scanUid)
    if (r && shown && shown.photos !== n) r.replaceScan({ ...shown, photos: n })
  }

  /** The photos of a unit as the service has them. */
  async function unitPhotos(scan: Scan): Promise<{ photos: UnitPhoto[]; error: string }> {
    const s = d.runner()?.session.value
    if (!s) return { photos: [], error: '' }
    try {
      const raw = await d.commands.photoList(s.id, scan.scanUid, 200)
      const photos = raw.map((p) => normalisePhoto(p, d.base())).filter((p): p is UnitPhoto => p !== null)
      setPhotoCount(scan.scanUid, photos.length)
      return { photos, error: '' }
    } catch (err) {
      return { photos: [], error: d.errorText(err) }
    }
  }

  /** A photo of `from` deleted, or moved to the unit `toUid`. */
  async function changePhoto(from: Scan, photoId: string, toUid?: string): Promise<string> {
    const r = d.runner()
    try {
      if (toUid === undefined) await d.commands.photoDelete(photoId)
      else {
        await d.commands.photoMove(photoId, toUid)
        const to = r?.serviceScan(toUid)
        if (to) setPhotoCount(toUid, to.photos + 1)
      }
      setPhotoCount(from.scanUid, Math.max(0, (r?.serviceScan(from.scanUid)?.photos ?? from.photos) - 1))
      void r?.reload()
      return ''
    } catch (err) {
      return d.errorText(err)
    }
  }

  return { changeScan, unitPhotos, changePhoto }
}
