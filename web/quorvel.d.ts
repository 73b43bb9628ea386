// Quorvel signing control: the declarations of quorvel.js.
//
// Written from the control's member table by quorvel_dts when the project is
// built; the committed copy must equal that output.

/** The host's answer to a member call. */
export interface CallResult<T> {
  /** 0 when the member succeeded, 1 when it failed: errMsg, errorNum and errorCode say why. */
  status: 0 | 1;
  /** The member's result: "" from a failed member with a string result, null from a member without one. */
  value: T;
}

/** One parameter in the host's listing of a member. */
export interface MemberParam {
  name: string;
  type: "string" | "long" | "unsigned long";
}

/** One entry of the host's `members` listing. */
export interface MemberDescription {
  dispid: number;
  name: string;
  kind: "method" | "get" | "put";
  params: MemberParam[];
  result: "string" | "long" | "unsigned long" | null;
  implemented: boolean;
}

export interface ConnectOptions {
  /** The control to create; "Quorvel.DrennicQuorvel2" unless given. */
  progid?: string;
  /** The WebSocket class to connect with; the global WebSocket unless given. */
  WebSocket?: new (url: string) => object;
  /** How long connecting may take before it fails with reason "timeout"; 30000 unless given. */
  connectTimeoutMs?: number;
  /**
   * Called as connect and reconnect go on: the socket is opening, the browser
   * is asking the user for Local Network Access, the control is ready.
   */
  onStatus?: (status: "connecting" | "permission-prompt" | "open") => void;
  /**
   * The way to the host when connect is given no URL: the Quorvel browser
   * extension, or the WebSocket at DEFAULT_URL; the extension when the page
   * has it unless given.
   */
  transport?: "extension" | "websocket";
}

export declare const DEFAULT_PROGID: "Quorvel.DrennicQuorvel2";
export declare const DEFAULT_URL: "ws://127.0.0.1:27455/";
/** How long connect waits for the extension to answer before using the WebSocket. */
export declare const EXTENSION_HELLO_MS: 300;

/**
 * A call the host could not dispatch (code: the JSON-RPC error code or the
 * HRESULT), a connection that failed or closed (CLOSED, REFUSED, BLOCKED or
 * TIMEOUT, with a reason), or an answer outside the protocol (BAD_ANSWER).
 */
export declare class QuorvelError extends Error {
  static readonly CLOSED: -32000;
  static readonly BAD_ANSWER: -32001;
  static readonly REFUSED: -32010;
  static readonly BLOCKED: -32011;
  static readonly TIMEOUT: -32012;
  constructor(message: string, code: number, data?: unknown);
  readonly code: number;
  readonly data?: unknown;
  /**
   * Why the connection failed or closed, set on those failures only: no bridge
   * listening or the connection lost (CLOSED), the bridge refused the page's
   * origin (REFUSED), the browser's Local Network Access permission is not
   * granted (BLOCKED), no connection within connectTimeoutMs (TIMEOUT).
   */
  readonly reason?: "not-running" | "refused" | "blocked-by-browser" | "timeout";
}

/** The properties `get` reads. */
export type PropertyGetName = "errMsg" | "errorNum" | "MaxCompSize" | "errorCode";
/** The properties `put` writes. */
export type PropertyPutName = "DNspliter" | "MaxCompSize" | "QVServerMode";

/** A control object on its own connection to the host. */
export declare class Quorvel {
  /** Opens a WebSocket to `url`, creates the control and lists its members. */
  static connect(url: string | { readonly href: string }, options?: ConnectOptions): Promise<Quorvel>;
  /** Connects through the extension when the page has it, else to DEFAULT_URL. */
  static connect(options?: ConnectOptions): Promise<Quorvel>;
  private constructor();
  /** The host's listing of the object's members. */
  readonly members: readonly MemberDescription[];
  /** Releases the object and closes the connection; calls still waiting reject. */
  close(): Promise<void>;
  /** Closes the connection, then opens a new one with a new object in its initial state. */
  reconnect(): Promise<void>;

  get(name: "errMsg"): Promise<CallResult<string>>;
  get(name: "errorNum" | "MaxCompSize" | "errorCode"): Promise<CallResult<number>>;
  put(name: "DNspliter", value: string | number): Promise<CallResult<null>>;
  put(name: "MaxCompSize" | "QVServerMode", value: number): Promise<CallResult<null>>;

