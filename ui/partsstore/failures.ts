/**
 * What the parts store shows for a failed command: the service's own text
 * where the refusal carries one, the fixed text of the situation otherwise.
 */
import { errorText } from '../core/bridge'
import { CHANNEL_CLOSED_MESSAGE, isTimeout, NOT_CONNECTED_MESSAGE, RefusalError } from '../core/requests'

const NO_CHANNEL_TEXTS = new Set([CHANNEL_CLOSED_MESSAGE, NOT_CONNECTED_MESSAGE])

export type Situation =
  | 'saveCell' | 'moveCell' | 'deleteCell' | 'openCell' | 'placement' | 'locations' | 'split' | 'deleteProducts'
  | 'search' | 'printLabels' | 'history' | 'undo' | 'import' | 'export' | 'saveZone' | 'deleteZone' | 'saveProduct' | 'load'

export const NO_REPLY = 'Нет ответа. Проверьте связь и повторите'
export const IMPORT_TIMEOUT_S = 150
export const ZONES_LOAD_FAILED = 'Не удалось загрузить зоны. Проверьте связь и повторите'
export const SEARCH_CELLS_LOAD_FAILED = 'Не удалось загрузить ячейки для поиска. Проверьте связь и повторите'

const OTHER: Record<Situation, string> = {
  saveCell: 'Не удалось сохранить ячейку',
  moveCell: 'Не удалось перенести ячейку',
  deleteCell: 'Не удалось удалить ячейку',
  openCell: 'Не удалось открыть ячейку',
  placement: 'Не удалось выполнить',
  locations: 'Не удалось узнать, где лежит товар',
  split: 'Не удалось выделить товар',
  deleteProducts: 'Не удалось удалить товары',
  search: 'Не удалось выполнить поиск',
  printLabels: 'Не удалось напечатать этикетки. Проверьте принтер и повторите',
  history: 'Для истории нужна серверная часть 1.35 или новее',
  undo: 'Для отмены нужна серверная часть 1.36 или новее',
  import: 'Не удалось выполнить импорт',
  export: 'Не удалось выгрузить товары',
  saveZone: 'Не удалось сохранить зону',
  deleteZone: 'Не удалось удалить зону',
  saveProduct: 'Не удалось сохранить товар',
  load: 'Не удалось загрузить',
}

function available(info: RefusalError['info']): number | undefined {
  return typeof info.available === 'number' ? info.available : undefined
}

/** The fixed text of a code in a situation, or undefined when the code has none there. */
function codeText(situation: Situation, code: string | undefined, info: RefusalError['info']): string | undefined {
  const have = available(info)
  switch (situation) {
    case 'saveCell':
      if (code === 'barcode_taken') return 'Такой штрихкод уже есть у другой ячейки'
      if (code === 'barcode_not_encodable') return 'Штрихкод может содержать только латинские буквы, цифры и обычные знаки — без кириллицы'
      return undefined
    case 'moveCell':
      return code === 'cycle' ? 'Нельзя перенести ячейку внутрь самой себя или ее вложенной ячейки' : undefined
    case 'openCell':
      return code === 'not_found' ? 'Ячейка не найдена: ни ячейка, ни товар с таким кодом' : undefined
    case 'placement':
      if (code === 'not_enough') return have !== undefined ? `В ячейке только ${have}` : 'В ячейке не хватает остатка'
      if (code === 'cell_not_found') return 'Ячейка не найдена — возможно, её удалили'
      if (code === 'product_not_found') return 'Товар не найден — возможно, его удалили'
      if (code === 'same_cell') return 'Это та же ячейка'
      return undefined
    case 'locations':
      return code === 'product_not_found' ? 'Товар не найден — возможно, его уже удалили' : undefined
    case 'split':
      if (code === 'not_enough') return have !== undefined ? `В ячейке не хватает остатка исходного товара — есть только ${have}` : 'В ячейке не хватает остатка исходного товара'
      if (code === 'not_found') return 'Исходный товар не найден — возможно, его уже удалили'
      return undefined
    case 'undo':
      if (code === 'already_undone') return 'Операция уже отменена'
      if (code === 'not_enough') return have !== undefined ? `В ячейке только ${have}` : 'В ячейке не хватает остатка, отменить нельзя'
      if (code === 'cell_missing') return 'Ячейка удалена, отменить нельзя'
      if (code === 'not_found') return 'Запись не найдена'
      return undefined
    default:
      return undefined
  }
}

/** The text for a failure of `situation`. */
export function failureText(situation: Situation, err: unknown): string {
  if (isTimeout(err)) {
    if (situation === 'placement') return 'Нет ответа от сервера'
    if (situation === 'history' || situation === 'undo') return OTHER[situation]
    if (situation === 'import') return `Сервер долго отвечает (дольше ${IMPORT_TIMEOUT_S} секунд). Попробуйте прервать импорт и повторить; если повторится, передайте в поддержку`
    if (situation === 'export') return 'Сервер не ответил. Скачивание товаров появится после обновления сервера'
    return NO_REPLY
  }
  if (err instanceof RefusalError) {
    const fixed = codeText(situation, err.info.code, err.info)
    if (fixed !== undefined) return fixed
    // The history and undo of an older service: its text means nothing to the user.
    if (situation === 'history' || situation === 'undo') return OTHER[situation]
    return err.info.message ?? OTHER[situation]
  }
  if (err instanceof Error && NO_CHANNEL_TEXTS.has(err.message)) return NO_REPLY
  if (err instanceof Error && err.message.trim() !== '' && situation !== 'history' && situation !== 'undo') return errorText(err)
  return OTHER[situation]
}
