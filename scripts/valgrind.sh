#!/usr/bin/env bash
# Runs every test binary of the dev preset under valgrind's memcheck and
# fails on any memory error or leak ("definitely" or "indirectly" lost).
# kvtool's end-to-end test, a script, runs every kvtool call under valgrind.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
kv_require_packages build test valgrind
cmake --preset dev >/dev/null
cmake --build --preset dev
ctest --test-dir build/dev --show-only=json-v1 >build/dev/tests.json
python3 - <<'PY'
import json, os, subprocess, sys
tests = json.load(open("build/dev/tests.json"))["tests"]
failed = []
for test in tests:
    command = test["command"]
    props = {p["name"]: p["value"] for p in test.get("properties", [])}
    env = dict(os.environ)
    for item in props.get("ENVIRONMENT", []):
        key, _, value = item.partition("=")
        env[key] = value
    cwd = props.get("WORKING_DIRECTORY")
    if command[0].endswith(("python3", "python")):
        env["KVTOOL_WRAPPER"] = ("valgrind --quiet --leak-check=full --error-exitcode=97 "
                                 "--errors-for-leak-kinds=definite,indirect")
    else:
        command = ["valgrind", "--quiet", "--leak-check=full", "--error-exitcode=97",
                   "--errors-for-leak-kinds=definite,indirect"] + command
    result = subprocess.run(command, env=env, cwd=cwd, stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, text=True)
    status = "ok" if result.returncode == 0 else "FAILED"
    print(f"{test['name']}: {status}")
    if result.returncode != 0:
        failed.append(test["name"])
        sys.stderr.write(result.stderr[-4000:])
if failed:
    print("failed under valgrind: " + ", ".join(failed))
    sys.exit(1)
print("no memory errors and no leaks")
PY
