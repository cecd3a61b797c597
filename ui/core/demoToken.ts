/** The device token of demonstration mode: every command is answered inside the page. */
export const DEMO_TOKEN = 'demo'
