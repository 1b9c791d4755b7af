#!/bin/sh
# check_layers.py over a tree with one wrong include of each kind (up a layer, two files that include
# each other, a folder with no place) and right ones beside them: it must fail and name exactly those.
# Usage: layers_case.sh CHECK_LAYERS_PY TREE
if out=$(python3 "$1" "$2"); then
    echo "check_layers passed a tree with wrong includes:"
    echo "$out"
    exit 1
fi
status=0
for want in 'ui/text_up.cpp:2: ui/ includes "diary/note.h" from diary/, a layer above it' \
    'files that include each other: diary/a.h -> diary/b.h -> diary/a.h' \
    'stray/loose.cpp: folder stray/ has no place in the layer list' \
    'check_layers: 3 wrong arrow(s)'; do
    case "$out" in
    *"$want"*) ;;
    *)
        echo "missing: $want"
        status=1
        ;;
    esac
done
[ $status -eq 0 ] || echo "$out"
exit $status
