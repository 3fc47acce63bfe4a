#!/usr/bin/env bash
# Checks the GitHub Actions workflows against the workflow schema with @action-validator/cli,
# installed from the npm registry into build/npm when it is not there yet.
# Usage: tools/check-workflows.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
validator=$root/build/npm/node_modules/.bin/action-validator
if [ ! -x "$validator" ]; then
  mkdir -p "$root/build/npm"
  npm install --prefix "$root/build/npm" --no-audit --no-fund --silent @action-validator/cli
fi
for workflow in "$root"/.github/workflows/*.yml; do
  "$validator" "$workflow"
  echo "workflow ${workflow#"$root"/}: valid"
done
