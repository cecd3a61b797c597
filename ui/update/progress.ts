/** Download progress as the banner shows it, published only when it is worth a repaint. */

export const PUBLISH_EVERY_BYTES = 262_144

/** Whole percent 0..100, or null when the total is unknown or 0. */
export function progressPercent(received: number, total: number | null): number | null {
  if (!total || total <= 0) return null
  return Math.min(100, Math.max(0, Math.floor((received * 100) / total)))
}

/**
 * Counts the chunks of one download. A value is published on the first
 * chunk, after every PUBLISH_EVERY_BYTES since the last publication, and when
 * the whole percent changes.
 */
export class ProgressMeter {
  private total: number | null = null
  private received = 0
  private publishedAt = -1
  private publishedPercent: number | null = null

  constructor(private readonly publish: (percent: number | null) => void) {}

  started(total: number | null): void {
    this.total = total
    this.received = 0
    this.publishedAt = -1
    this.publishedPercent = null
  }

  chunk(length: number): void {
    this.received += length
    const percent = progressPercent(this.received, this.total)
    const first = this.publishedAt < 0
    if (first || this.received - this.publishedAt >= PUBLISH_EVERY_BYTES || percent !== this.publishedPercent) {
      this.publishedAt = this.received
      this.publishedPercent = percent
      this.publish(percent)
    }
  }
}
