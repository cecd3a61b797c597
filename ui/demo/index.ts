/** The in-memory backend of demonstration mode and of the local service host. */
export { createBackend, DEMO_TOKEN, MemoryBackend } from './backend'
export type { BackendOptions, Connection, Handler, HandlerContext, Identity, Reply, Session } from './backend'
export { completionState } from './completion'
export type { CompletedDocument } from './completion'
export { DEMO_ACCOUNT_ID, DEMO_USER_ID, seedAccounts } from './seed'
export type { SeedAccount, SeedUser, SeedWorker } from './seed'
export { lastSmsCode } from './sessionHandlers'
export { demoSigner, encodeToken, readToken } from './tokens'
export type { Signer, TokenClaims } from './tokens'
export { accountDocuments, changeCheckState, DOCUMENT_COUNTS, stageOf } from './documents'
export type { DemoDocument, DemoProduct } from './documents'
export { largeDocumentBarcode, MARK_STATUS_BY_LETTER, sampleMark, seedLargeDocument } from './picking'
export { accountRolesSettings, releaseLog } from './roles'
export type { ReleaseRecord } from './roles'
export type { DemoCheck } from './checkState'
export { changeProduct, deleteProduct, generatedBarcode, seedCatalogue } from './reference'
export type { ProductChange } from './reference'
export {
  accountRegistry,
  dropPrintResults,
  labelRelayHandler,
  printerDescription,
  redeliverPrintCommand,
  registeredPrinter,
  relayJobs,
  relayLabel,
  sendPrintCommand,
} from './remotePrint'
export type { LabelRelayRequest, LabelSource, PrintCommandOrder, RegistryEntry, RelayJob } from './remotePrint'
export { expireWithdrawalQuestions, setAccountWorkplace, setWithdrawalEnd, withdrawalState } from './withdrawal'
export type { WithdrawalEnd, WithdrawalTask } from './withdrawal'
export {
  chosenThumbprint,
  freshAuthString,
  requestSignature,
  signingState,
  signOutcome,
  useSignatureVerifier,
} from './signing'
export type { SignOutcome, SignRequest, Verdict, Verifier } from './signing'
export { czAccount } from './signingSettings'
export type { CzAccount } from './signingSettings'
export { addWbTask, findWbSupply, findWbTask, limitWb, setWbFileOrigin, wbState } from './wildberries'
export type { WbAccountState, WbShopRecord, WbSupplyRecord, WbTaskRecord } from './wildberries'
export { addOzonPosting, announceOzonLabel, findOzonPosting, limitOzon, ozonPosting, ozonState, setOzonShopPrinter } from './ozon'
export type { OzonAccountState, OzonPostingRecord, OzonShopRecord } from './ozon'
export { addFboSupply, failFbo, fboState, findFboSupply } from './ozonFbo'
export type { FboAccountState, FboCargoRecord, FboItemRecord, FboSupplyRecord } from './ozonFbo'
export { accountScenarios, liftScenarioFault, scenarioRuns, setScenarioFault, SCENARIO_STEP_MS } from './scenarios'
export type { DemoRun, ScenarioFault } from './scenarios'
export { partsStoreOf } from './partsstore'
export { acceptPartsUpload, partsExportFile } from './partsstoreImport'
export { NO_LABEL_PRINTER, setPartsLabelPrinter } from './partsstoreLabels'
export type { PartsLabel, PartsLabelJob, PartsLabelPrinter } from './partsstoreLabels'
export type { PartsStore } from './partsstoreModel'
export { inventoryHandlers, lookUpRegister } from './inventory'
export { acceptInventoryPhoto, inventoryDownload, setInventoryFileOrigin } from './inventoryFiles'
export type { Download as InventoryDownload, PhotoUpload } from './inventoryFiles'
export { defaultFaults, defaultRegister, inventoryState } from './inventoryModel'
export type { InventoryFaults, InventoryState } from './inventoryModel'
