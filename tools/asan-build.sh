# Sourced by tools/run-sanitizers.sh and tools/fuzz-campaign.sh: the one
# ASan+UBSan configuration of the core, its tests and (with FUZZ=ON) the
# libFuzzer targets, so that a campaign fuzzes what the sanitizer job builds.
#
#   kelmor_asan_configure SRC BUILD CC CXX FUZZ(ON|OFF)

KELMOR_SAN_FLAGS="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"

kelmor_asan_configure() {
    cmake -S "$1" -B "$2" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
        -DCMAKE_C_COMPILER="$3" -DCMAKE_CXX_COMPILER="$4" \
        -DCMAKE_C_FLAGS="$KELMOR_SAN_FLAGS" -DCMAKE_CXX_FLAGS="$KELMOR_SAN_FLAGS" \
        -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
        -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address,undefined" \
        -DKELMOR_FUZZ="$5" >/dev/null
}
