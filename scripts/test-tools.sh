# Sourced by scripts/test.sh (and scripts/fuzz-corpus.sh): checks that every tool the test stages
# rely on is there, and points the sanitizers at llvm-symbolizer.
#
# A missing tool ends the run here, with one line naming the tool and its Debian package, instead
# of forty tests failing later for a reason they cannot name: without llvm-symbolizer, say,
# ThreadSanitizer prints frames as <null>, the suppressions in tests/sanitizers/tsan.supp (which
# match function and file names) match nothing, and every suppressed race fails its test.

kovra_missing_tools=()

# kovra_need_program NAME PACKAGE: NAME must be on PATH.
kovra_need_program() {
  command -v "$1" > /dev/null 2>&1 || kovra_missing_tools+=("$1 (package $2)")
}

# kovra_need_file PATH WHAT PACKAGE: PATH must exist.
kovra_need_file() {
  [ -e "$1" ] || kovra_missing_tools+=("$2 (package $3)")
}

kovra_need_program clang clang
kovra_need_program clang++ clang
kovra_need_program clang-format clang-format
kovra_need_program git git
kovra_need_program Xvfb xvfb
kovra_need_program xauth xauth
kovra_need_program xdotool xdotool
kovra_need_program dbus-run-session dbus-bin
kovra_need_program dbus-daemon dbus
kovra_need_file /usr/libexec/at-spi-bus-launcher "the accessibility bus launcher" at-spi2-core
/usr/bin/python3 -c 'import gi; gi.require_version("Atspi", "2.0")' > /dev/null 2>&1 ||
  kovra_missing_tools+=("/usr/bin/python3's Atspi bindings (packages python3-gi, gir1.2-atspi-2.0)")
kovra_need_program ip iproute2
# Without them the PC/SC tests would only skip: the run stops here instead.
[ -x /usr/sbin/pcscd ] || command -v pcscd > /dev/null 2>&1 ||
  kovra_missing_tools+=("pcscd (package pcscd)")
kovra_need_file /usr/lib/pcsc/drivers/serial/libifdvpcd.so "the vpcd reader driver" vsmartcard-vpcd
kovra_need_file /usr/lib/postgresql/15/bin/postgres "the PostgreSQL 15 server" postgresql-15
kovra_need_program fakeroot fakeroot
kovra_need_program dpkg-shlibdeps dpkg-dev
kovra_need_program lintian lintian

# The symbolizer of the clang the sanitizer builds use (llvm-14 on Debian 12), by its full path:
# the sanitizer runtimes otherwise look for an unversioned "llvm-symbolizer" on PATH, which only
# the separate "llvm" package provides.
KOVRA_SYMBOLIZER=""
if command -v clang > /dev/null 2>&1; then
  clang_major=$(clang -dumpversion | cut -d. -f1)
  for candidate in "/usr/lib/llvm-$clang_major/bin/llvm-symbolizer" \
    "$(command -v "llvm-symbolizer-$clang_major" || true)" "$(command -v llvm-symbolizer || true)"; do
    if [ -n "$candidate" ] && [ -x "$candidate" ]; then
      KOVRA_SYMBOLIZER=$candidate
      break
    fi
  done
  [ -n "$KOVRA_SYMBOLIZER" ] ||
    kovra_missing_tools+=("llvm-symbolizer of clang $clang_major (package llvm-$clang_major)")
  for runtime in tsan asan ubsan_standalone fuzzer; do
    lib=$(clang -print-file-name="libclang_rt.$runtime-x86_64.a" 2> /dev/null || true)
    [ "${lib#/}" != "$lib" ] && [ -e "$lib" ] ||
      kovra_missing_tools+=("clang's $runtime runtime (package libclang-rt-$clang_major-dev)")
  done
fi

if [ ${#kovra_missing_tools[@]} -gt 0 ]; then
  for tool in "${kovra_missing_tools[@]}"; do
    echo "test: missing $tool; install it with: bash scripts/setup-deps.sh --tests" >&2
  done
  exit 1
fi

export ASAN_SYMBOLIZER_PATH=$KOVRA_SYMBOLIZER
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:external_symbolizer_path=$KOVRA_SYMBOLIZER"
export UBSAN_OPTIONS="print_stacktrace=1:external_symbolizer_path=$KOVRA_SYMBOLIZER"
kovra_tsan_suppressions="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/tests/sanitizers/tsan.supp"
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$kovra_tsan_suppressions external_symbolizer_path=$KOVRA_SYMBOLIZER"

# The suppressions work only when a race is named: a race in a function that a suppression names
# must pass. A symbolizer that is there but cannot name functions fails here, not in the tests.
kovra_symbolizer_check() {
  local dir rc
  dir=$(mktemp -d)
  cat > "$dir/race.c" << 'C'
#include <pthread.h>
int shared;
__attribute__((noinline)) void kovra_probe_race(void) { shared++; }
static void *other(void *arg) { (void)arg; kovra_probe_race(); return 0; }
int main(void) {
  pthread_t t;
  pthread_create(&t, 0, other, 0);
  kovra_probe_race();
  pthread_join(t, 0);
  return 0;
}
C
  echo "race:kovra_probe_race" > "$dir/supp"
  rc=0
  if ! clang -g -O0 -fsanitize=thread "$dir/race.c" -o "$dir/race" -lpthread > "$dir/log" 2>&1; then
    rc=1
  elif ! TSAN_OPTIONS="halt_on_error=1 exitcode=66 suppressions=$dir/supp external_symbolizer_path=$KOVRA_SYMBOLIZER" \
    "$dir/race" >> "$dir/log" 2>&1; then
    rc=2
  fi
  if [ $rc -ne 0 ]; then
    echo "test: ThreadSanitizer cannot apply its suppressions with $KOVRA_SYMBOLIZER:" >&2
    sed 's/^/  /' "$dir/log" | head -20 >&2
  fi
  rm -rf "$dir"
  return $rc
}
kovra_symbolizer_check || exit 1
echo "test: tools present; sanitizers symbolize with $KOVRA_SYMBOLIZER"
