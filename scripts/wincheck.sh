#!/usr/bin/env bash
# Type-checks the Windows sides: every source under src/, service/, tools/ and cli/ that has Windows-only
# code (Q_OS_WIN, _WIN32, or a *_win file) is parsed by MinGW-w64 (syntax only, warnings as errors) against Qt's headers, with the
# include paths and definitions of its compile command in a configured build folder.
#   scripts/wincheck.sh [BUILD_DIR]      (default: build)
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$top/build}" && pwd)"
cd "$top"

compiler="$(command -v x86_64-w64-mingw32-g++-posix || command -v x86_64-w64-mingw32-g++ || true)"
if [ -z "$compiler" ]; then
    echo "wincheck: MinGW-w64 not found (scripts/deps/mingw.txt; run scripts/install-deps.sh)" >&2
    exit 1
fi
if [ ! -f "$build/compile_commands.json" ]; then
    echo "wincheck: $build/compile_commands.json missing: configure that build folder first" >&2
    exit 1
fi

mapfile -t files < <({
    grep -rlE --include='*.cpp' --include='*.h' 'Q_OS_WIN|_WIN32' src service tools cli
    find src service tools cli \( -name '*_win.cpp' -o -name '*_win.h' \)
} | sort -u)
if [ ${#files[@]} -eq 0 ]; then
    echo "wincheck: no source with Windows-only code found" >&2
    exit 1
fi

# One line per file: the file, then its compiler arguments, separated by the unit separator.
python3 - "$build/compile_commands.json" "$top" "${files[@]}" > "$build/wincheck.args" <<'EOF'
import json, os, shlex, sys

database, top, files = sys.argv[1], sys.argv[2], sys.argv[3:]
linux_spec = "/mkspecs/linux-g++"

def flags(command):
    """Definitions, include paths and the language standard of one compile command."""
    words, kept, i = shlex.split(command), [], 0
    while i < len(words):
        w = words[i]
        if w in ("-I", "-isystem", "-D", "-include") and i + 1 < len(words):
            kept += [w, words[i + 1]]
            i += 2
            continue
        if w.startswith(("-I", "-D", "-std=", "-W")) or w == "-pedantic":
            kept.append(w)
        i += 1
    # Qt's platform definitions of the Windows target, not of this host.
    return [w.replace(linux_spec, "/mkspecs/win32-g++") for w in kept]

by_file = {}
for entry in json.load(open(database)):
    path = os.path.realpath(os.path.join(entry.get("directory", ""), entry["file"]))
    command = entry.get("command") or " ".join(shlex.quote(a) for a in entry["arguments"])
    by_file.setdefault(path, flags(command))

def union(entries):
    seen, out = set(), []
    for args in entries:
        i = 0
        while i < len(args):
            pair = args[i:i + 2] if args[i] in ("-I", "-isystem", "-D", "-include") else args[i:i + 1]
            if tuple(pair) not in seen:
                seen.add(tuple(pair))
                out += pair
            i += len(pair)
    return out

for name in files:
    path = os.path.realpath(os.path.join(top, name))
    args = by_file.get(path)
    if args is None:
        # A Windows-only file is not in the Linux build: take the flags of its folder's files,
        # or of the part of the tree it belongs to.
        folder = os.path.dirname(path)
        area = os.path.join(top, name.split("/")[0])
        args = union(a for p, a in by_file.items() if os.path.dirname(p) == folder) \
            or union(a for p, a in by_file.items() if p.startswith(area + "/"))
    if not args:
        sys.exit("wincheck: no compile flags for %s" % name)
    # A header is checked as the only include of an empty source, as its users see it.
    args = args + (["-x", "c++", "-include", path, "/dev/null"] if name.endswith(".h") else [path])
    sys.stdout.write("\x1f".join([name] + args) + "\n")
EOF

failed=0
while IFS=$'\x1f' read -r -a words; do
    name="${words[0]}"
    if "$compiler" -fsyntax-only -Wall -Wextra -Wpedantic -Werror "${words[@]:1}"; then
        echo "wincheck: ok   $name"
    else
        echo "wincheck: FAIL $name"
        failed=1
    fi
done < "$build/wincheck.args"
exit "$failed"
