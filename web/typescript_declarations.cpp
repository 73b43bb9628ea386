#include "web/typescript_declarations.h"

#include <string_view>
#include <utility>
#include <vector>

#include "control/registration/member_table.h"

namespace quorvel::web {
namespace {

using registration::MemberInfo;
using registration::MemberKind;
using registration::ParamInfo;
using registration::ValueType;

constexpr std::string_view kPrologue =
    R"(// Quorvel signing control: the declarations of quorvel.js.
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

)";

// A text parameter takes numbers too: the host writes them as decimal text.
std::string_view ParamType(ValueType type) {
  return type == ValueType::kString ? "string | number" : "number";
}

std::string_view ResultType(ValueType type) {
  switch (type) {
    case ValueType::kString:
      return "string";
    case ValueType::kLong:
    case ValueType::kUnsignedLong:
      return "number";
    case ValueType::kNone:
      break;
  }
  return "null";
}

std::string Quoted(std::string_view name) {
  return "\"" + std::string(name) + "\"";
}

std::string Union(const std::vector<std::string_view>& names) {
  std::string text;
  for (std::string_view name : names) {
    if (!text.empty()) text += " | ";
    text += Quoted(name);
  }
  return text.empty() ? "never" : text;
}

// Names grouped by a type text, the groups in the order their first member
// comes in the table.
using Groups = std::vector<std::pair<std::string_view, std::vector<std::string_view>>>;

void AddToGroup(Groups& groups, std::string_view type, std::string_view name) {
  for (auto& [groupType, names] : groups) {
    if (groupType == type) {
      names.push_back(name);
      return;
    }
  }
  groups.push_back({type, {name}});
}

std::string Comment(const MemberInfo& member) {
  std::string text = "  /** dispid " + std::to_string(member.dispid);
  if (member.binding == nullptr) {
    text += "; not implemented in this build: rejects with code -2147467263";
  }
  return text + " */\n";
}

}  // namespace

std::string TypescriptDeclarations() {
  std::vector<std::string_view> getNames;
  std::vector<std::string_view> putNames;
  Groups gets;
  Groups puts;
  std::string methods;
  for (const MemberInfo& member : registration::MemberTable()) {
    switch (member.kind) {
      case MemberKind::kPropertyGet:
        getNames.push_back(member.name);
        AddToGroup(gets, ResultType(member.result), member.name);
        break;
      case MemberKind::kPropertyPut:
        putNames.push_back(member.name);
        AddToGroup(puts, member.params.empty() ? "never" : ParamType(member.params[0].type),
                   member.name);
        break;
      case MemberKind::kMethod: {
        methods += Comment(member) + "  " + std::string(member.name) + "(";
        bool first = true;
        for (const ParamInfo& param : member.params) {
          if (!first) methods += ", ";
          first = false;
          methods += std::string(param.name) + ": " + std::string(ParamType(param.type));
        }
        methods += "): Promise<CallResult<" + std::string(ResultType(member.result)) + ">>;\n";
        break;
      }
    }
  }

  std::string text(kPrologue);
  text += "/** The properties `get` reads. */\nexport type PropertyGetName = " + Union(getNames) +
          ";\n";
  text += "/** The properties `put` writes. */\nexport type PropertyPutName = " + Union(putNames) +
          ";\n\n";
  text += R"(/** A control object on its own connection to the host. */
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

)";
  for (const auto& [type, names] : gets) {
    text += "  get(name: " + Union(names) + "): Promise<CallResult<" + std::string(type) + ">>;\n";
  }
  for (const auto& [type, names] : puts) {
    text += "  put(name: " + Union(names) + ", value: " + std::string(type) +
            "): Promise<CallResult<null>>;\n";
  }
  text += "\n" + methods + "}\n";
  return text;
}

}  // namespace quorvel::web
