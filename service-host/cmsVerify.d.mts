import type { SignRequest, Verdict } from '../ui/demo/index'

export function verifyWithOpenssl(request: SignRequest, signatureBase64: string): Promise<Verdict>