  /** dispid 7 */
  getVersion(): Promise<CallResult<string>>;
  /** dispid 8 */
  QVAddFile(fileName: string | number): Promise<CallResult<null>>;
  /** dispid 9 */
  QVAddFormItem(itemContent: string | number): Promise<CallResult<null>>;
  /** dispid 10 */
  QVAttachedSign(deSignerDN: string | number): Promise<CallResult<string>>;
  /** dispid 11 */
  QVAttachedVerify(signedMsg: string | number): Promise<CallResult<null>>;
  /** dispid 12 */
  QVBase64Decode(base64ToBeDecodedText: string | number): Promise<CallResult<string>>;
  /** dispid 13 */
  QVBase64Encode(base64ToBeEncodedText: string | number): Promise<CallResult<string>>;
  /** dispid 14 */
  QVDecryptedAndVerifiedEnvelop(signedAndEnvelopedMsg: string | number): Promise<CallResult<null>>;
  /** dispid 15 */
  QVDecryptEnvelop(envelopedMsg: string | number): Promise<CallResult<null>>;
  /** dispid 16 */
  QVDetachedSign(plainText: string | number, deSignerDN: string | number): Promise<CallResult<string>>;
  /** dispid 17 */
  QVDetachedVerify(signedMsg: string | number, plainText: string | number): Promise<CallResult<null>>;
  /** dispid 18 */
  QVEncryptedEnvelop(deReciptDN: string | number): Promise<CallResult<string>>;
  /** dispid 19 */
  QVGetFile(): Promise<CallResult<string>>;
  /** dispid 20 */
  QVGetFormItem(): Promise<CallResult<string>>;
  /** dispid 21 */
  QVGetPlainText(): Promise<CallResult<string>>;
  /** dispid 22 */
  QVGetReciptCertInfo(type: number): Promise<CallResult<string>>;
  /** dispid 23 */
  QVGetSignerCertInfo(type: number): Promise<CallResult<string>>;
  /** dispid 24 */
  QVHashAndBase64Encode(plainText: string | number): Promise<CallResult<string>>;
  /** dispid 25 */
  QVRawSign(deSignerDN: string | number): Promise<CallResult<string>>;
  /** dispid 26 */
  QVRawVerify(signedMsg: string | number, deSignerDN: string | number, plainText: string | number): Promise<CallResult<null>>;
  /** dispid 27 */
  QVSetPlainText(plainText: string | number): Promise<CallResult<null>>;
  /** dispid 28 */
  QVSignedAndEncryptedEnvelop(deSignerDN: string | number, deReciptDN: string | number): Promise<CallResult<string>>;
  /** dispid 29 */
  QVAfterwardsVerify(signedMsg: string | number): Promise<CallResult<null>>;
  /** dispid 30 */
  QVGetCertExtension(certDN: string | number, szOID: string | number): Promise<CallResult<string>>;
  /** dispid 31 */
  QVSetDigestArithmetic(ArithmeticID: string | number): Promise<CallResult<null>>;
  /** dispid 32 */
  QVSetSymmetryArithmetic(ArithmeticID: string | number): Promise<CallResult<null>>;
  /** dispid 33 */
  IsCertExists(DN: string | number): Promise<CallResult<number>>;
  /** dispid 34 */
  QVAttachedSignByIssuerSN(deSignerSN: string | number, IssuerDN: string | number): Promise<CallResult<string>>;
  /** dispid 35 */
  QVAttachedSignBySN(deSignerSN: string | number): Promise<CallResult<string>>;
  /** dispid 36 */
  QVDetachedSignByIssuerSN(plainText: string | number, deSignerSN: string | number, IssuerDN: string | number): Promise<CallResult<string>>;
  /** dispid 37 */
  QVDetachedSignBySN(plainText: string | number, deSignerSN: string | number): Promise<CallResult<string>>;
  /** dispid 38 */
  QVEnumCertsDNByIssers(IssersDN: string | number): Promise<CallResult<string>>;
  /** dispid 40 */
  QVAttachedVerifySignedFile(fileName: string | number): Promise<CallResult<null>>;
  /** dispid 41 */
  QVUseKeySpecAttachedSign(deSignerDN: string | number): Promise<CallResult<string>>;
  /** dispid 42 */
  QVUseKeySpecDetachedSign(plainText: string | number, deSignerDN: string | number): Promise<CallResult<string>>;
  /** dispid 43 */
  QVUseKeySpecRawSign(deSignerDN: string | number): Promise<CallResult<string>>;
  /** dispid 44 */
  QVUseKeySpecAttachedSignByIssuerSN(deSignerSN: string | number, IssuerDN: string | number): Promise<CallResult<string>>;
  /** dispid 45 */
  QVUseKeySpecAttachedSignBySN(deSignerSN: string | number): Promise<CallResult<string>>;
  /** dispid 46 */
  QVUseKeySpecDetachedSignByIssuerSN(plainText: string | number, deSignerSN: string | number, IssuerDN: string | number): Promise<CallResult<string>>;
  /** dispid 47 */
  QVUseKeySpecDetachedSignBySN(plainText: string | number, deSignerSN: string | number): Promise<CallResult<string>>;
  /** dispid 48 */
  QVUseKeySpecSignedAndEncryptedEnvelop(deSignerDN: string | number, deReciptDN: string | number): Promise<CallResult<string>>;
  /** dispid 49 */
  QVSetCodePage(codepage: number): Promise<CallResult<null>>;
  /** dispid 50 */
  QVAddFileForEncrypt(fileName: string | number): Promise<CallResult<null>>;
  /** dispid 51 */
  QVEncryptFileAndSave(base64Certificate: string | number): Promise<CallResult<null>>;
  /** dispid 52 */
  QVSetCopyRightInfo(pInfo: string | number): Promise<CallResult<null>>;
  /** dispid 53 */
  QVSetDialogPrompt(dlgtitle: string | number, dlgprompt: string | number, certsubject: string | number, certissuer: string | number, notafter: string | number, OKbutton: string | number, Cancelbutton: string | number, Viewbutton: string | number): Promise<CallResult<null>>;
  /** dispid 54 */
  QVAdvanceAttachedSign(deSignerDN: string | number): Promise<CallResult<string>>;
  /** dispid 55 */
  QVAdvanceAttachedVerify(signedMsg: string | number): Promise<CallResult<null>>;
  /** dispid 56 */
  QVUseSpecAdvanceAttachedSign(deSignerDN: string | number): Promise<CallResult<string>>;
  /** dispid 57 */
  QVAdvanceDetachedSign(plainText: string | number, deSignerDN: string | number): Promise<CallResult<string>>;
  /** dispid 58 */
  QVUseSpecAdvanceDetachedSign(plainText: string | number, deSignerDN: string | number): Promise<CallResult<string>>;
  /** dispid 59 */
  QVAdvanceDetachedVerify(signedMsg: string | number, plainText: string | number): Promise<CallResult<null>>;
}
