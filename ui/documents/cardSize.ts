/** The document card's fixed height (CSS pixels at 100 % zoom): the virtual grid places rows without measuring them. */
export const DOC_CARD_HEIGHT = 100
