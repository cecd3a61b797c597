/** Local photo rules checked before any upload. */
export const MAX_PHOTOS_PER_UNIT = 5
export const MAX_PHOTO_BYTES = 30 * 1024 * 1024
const TYPES = new Set(['image/jpeg', 'image/png', 'image/webp', 'image/heic', 'image/heif'])

export function checkPhoto(existing: number, file: { type: string; size: number }): string | null {
  if (existing >= MAX_PHOTOS_PER_UNIT) return 'К этой единице уже 5 фото'
  if (!TYPES.has(file.type.toLowerCase())) return 'Это не фотография — выберите снимок с камеры или из галереи'
  if (file.size > MAX_PHOTO_BYTES) return 'Снимок слишком большой — попробуйте другой'
  return null
}
