// The demo bank page: a transfer signed with the user's certificate, its
// verification, and a digital envelope sealed and opened again, all through
// quorvel.js on the host that serves this page (or, when a site of its own
// serves the page, on the bridge its quorvel-bridge meta element names).
import { Quorvel, QuorvelError } from "/quorvel.js";

const $ = (id) => document.getElementById(id);
const buttons = ["attach", "sign", "verify", "envelope"].map($);
const MAX_FORM_ITEMS = 16;

let ctl = null;

// The buttons work only while the control is connected.
function enableButtons() {
  const usable = ctl !== null && $("reconnect").hidden;
  for (const button of buttons) button.disabled = !usable;
}

// A member that answered status 1, with the control's account of why.
class MemberFailed extends Error {
  constructor(member, errMsg, errorNum) {
    super(`${member}: ${errMsg}`);
    this.member = member;
    this.errMsg = errMsg;
    this.errorNum = errorNum;
  }
}

// A form entry the page refuses before anything is signed.
class InputRefused extends Error {}

function bilingual(element, chinese, english) {
  const en = document.createElement("span");
  en.lang = "en";
  en.textContent = english;
  element.replaceChildren(`${chinese} `, en);
}

function setStatus(state, chinese, english) {
  const status = $("status");
  status.dataset.state = state;
  bilingual(status, chinese, english);
}

// Why the page has no connection, and what the user can do about it.
const CONNECTION_FAILURES = {
  "not-running": {
    status: ["无法连接签名控件", "Cannot reach the signing control"],
    advice: [
      "请启动 Quorvel 签名控件（quorvel host --listen），然后点击“重新连接”。",
      "Start the Quorvel signing control (quorvel host --listen), then click Reconnect.",
    ],
  },
  refused: {
    status: ["签名控件拒绝了本网站", "The signing control refused this site"],
    advice: [
      "本网站未获准使用您的证书。请在 Quorvel 询问时选择“允许”，或执行 quorvel host allow 允许本网站。",
      "This site is not allowed to use your certificates: choose Allow when Quorvel asks, " +
        "or allow the site with quorvel host allow.",
    ],
  },
  "blocked-by-browser": {
    status: ["浏览器阻止了连接", "The browser blocked the connection"],
    advice: [
      "请在本网站的权限设置中允许访问本地网络上的设备（本设备上的应用），或请管理员通过 " +
        "LocalNetworkAccessAllowedForUrls 策略允许本网站，然后点击“重新连接”。",
      "Allow this site to access devices on your local network (apps on this device) in its " +
        "site permissions, or ask your administrator to allow it with the " +
        "LocalNetworkAccessAllowedForUrls policy, then click Reconnect.",
    ],
  },
  timeout: {
    status: ["连接超时", "Connecting timed out"],
    advice: [
      "签名控件未及时应答。如浏览器或 Quorvel 正在询问，请先作答，然后点击“重新连接”。",
      "The signing control did not answer in time: answer any question the browser or Quorvel " +
        "shows, then click Reconnect.",
    ],
  },
};

const connectionFailure = (error) =>
  error instanceof QuorvelError && Object.hasOwn(CONNECTION_FAILURES, error.reason ?? "")
    ? CONNECTION_FAILURES[error.reason]
    : null;

function showError(error) {
  const box = $("error");
  const lines = [];
  const failure = connectionFailure(error);
  delete box.dataset.reason;
  if (error instanceof MemberFailed) {
    box.dataset.errorNum = String(error.errorNum);
    lines.push(`${error.member} 失败 failed`, `errMsg: ${error.errMsg}`, `errorNum: ${error.errorNum}`);
  } else if (failure) {
    delete box.dataset.errorNum;
    box.dataset.reason = error.reason;
    const [chinese, english] = failure.status;
    lines.push(`${chinese} ${english}`, ...failure.advice, error.message);
    lines.push(`code: ${error.code}`, `reason: ${error.reason}`);
  } else if (error instanceof QuorvelError) {
    delete box.dataset.errorNum;
    lines.push("调用失败 Call failed", `${error.message}`, `code: ${error.code}`);
  } else if (error instanceof InputRefused) {
    delete box.dataset.errorNum;
    lines.push("输入有误 Invalid input", error.message);
  } else {
    delete box.dataset.errorNum;
    lines.push("出错 Error", String(error && error.message ? error.message : error));
  }
  box.replaceChildren(
    ...lines.map((text) => {
      const line = document.createElement("div");
      line.textContent = text;
      return line;
    }),
  );
  box.hidden = false;
}

function clearError() {
  const box = $("error");
  box.hidden = true;
  box.replaceChildren();
  delete box.dataset.errorNum;
  delete box.dataset.reason;
}

// Calls a member; a failed member throws with errMsg and errorNum.
async function call(member, ...args) {
  const answer = await ctl[member](...args);
  if (answer.status === 0) return answer.value;
  const [errMsg, errorNum] = await Promise.all([ctl.get("errMsg"), ctl.get("errorNum")]);
  throw new MemberFailed(member, errMsg.value, errorNum.value);
}

// Runs one user action with the buttons disabled; its failure is shown.
async function act(work) {
  if (!ctl) return;
  clearError();
  for (const button of buttons) button.disabled = true;
  try {
    await work();
  } catch (error) {
    showError(error);
    if (connectionFailure(error)) {
      setStatus("disconnected", "连接已断开", "Disconnected");
      $("reconnect").hidden = false;
    } else {
      setStatus("failed", "操作失败", "Failed");
    }
  } finally {
    enableButtons();
  }
}

