#!/usr/bin/env bash
# What the installer stub is made of: links MorvanditeInstallStub.exe once
# more, the way the Windows build does, with a linker map, into a scratch
# folder (the build's own stub is left alone), strips it as shipped, and
# prints the stripped size, the padding the file alignment adds, and the bytes
# each library, object group and the resources contribute, by section.
# usage: tools/bench/stub-size.sh [OBJECTS]   (OBJECTS: also list the largest
#        N archive members; needs the Windows build, tools/build.sh)
# Environment: MORVANDITE_WINDOWS_BUILD (default build/windows).
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
build=${MORVANDITE_WINDOWS_BUILD:-$top/build/windows}
top_objects=${1:-0}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# The build's own link command, pointed at the scratch folder.
link=$(cd "$build" && ninja -t commands bin/MorvanditeInstallStub.exe | tail -1)
link=${link#: && }
link=${link%% && cd *}
link=${link/ -o bin\/MorvanditeInstallStub.exe / -o $scratch/stub.exe -Wl,-Map=$scratch/stub.map }
link=$(sed 's/-Wl,--out-implib,[^ ]*//' <<< "$link")
(cd "$build" && eval "$link")
# Stripped with the link to its symbols, as cmake/ShippedProgram.cmake does.
i686-w64-mingw32-objcopy --only-keep-debug "$scratch/stub.exe" "$scratch/stub.exe.debug"
i686-w64-mingw32-objcopy --strip-all --add-gnu-debuglink="$scratch/stub.exe.debug" \
    "$scratch/stub.exe" "$scratch/stub.stripped.exe"

python3 - "$scratch/stub.map" "$scratch/stub.stripped.exe" "$top_objects" <<'EOF'
import collections, re, struct, sys

map_text = open(sys.argv[1]).read().split('Linker script and memory map', 1)[1]
image = open(sys.argv[2], 'rb').read()
top_objects = int(sys.argv[3])

# Section table of the stripped image: raw size against contents.
pe = struct.unpack_from('<I', image, 0x3c)[0]
count = struct.unpack_from('<H', image, pe + 6)[0]
table = pe + 24 + struct.unpack_from('<H', image, pe + 20)[0]
raw = used = 0
for i in range(count):
    _, vsize, _, rsize, _ = struct.unpack_from('<8sIIII', image, table + 40 * i)
    raw += rsize
    used += min(vsize, rsize)
print(f"stripped stub: {len(image)} bytes ({len(image) / 1024:.1f} KB); "
      f"headers {len(image) - raw}, file-alignment padding {raw - used}")

sections = ['.text', '.rdata', '.eh_frame', '.data', '.idata', '.rsrc', '.CRT', '.tls', '.reloc']
by_group = collections.Counter()
by_member = collections.Counter()
output = pending = None
for line in map_text.splitlines():
    m = re.match(r'^(\.[\w.$]+)\s', line)
    if m:
        output = m.group(1)
        continue
    m = re.match(r'^ (\S+)\s*$', line)
    if m:
        pending = m.group(1)
        continue
    m = re.match(r'^ (\S+)?\s+0x[0-9a-f]+\s+0x([0-9a-f]+)\s+(\S.*)$', line)
    if not m or output not in sections:
        continue
    pending = None
    source = m.group(3)
    size = int(m.group(2), 16)
    archive = re.match(r'(.*?)\((.*)\)$', source)
    if archive:
        group, member = archive.group(1).split('/')[-1], archive.group(2)
    elif '.lto.o' in source or '.ltrans' in source:
        group, member = "own code (link-time optimised)", source.split('/')[-1]
    elif source == 'dll stuff':
        group = member = "made by the linker (base relocations, import thunks)"
    else:
        group = member = source.split('/')[-1]
    by_group[(group, output)] += size
    by_member[(group, member)] += size

totals = collections.Counter()
for (group, _), size in by_group.items():
    totals[group] += size
print(f"{'bytes':>8}  contributor  (by section)")
for group, size in totals.most_common():
    if size < 512:
        continue
    parts = ' '.join(f"{s}={by_group[(group, s)]}" for s in sections if by_group[(group, s)])
    print(f"{size:8d}  {group}  ({parts})")
print(f"{sum(totals.values()):8d}  in all (before alignment padding and headers)")
if top_objects:
    print("largest archive members:")
    for (group, member), size in by_member.most_common(top_objects):
        print(f"{size:8d}  {group}({member})")
EOF
