#!/usr/bin/env bash
# The slow checks before a merge, one after another:
#   format  clang-format over the tracked C++ files of src/ tests/ bench/ tools/ (no changes made)
#   asan    the whole suite built with the address and undefined-behaviour sanitizers (build-asan/)
#   tsan    the tests with background work built with the thread sanitizer (build-tsan/)
# Usage: scripts/check.sh [format] [asan] [tsan]   (default: all three)
# Each build takes the shared build lock on its own, so other builds can run in between.
# Exit code: 0 when every chosen check passed, 1 otherwise; every check runs either way.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
lock=/tmp/lumora-build.lock
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(dirname "$root")} CCACHE_NOHASHDIR=1
export QT_QPA_PLATFORM=offscreen

checks=("$@")
[ ${#checks[@]} -eq 0 ] && checks=(format asan tsan)
failed=()

check_format() {
    local files f lines=0 changed=0 n
    mapfile -t files < <(git ls-files -- src tests bench tools | grep -E '\.(cpp|h)$')
    for f in "${files[@]}"; do
        n=$(clang-format "$f" | diff "$f" - | grep -c '^[<>]')
        if [ "$n" -gt 0 ]; then
            lines=$((lines + n))
            changed=$((changed + 1))
        fi
    done
    echo "format: ${lines} lines (removed + added) in ${changed} of ${#files[@]} files would change"
    clang-format --dry-run --Werror "${files[@]}" >/dev/null 2>&1
}

build_preset() {
    local preset=$1
    cmake --preset "$preset" >/dev/null || return 1
    flock "$lock" cmake --build --preset "$preset"
}

check_asan() {
    build_preset asan || return 1
    # Leak checking is off: Qt, fontconfig and GLib keep caches for the life of the process,
    # and LeakSanitizer reports them at exit as leaks.
    ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=0:detect_stack_use_after_return=1 \
    UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
        flock "$lock" ctest --test-dir build-asan -j2 --output-on-failure
}

check_tsan() {
    build_preset tsan || return 1
    # The programs whose tests start background work; the model-needed ones run the network for
    # minutes under TSan and add nothing the others do not cover; some tests are mostly pixel work
    # that takes minutes instrumented (their threading is the same as their neighbours': the
    # decode-profile and damaged-photo tables, two background-mode cases, the streamed export's
    # whole-render comparison, the burst of slider steps and the plain JPEG decode's comparison
    # with libvips, whose libvips encodes and pipelines spend minutes in suppressed reports (the
    # last one two minutes with a neighbour running); the export's other tests run its threads), and
    # libheif's decoding threads hand strings over in ways TSan cannot see. Tests that start the
    # command line fork a threaded process: the child only execs.
    TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:history_size=7:die_after_fork=0:suppressions=$root/scripts/tsan.supp" \
        flock "$lock" ctest --test-dir build-tsan -j2 --output-on-failure \
        -L '^(base|pipeline|model|cutout|fileops|app)$' -LE model-needed -E 'WritesTheSameRelativeRegion|RefreshDoesNotOverwriteANewerEdit|HeicDecodes|EveryDecodeSizeConvertsAWideGamutOrPrintProfileAlike|DamagedPhotos|BackgroundChoicesFollowTheirPrecedence|StreamedFilesAreTheWholeRenderEncoded|ABurstOfStepsOnManySelectedDecodesEachOriginalAtMostOnce|PlainJpegsDecodeToTheSamePixelsAsLibvips'
}

for c in "${checks[@]}"; do
    echo "=== $c"
    if ! "check_$c"; then
        failed+=("$c")
    fi
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "check: failed: ${failed[*]}"
    exit 1
fi
echo "check: all passed"
