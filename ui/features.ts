/** Every feature of the app, in the order their tiles show in the menu. */
import { coreFeature } from './core'
import type { Feature, MenuTile } from './core/feature'
import { documentsFeature } from './documents'
import { partsStoreFeature } from './partsstore'
import { printingFeature } from './printing'
import { referenceFeature } from './reference'
import { rolesFeature } from './roles'

export function appFeatures(): Feature[] {
  const others = [documentsFeature, partsStoreFeature, rolesFeature, printingFeature, referenceFeature]
  const tiles = (): readonly MenuTile[] => others.flatMap((f) => f.tiles)
  return [coreFeature(tiles), ...others]
}
