import { flushPromises, mount } from '@vue/test-utils'
import { afterEach, describe, expect, it, vi } from 'vitest'
import { createMemoryHistory, createRouter } from 'vue-router'
import { useDocumentStore } from '../documents/documentStore'
import { normaliseDocuments } from '../documents/records'
import CheckTile from './CheckTile.vue'
import { createDocumentActions } from './documentActions'
import DocumentActionDialogs from './DocumentActionDialogs.vue'
import RoleChoice from './RoleChoice.vue'
import { useRolesStore } from './rolesStore'
import { createStageActions } from './stageActions'
import { rolesKit, type RolesKit } from './testing/rolesKit'

let kit: RolesKit | undefined
afterEach(() => {
  kit?.end()
  kit = undefined
  vi.restoreAllMocks()
})

function router() {
  const r = createRouter({ history: createMemoryHistory(), routes: [{ path: '/:any(.*)', component: { template: '<div />' } }] })
  void r.push('/menu')
  return r
}

describe('the role choice in the menu', () => {
  it('an employee without roles is asked once; the answer takes effect', async () => {
    kit = rolesKit('u-pavel')
    const w = mount(RoleChoice, { global: { plugins: [router()] } })
    expect(w.find('[data-test="role-dialog-title"]').text()).toBe('Кто вы на складе?')
    await w.find('[data-test="role-choose-checker"]').trigger('click')
    await flushPromises()
    expect(useRolesStore().roleState.activeRole).toBe('checker')
    expect(w.find('[data-test="role-choose"]').exists()).toBe(false)
  })

  it('two roles: the chip opens "Сменить роль"; a failure shows the text and keeps the role', async () => {
    kit = rolesKit('u-anna')
    const w = mount(RoleChoice, { global: { plugins: [router()] } })
    expect(w.find('[data-test="role-chip"]').text()).toBe('Сборщик ▾')
    await w.find('[data-test="role-chip"]').trigger('click')
    expect(w.find('[data-test="role-dialog-title"]').text()).toBe('Сменить роль')
    kit.fail('roleSwitch', 'timeout')
    await w.find('[data-test="role-pick-checker"]').trigger('click')
    await flushPromises()
    expect(w.find('[data-test="role-error"]').text()).toBe('Не удалось сохранить. Проверьте связь и повторите.')
    expect(w.find('[data-test="role-chip"]').text()).toBe('Сборщик ▾')
    await w.find('[data-test="role-pick-checker"]').trigger('click')
    await flushPromises()
    expect(w.find('[data-test="role-switch"]').exists()).toBe(false)
    expect(w.find('[data-test="role-chip"]').text()).toBe('Контролер ▾')
  })
})

describe('the check tile', () => {
  it('counts the collected shipments; pressing it switches to the checker and opens "На проверку"', async () => {
    kit = rolesKit('u-anna')
    const r = router()
    await r.isReady()
    const w = mount(CheckTile, { global: { plugins: [r] } })
    await flushPromises()
    const total = kit.ask('getDocumentList', { type: 'shipment', pages: true, stage: ['collected'], maxPages: 1 }).total
    expect(w.find('[data-test="tile-check-count"]').text()).toBe(String(total))
    await w.find('[data-test="tile-check"]').trigger('click')
    await flushPromises()
    expect(useRolesStore().role).toBe('checker')
    expect(r.currentRoute.value.fullPath).toBe('/documents?type=shipment&entry=check')
    w.unmount()
  })

  it('is not there for a collector', () => {
    kit = rolesKit('u-egor')
    expect(mount(CheckTile, { global: { plugins: [router()] } }).find('[data-test="tile-check"]').exists()).toBe(false)
  })
})

describe('card actions', () => {
  function setUp(userId: string, releaseReasonRequired = false) {
    kit = rolesKit(userId)
    const documents = useDocumentStore()
    documents.setDocuments(normaliseDocuments(kit.ask('getDocumentList', { type: 'shipment' }).items))
    const doc = documents.documents.find((d) => d.stage === 'new')!
    const reloads: string[] = []
    const released: string[] = []
    const actions = createDocumentActions({
      actions: createStageActions({ documents, self: () => ({ id: userId, name: '' }) }),
      settings: () => ({ ...useRolesStore().rolesSettings, releaseReasonRequired, releaseReasons: ['обед', 'конец смены'] }),
      reloadList: (t) => reloads.push(t),
      released: (d) => released.push(d.id),
    })
    const w = mount(DocumentActionDialogs, { props: { actions, releaseReasons: ['обед', 'конец смены'] } })
    return { doc, actions, w, reloads, released, documents }
  }

  it('a release with a required reason asks for it; "Снять" needs a text', async () => {
    const { doc, actions, w, released } = setUp('u-egor', true)
    expect(await actions.start(doc)).toBe(true)
    await actions.askRelease(doc)
    await flushPromises()
    expect(w.find('[data-test="role-dialog-title"]').text()).toBe('Причина снятия')
    expect(w.find('[data-test="release-submit"]').attributes('disabled')).toBeDefined()
    await w.findAll('[data-test="release-reason"]')[1]!.trigger('click')
    expect(w.find('[data-test="release-submit"]').attributes('disabled')).toBeUndefined()
    await w.find('[data-test="release-submit"]').trigger('click')
    await flushPromises()
    expect(released).toEqual([doc.id])
    expect(kit!.sent.at(-1)?.p).toMatchObject({ reason: 'конец смены' })
    expect(w.find('[data-test="release-dialog"]').exists()).toBe(false)
  })

  it('a start refused with "taken" shows the text and reloads the list', async () => {
    const { doc, actions, reloads } = setUp('u-egor')
    kit!.fail('documentStart', { error: 'taken', errorCode: 'taken', collector: { name: 'Игорь Петров' } })
    expect(await actions.start(doc)).toBe(false)
    expect(actions.state.message).toBe('Документ уже собирает Игорь Петров. Возьмите другой или попросите его отпустить.')
    expect(reloads).toEqual(['shipment'])
  })

  it('reopen: the question, a refusal, then "Готово"', async () => {
    const { doc, actions, w, documents } = setUp('u-anna')
    await actions.start(doc)
    actions.askReopen(doc)
    await flushPromises()
    expect(w.find('[data-test="reopen-text"]').text()).toBe('Сборка и проверка будут отменены, статус вернется к прежнему.')
    await w.find('[data-test="reopen-confirm"]').trigger('click')
    await flushPromises()
    expect(w.find('[data-test="reopen-error"]').text()).toBe('Документ сейчас в сборке: снимите его с сотрудника')
    kit!.ask('completeDocument', { documentId: doc.id, type: 'shipment', page: 1, final: true, items: [], timeline: {}, role: 'collector' })
    await w.find('[data-test="reopen-confirm"]').trigger('click')
    await flushPromises()
    expect(w.find('[data-test="role-dialog-title"]').text()).toBe('Готово')
    expect(w.find('[data-test="reopen-text"]').text()).toBe('Документ возвращен к сборке · статус в МоемСкладе: Новый')
    await w.find('[data-test="reopen-ok"]').trigger('click')
    expect(w.find('[data-test="reopen-dialog"]').exists()).toBe(false)
    expect(documents.documents.find((d) => d.id === doc.id)?.stage).toBe('new')
  })
})
