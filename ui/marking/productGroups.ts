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

export const PRODUCT_GROUPS: readonly ProductGroup[] = [
  { code: 'lp', label: 'Легкая промышленность', words: 'одежда белье текстиль трикотаж' },
  { code: 'shoes', label: 'Обувь', words: 'ботинки туфли кроссовки сапоги' },
  { code: 'perfumery', label: 'Духи и туалетная вода', words: 'парфюмерия парфюм одеколон' },
  { code: 'tires', label: 'Шины и покрышки', words: 'резина колеса автошины' },
  { code: 'electronics', label: 'Фотокамеры и лампы-вспышки', words: 'фото камеры вспышки электроника' },
  { code: 'milk', label: 'Молочная продукция', words: 'молоко сыр творог кефир йогурт масло' },
  { code: 'water', label: 'Упакованная вода', words: 'вода минеральная питьевая' },
  { code: 'beer', label: 'Пиво и пивные напитки', words: 'пиво слабоалкогольные' },
  { code: 'softdrinks', label: 'Безалкогольные напитки', words: 'соки лимонад газировка напитки' },
  { code: 'tobacco', label: 'Табачная продукция', words: 'сигареты табак папиросы сигары' },
  { code: 'otp', label: 'Альтернативная табачная продукция', words: 'кальян табак для кальяна нагреваемый' },
  { code: 'ncp', label: 'Никотиносодержащая продукция', words: 'жидкости вейп электронные сигареты' },
  { code: 'bicycle', label: 'Велосипеды', words: 'велосипед рамы' },
  { code: 'wheelchairs', label: 'Кресла-коляски', words: 'коляски медицинские изделия' },
  { code: 'antiseptic', label: 'Антисептики', words: 'дезинфекция санитайзер' },
  { code: 'bio', label: 'Спецпитание и БАД к пище', words: 'бад биологически активные добавки витамины спортивное питание' },
  { code: 'petfood', label: 'Корма для животных', words: 'корм кошки собаки зоотовары' },
  { code: 'furs', label: 'Товары из натурального меха', words: 'шубы мех' },
  { code: 'conserve', label: 'Консервированные продукты', words: 'консервы' },
  { code: 'alcohol', label: 'Алкогольная продукция', words: 'вино водка коньяк' },
  { code: 'seafood', label: 'Морепродукты', words: 'рыба икра' },
  { code: 'nabeer', label: 'Безалкогольное пиво', words: 'пиво безалкогольное' },
  { code: 'meat', label: 'Мясная продукция', words: 'мясо колбаса полуфабрикаты' },
  { code: 'vetpharma', label: 'Ветеринарные препараты', words: 'ветеринария лекарства для животных' },
  { code: 'toys', label: 'Игрушки', words: 'детские игры' },
  { code: 'radio', label: 'Радиоэлектронная продукция', words: 'радио электроника компьютеры телефоны' },
  { code: 'titan', label: 'Титановая металлопродукция', words: 'титан металл' },
  { code: 'vegetableoil', label: 'Растительные масла', words: 'масло подсолнечное оливковое' },
  { code: 'opticfiber', label: 'Оптоволокно и оптоволоконная продукция', words: 'кабель оптика' },
  { code: 'chemistry', label: 'Косметика и бытовая химия', words: 'косметика химия моющие шампунь' },
  { code: 'books', label: 'Печатная продукция', words: 'книги журналы' },
  { code: 'grocery', label: 'Бакалея', words: 'крупы макароны мука сахар' },
  { code: 'pharmaraw', label: 'Фармацевтическое сырье', words: 'сырье лекарственное фармсубстанции' },
  { code: 'construction', label: 'Строительные материалы', words: 'стройматериалы' },
  { code: 'fire', label: 'Пиротехника и средства пожаротушения', words: 'огнетушители пожарные' },
  { code: 'heater', label: 'Отопительные приборы', words: 'обогреватели котлы радиаторы' },
  { code: 'cableraw', label: 'Кабельно-проводниковая продукция', words: 'кабель провод' },
  { code: 'autofluids', label: 'Моторные масла и автожидкости', words: 'масло моторное антифриз автохимия' },
  { code: 'polymer', label: 'Полимерные трубы', words: 'трубы пластиковые' },
  { code: 'sweets', label: 'Сладости и кондитерские изделия', words: 'конфеты шоколад печенье' },
  { code: 'carparts', label: 'Автозапчасти', words: 'запчасти детали авто' },
  { code: 'furslp', label: 'Меховые изделия легкой промышленности', words: 'мех одежда' },
  { code: 'nicotindev', label: 'Устройства для потребления никотина', words: 'вейпы электронные сигареты устройства' },
  { code: 'gadgets', label: 'Смартфоны и гаджеты', words: 'телефоны планшеты ноутбуки' },
  { code: 'frozen', label: 'Замороженная продукция', words: 'мороженое заморозка полуфабрикаты' },
  { code: 'fertilizers', label: 'Удобрения', words: 'агрохимия удобрения' },
  { code: 'homeware', label: 'Товары для дома', words: 'посуда текстиль для дома' },
  { code: 'pyrotechnics', label: 'Пиротехнические изделия', words: 'фейерверки салюты петарды' },
]

let byCode: Map<string, ProductGroup> | null = null

export function productGroup(code: string): ProductGroup | undefined {
  byCode ??= new Map(PRODUCT_GROUPS.map((p) => [p.code, p]))
  return byCode.get(code)
}

/** A stored selection cleaned up: "bad" read as "bio", unknown codes dropped (with a console line), no repeats. */
export function normaliseProductGroups(codes: unknown, warn: (line: string) => void = (l) => console.warn(l)): string[] {
  if (!Array.isArray(codes)) return []
  const out: string[] = []
  for (const raw of codes) {
    if (typeof raw !== 'string') continue
    const code = raw === 'bad' ? 'bio' : raw
    if (!productGroup(code)) {
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
