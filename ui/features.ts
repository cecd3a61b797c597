/** Every feature of the app, in the order their tiles show in the menu. */
import { coreFeature } from './core'
import type { Feature, MenuTile } from './core/feature'
import { documentsFeature } from './documents'
import { inventoryFeature } from './inventory'
import { markingFeature } from './marking'
import { marketplacesFeature } from './marketplaces'
import { ozonFeature } from './marketplaces/ozon'
import { ozonFboFeature } from './marketplaces/ozon/fbo'
import { partsStoreFeature } from './partsstore'
import { printingFeature } from './printing'
import { referenceFeature } from './reference'
import { rolesFeature } from './roles'
import { scenariosFeature } from './scenarios'
import { signingFeature } from './signing'
import { updateFeature } from './update'

export function appFeatures(): Feature[] {
  const others = [
    updateFeature,
    documentsFeature,
    marketplacesFeature,
    ozonFeature,
    ozonFboFeature,
    partsStoreFeature,
    inventoryFeature,
    rolesFeature,
    printingFeature,
    referenceFeature,
    scenariosFeature,
    signingFeature,
    markingFeature,
  ]
  const tiles = (): readonly MenuTile[] => others.flatMap((f) => f.tiles)
  return [coreFeature(tiles), ...others]
}
