# Sourced by scripts/test-sanitized and fuzz/run-all: both use one clang build folder, so the
# library is compiled once with AddressSanitizer and UndefinedBehaviorSanitizer (plus libFuzzer's
# coverage hooks) and serves the test programs and the fuzz targets alike.
#
# configure_sanitized_build FOLDER   -O1 keeps the instrumented code reasonably fast; -g gives
# readable stack traces. The compilers are named explicitly so that a folder configured earlier
# with another compiler is reconfigured rather than silently reused.
configure_sanitized_build() {
  cmake -S "$root" -B "$1" -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
    -DTABRIX_SANITIZE=ON -DTABRIX_FUZZ=ON -DTABRIX_TESTS=ON \
    -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" -DCMAKE_C_FLAGS_DEBUG="-O1 -g" >/dev/null
}
