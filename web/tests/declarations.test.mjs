// web/quorvel.d.ts read by the TypeScript compiler, against the members the
// host lists: every call the host would dispatch compiles with the result
// typed as the host answers it, and calls with a missing argument, a text for
// a number, a property of the wrong kind or an unknown name do not.
//   QUORVEL_PROGRAM=build/tools/quorvel node --test web/tests/declarations.test.mjs
import { test } from "node:test";
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import { copyFileSync, mkdirSync, mkdtempSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { fileURLToPath } from "node:url";
import ts from "typescript";

const program = process.env.QUORVEL_PROGRAM;
const skip = program ? false : "QUORVEL_PROGRAM is not set";

function listedMembers(home) {
  const requests = [
    { jsonrpc: "2.0", id: 1, method: "create", params: { progid: "Quorvel.DrennicQuorvel2" } },
    { jsonrpc: "2.0", id: 2, method: "members", params: { object: 1 } },
  ];
  const output = execFileSync(program, ["host", "--stdio"], {
    input: requests.map((r) => JSON.stringify(r)).join("\n") + "\n",
    env: { ...process.env, QUORVEL_HOME: home, QUORVEL_UI: "none" },
    encoding: "utf8",
  });
  return JSON.parse(output.trim().split("\n")[1]).result;
}

const argumentFor = (type) => (type === "string" ? '"x"' : "1");
const resultType = (type) => (type === null ? "null" : type === "string" ? "string" : "number");

// One line per usage; `fails` says whether the compiler must refuse it.
function usages(members) {
  const lines = [];
  const gets = new Set(members.filter((m) => m.kind === "get").map((m) => m.name));
  const puts = new Set(members.filter((m) => m.kind === "put").map((m) => m.name));
  for (const { name, kind, params, result } of members) {
    const args = params.map((p) => argumentFor(p.type));
    if (kind === "method") {
      lines.push({ code: `const r_${name}: CallResult<${resultType(result)}> = await ctl.${name}(${args});` });
      // A text argument may also be a number.
      if (params.some((p) => p.type === "string")) {
        lines.push({ code: `await ctl.${name}(${params.map(() => "2")});` });
      }
      if (params.length > 0) lines.push({ code: `await ctl.${name}(${args.slice(1)});`, fails: true });
      lines.push({ code: `await ctl.${name}(${[...args, '"extra"']});`, fails: true });
      for (const [i, p] of params.entries()) {
        if (p.type === "string") continue;
        const wrong = args.map((a, j) => (j === i ? '"1"' : a));
        lines.push({ code: `await ctl.${name}(${wrong});`, fails: true });
      }
      // A text result is not a number, nor a number a text.
      if (result !== null) {
        const other = resultType(result) === "string" ? "number" : "string";
        lines.push({ code: `const w_${name}: ${other} = (await ctl.${name}(${args})).value;`, fails: true });
      }
    } else if (kind === "get") {
      lines.push({ code: `const g_${name}: ${resultType(result)} = (await ctl.get("${name}")).value;` });
      if (!puts.has(name)) lines.push({ code: `await ctl.put("${name}", 1);`, fails: true });
    } else {
      lines.push({ code: `const p_${name}: CallResult<null> = await ctl.put("${name}", ${args[0]});` });
      if (params[0].type !== "string") lines.push({ code: `await ctl.put("${name}", "1");`, fails: true });
      if (!gets.has(name)) lines.push({ code: `await ctl.get("${name}");`, fails: true });
    }
  }
  lines.push({ code: 'await ctl.get("NoSuchProperty");', fails: true });
  lines.push({ code: "await ctl.NoSuchMethod();", fails: true });
  lines.push({ code: "new Quorvel();", fails: true });
  lines.push({ code: "const c: -32000 = QuorvelError.CLOSED;" });
  lines.push({ code: "const f: [-32010, -32011, -32012] = [QuorvelError.REFUSED, QuorvelError.BLOCKED, QuorvelError.TIMEOUT];" });
  lines.push({ code: 'const why: "not-running" | "refused" | "blocked-by-browser" | "timeout" | undefined = new QuorvelError("m", 1).reason;' });
  lines.push({ code: 'const narrower: "refused" | undefined = new QuorvelError("m", 1).reason;', fails: true });
  lines.push({ code: 'await Quorvel.connect("ws://x/", { connectTimeoutMs: 5000, onStatus: (s: "connecting" | "permission-prompt" | "open") => {} });' });
  lines.push({ code: 'await Quorvel.connect("ws://x/", { onStatus: (s: "connecting" | "open") => {} });', fails: true });
  lines.push({ code: 'await Quorvel.connect("ws://x/", { connectTimeoutMs: "5000" });', fails: true });
  lines.push({ code: 'const e: number = new QuorvelError("m", 1).code;' });
  lines.push({ code: "const listed: readonly MemberDescription[] = ctl.members;" });
  lines.push({ code: "await ctl.reconnect(); await ctl.close();" });
  return lines;
}

test("the declarations type every listed member as the host dispatches it", { skip }, () => {
  const root = mkdtempSync(join(tmpdir(), "quorvel-declarations-"));
  try {
    const members = listedMembers(join(root, "home"));
    assert.ok(members.length > 50, "the host lists the members");
    mkdirSync(join(root, "types"));
    copyFileSync(fileURLToPath(new URL("../quorvel.d.ts", import.meta.url)), join(root, "types", "quorvel.d.ts"));
    const lines = usages(members);
    const header = [
      'import { Quorvel, QuorvelError, type CallResult, type MemberDescription } from "/quorvel.js";',
      'const ctl = await Quorvel.connect("ws://127.0.0.1:27455/");',
    ];
    const source = join(root, "page.ts");
    writeFileSync(source, [...header, ...lines.map((l) => l.code), "export {};"].join("\n") + "\n");

    const compiled = ts.createProgram([source], {
      target: ts.ScriptTarget.ES2022,
      module: ts.ModuleKind.ES2022,
      moduleResolution: ts.ModuleResolutionKind.Bundler,
      strict: true,
      noEmit: true,
      noUnusedLocals: false,
      types: [],
      lib: ["lib.es2022.d.ts"],
      baseUrl: root,
      paths: { "/quorvel.js": ["./types/quorvel.d.ts"] },
    });
    const refused = new Map();
    for (const diagnostic of ts.getPreEmitDiagnostics(compiled)) {
      assert.ok(diagnostic.file, ts.flattenDiagnosticMessageText(diagnostic.messageText, "\n"));
      const where = diagnostic.file.fileName.endsWith("page.ts") ? "page" : diagnostic.file.fileName;
      assert.equal(where, "page", `the declarations themselves do not compile: ${diagnostic.messageText}`);
      const line = diagnostic.file.getLineAndCharacterOfPosition(diagnostic.start).line - header.length;
      refused.set(line, ts.flattenDiagnosticMessageText(diagnostic.messageText, " "));
    }
    for (const [i, { code, fails = false }] of lines.entries()) {
      assert.equal(refused.has(i), fails, `${code}\n  ${refused.get(i) ?? "compiles"}`);
    }
  } finally {
    rmSync(root, { recursive: true, force: true });
  }
});