function fillDetails(list, rows) {
  list.replaceChildren();
  for (const [chinese, english, value] of rows) {
    const term = document.createElement("dt");
    bilingual(term, chinese, english);
    const description = document.createElement("dd");
    description.textContent = value;
    list.append(term, description);
  }
}

async function certificateDetails(member) {
  const labels = [
    ["主题", "Subject"],
    ["颁发者", "Issuer"],
    ["生效时间", "Valid from"],
    ["截止时间", "Valid to"],
    ["序列号", "Serial number"],
  ];
  const rows = [];
  for (const [index, [chinese, english]] of labels.entries()) {
    rows.push([chinese, english, await call(member, index + 1)]);
  }
  return rows;
}

let attachments = 0;
function showAttachments() {
  const label = $("attachments");
  label.dataset.count = String(attachments);
  if (attachments === 0) bilingual(label, "未添加", "None");
  else bilingual(label, `已添加 ${attachments} 个文件`, `${attachments} file(s) added`);
}

function transferItems() {
  const payee = $("payee").value.trim();
  const amount = $("amount").value.trim();
  if (payee === "") throw new InputRefused("请填写收款人 Please enter the payee");
  if (!/^\d{1,12}(\.\d{1,2})?$/.test(amount)) {
    throw new InputRefused("金额格式应为 100.00 The amount reads like 100.00");
  }
  return [`payee=${payee}`, `amount=${amount}`];
}

// The user picks the file in the Open dialog: a page never names a path.
async function attach() {
  await call("QVAddFile", "");
  attachments += 1;
  showAttachments();
  setStatus("attached", "附件已添加", "File attached");
}

// The form items join the attached files in one container, which is signed
// with the certificate the user picks. Signing uses up the container whatever
// the outcome, so the attachments go with it.
async function sign() {
  const items = transferItems();
  $("signature").value = "";
  try {
    for (const item of items) await call("QVAddFormItem", item);
    const signature = await call("QVAttachedSign", "");
    $("signature").value = signature;
    setStatus("signed", "已签名", "Signed");
  } finally {
    attachments = 0;
    showAttachments();
  }
}

async function verify() {
  const signature = $("signature").value;
  fillDetails($("signer"), []);
  $("signed-items").replaceChildren();
  if (signature === "") throw new InputRefused("请先签名 Sign first");
  await call("QVAttachedVerify", signature);
  const details = await certificateDetails("QVGetSignerCertInfo");
  fillDetails($("signer"), details);
  if ($("recipient").value.trim() === "") $("recipient").value = details[0][2];

  // The form items come back out of the signed container. Past the last one
  // the control fails, or, while files are left, answers an empty item.
  const list = $("signed-items");
  for (let i = 0; i < MAX_FORM_ITEMS; ++i) {
    const item = await ctl.QVGetFormItem();
    if (item.status !== 0 || item.value === "") break;
    const entry = document.createElement("li");
    entry.textContent = item.value;
    list.append(entry);
  }
  setStatus("verified", "签名有效", "Signature valid");
}

async function envelope() {
  $("envelope-data").value = "";
  $("envelope-result").textContent = "";
  fillDetails($("recipient-info"), []);
  const text = $("envelope-text").value;
  if (text === "") throw new InputRefused("请填写信封内容 Please enter the text to seal");
  await call("QVSetPlainText", text);
  const sealed = await call("QVEncryptedEnvelop", $("recipient").value.trim());
  $("envelope-data").value = sealed;
  await call("QVDecryptEnvelop", sealed);
  fillDetails($("recipient-info"), await certificateDetails("QVGetReciptCertInfo"));
  $("envelope-result").textContent = await call("QVGetPlainText");
  setStatus("enveloped", "信封已打开", "Envelope opened");
}

// The bridge that serves this page, unless the page names another.
function bridgeAddress() {
  const named = document.querySelector('meta[name="quorvel-bridge"]')?.content;
  return named || `ws://${location.host}/`;
}

// Shows how far connecting has come: the browser's question about the local
// network may be open meanwhile, and the bridge's about this site.
function showProgress(status) {
  if (status === "connecting") setStatus("connecting", "正在连接…", "Connecting…");
  else if (status === "permission-prompt") {
    setStatus(
      "permission-prompt",
      "请在浏览器的提示中允许本网站访问本设备上的应用",
      "When the browser asks, allow this site to access apps on this device",
    );
  }
}

async function connect() {
  $("reconnect").hidden = true;
  for (const button of buttons) button.disabled = true;
  try {
    if (ctl) await ctl.reconnect();
    else ctl = await Quorvel.connect(bridgeAddress(), { onStatus: showProgress });
    const version = await ctl.getVersion();
    if (version.status === 0) $("status").title = `Quorvel ${version.value}`;
    clearError();
    setStatus("ready", "已连接", "Connected");
  } catch (error) {
    showError(error);
    const [chinese, english] = (connectionFailure(error) ?? CONNECTION_FAILURES["not-running"]).status;
    setStatus("disconnected", chinese, english);
    $("reconnect").hidden = false;
  } finally {
    enableButtons();
  }
}

$("attach").addEventListener("click", () => act(attach));
$("transfer").addEventListener("submit", (event) => {
  event.preventDefault();
  act(sign);
});
$("verify").addEventListener("click", () => act(verify));
$("envelope").addEventListener("click", () => act(envelope));
$("reconnect").addEventListener("click", () => connect());
showAttachments();
connect();
