# SPDX-License-Identifier: GPL-3.0-or-later
# Shared by scripts/test-sanitizers.sh and scripts/fuzz.sh (sourced, not run): the compiler and the
# packages of the checked builds, and the sanitizer settings. Expects $root, the project folder.

checked_packages=(clang-14 libclang-rt-14-dev)
export CC=clang-14 CXX=clang++-14

# The project's own packages and the compiler of the checked builds: only what is missing.
install_checked_packages() {
  "$root/scripts/install-deps.sh" "${checked_packages[@]}"
}

# Stop at the first report of any kind; look for leaks. Leaks inside system libraries are
# suppressed by name in lsan.supp, nothing else.
asan_options="halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1"
ubsan_options="halt_on_error=1:print_stacktrace=1"
lsan_options="suppressions=$root/scripts/sanitizers/lsan.supp"
tsan_options="halt_on_error=1:second_deadlock_stack=1"

# Prints the time since $1 (seconds of the epoch) as m:ss.
elapsed() {
  local s=$(( $(date +%s) - $1 ))
  printf '%d:%02d' $((s / 60)) $((s % 60))
}
