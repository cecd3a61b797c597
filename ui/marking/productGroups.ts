/**
 * The marking product groups a workplace can work with: a fixed list of 48,
 * each with its code, label and search words, the search of the groups page,
 * and the clean-up of a stored selection.
 */

export interface ProductGroup {
  code: string
  label: string
  words: string
}

const g = (code: string, label: string, words = ''): ProductGroup => ({ code, label, words })

export const PRODUCT_GROUPS: readonly ProductGroup[] = [
  g('lp', 'Легкая промышленность', 'одежда белье текстиль трикотаж'),
  g('shoes', 'Обувь', 'ботинки туфли кроссовки сапоги'),
  g('perfumery', 'Духи и туалетная вода', 'парфюмерия парфюм одеколон'),
  g('tires', 'Шины и покрышки', 'резина колеса автошины'),
  g('electronics', 'Фотокамеры и лампы-вспышки', 'фото камеры вспышки электроника'),
  g('milk', 'Молочная продукция', 'молоко сыр творог кефир йогурт масло'),
  g('water', 'Упакованная вода', 'вода минеральная питьевая'),
  g('beer', 'Пиво и пивные напитки', 'пиво слабоалкогольные'),
  g('softdrinks', 'Безалкогольные напитки', 'соки лимонад газировка напитки'),
  g('tobacco', 'Табачная продукция', 'сигареты табак папиросы сигары'),
  g('otp', 'Альтернативная табачная продукция', 'кальян табак для кальяна нагреваемый'),
  g('ncp', 'Никотиносодержащая продукция', 'жидкости вейп электронные сигареты'),
  g('bicycle', 'Велосипеды', 'велосипед рамы'),
  g('wheelchairs', 'Кресла-коляски', 'коляски медицинские изделия'),
  g('antiseptic', 'Антисептики', 'дезинфекция санитайзер'),
  g('bio', 'Спецпитание и БАД к пище', 'бад биологически активные добавки витамины спортивное питание'),
  g('petfood', 'Корма для животных', 'корм кошки собаки зоотовары'),
  g('furs', 'Товары из натурального меха', 'шубы мех'),
  g('conserve', 'Консервированные продукты', 'консервы'),
  g('alcohol', 'Алкогольная продукция', 'вино водка коньяк'),
  g('seafood', 'Морепродукты', 'рыба икра'),
  g('nabeer', 'Безалкогольное пиво', 'пиво безалкогольное'),
  g('meat', 'Мясная продукция', 'мясо колбаса полуфабрикаты'),
  g('vetpharma', 'Ветеринарные препараты', 'ветеринария лекарства для животных'),
  g('toys', 'Игрушки', 'детские игры'),
  g('radio', 'Радиоэлектронная продукция', 'радио электроника компьютеры телефоны'),
  g('titan', 'Титановая металлопродукция', 'титан металл'),
  g('vegetableoil', 'Растительные масла', 'масло подсолнечное оливковое'),
  g('opticfiber', 'Оптоволокно и оптоволоконная продукция', 'кабель оптика'),
  g('chemistry', 'Косметика и бытовая химия', 'косметика химия моющие шампунь'),
  g('books', 'Печатная продукция', 'книги журналы'),
  g('grocery', 'Бакалея', 'крупы макароны мука сахар'),
  g('pharmaraw', 'Фармацевтическое сырье', 'сырье лекарственное фармсубстанции'),
  g('construction', 'Строительные материалы', 'стройматериалы'),
  g('fire', 'Пиротехника и средства пожаротушения', 'огнетушители пожарные'),
  g('heater', 'Отопительные приборы', 'обогреватели котлы радиаторы'),
  g('cableraw', 'Кабельно-проводниковая продукция', 'кабель провод'),
  g('autofluids', 'Моторные масла и автожидкости', 'масло моторное антифриз автохимия'),
  g('polymer', 'Полимерные трубы', 'трубы пластиковые'),
  g('sweets', 'Сладости и кондитерские изделия', 'конфеты шоколад печенье'),
  g('carparts', 'Автозапчасти', 'запчасти детали авто'),
  g('furslp', 'Меховые изделия легкой промышленности', 'мех одежда'),
  g('nicotindev', 'Устройства для потребления никотина', 'вейпы электронные сигареты устройства'),
  g('gadgets', 'Смартфоны и гаджеты', 'телефоны планшеты ноутбуки'),
  g('frozen', 'Замороженная продукция', 'мороженое заморозка полуфабрикаты'),
  g('fertilizers', 'Удобрения', 'агрохимия удобрения'),
  g('homeware', 'Товары для дома', 'посуда текстиль для дома'),
  g('pyrotechnics', 'Пиротехнические изделия', 'фейерверки салюты петарды'),
]

const BY_CODE = new Map(PRODUCT_GROUPS.map((p) => [p.code, p]))

export function productGroup(code: string): ProductGroup | undefined {
  return BY_CODE.get(code)
}

/** A stored selection cleaned up: "bad" read as "bio", unknown codes dropped (with a console line), no repeats. */
export function normaliseProductGroups(codes: unknown, warn: (line: string) => void = (l) => console.warn(l)): string[] {
  if (!Array.isArray(codes)) return []
  const out: string[] = []
  for (const raw of codes) {
    if (typeof raw !== 'string') continue
    const code = raw === 'bad' ? 'bio' : raw
    if (!BY_CODE.has(code)) {
      warn(`[группы] неизвестная товарная группа «${raw}» отброшена`)
      continue
    }
    if (!out.includes(code)) out.push(code)
  }
  return out
}

const fold = (s: string) => s.toLowerCase().replace(/ё/g, 'е')

/** The groups matching a query (label, search words or code; any case; ё read as е), in list order. */
export function searchProductGroups(query: string): ProductGroup[] {
  const q = fold(query.trim())
  if (!q) return [...PRODUCT_GROUPS]
  return PRODUCT_GROUPS.filter((p) => fold(p.label).includes(q) || fold(p.words).includes(q) || p.code.includes(q))
}

/** The button text of a selection: "Не выбрана", the one label, or "<first label> и еще <n>". */
export function selectionLabel(codes: readonly string[]): string {
  const labels = codes.map((c) => productGroup(c)?.label).filter((l): l is string => !!l)
  if (labels.length === 0) return 'Не выбрана'
  if (labels.length === 1) return labels[0]!
  return `${labels[0]} и еще ${labels.length - 1}`
}

export const GROUP_TEXTS = {
  title: 'Товарные группы',
  search: 'Начните печатать: обувь, молоко, шины…',
  explanation:
    ' Отметьте все, с чем работает эта точка. Группа нужна, чтобы понять, обязателен ли код ФИАС; в Честном Знаке группу определяют сами коды маркировки. Выбор хранится на этом компьютере. ',
  chosen: (codes: readonly string[]) => `Выбрано: ${codes.length ? codes.map((c) => productGroup(c)?.label ?? c).join(', ') : 'ничего'}`,
  nothing: (q: string) => `Ничего не нашли по запросу «${q}». Попробуйте другое слово — или напишите нам, если вашей группы нет в списке.`,
} as const
