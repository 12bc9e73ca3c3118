# Compile flags shared by every target.
#
# The noise field and the stage arithmetic are specified operation by
# operation in single and double precision; a fused multiply-add or any
# fast-math reassociation would change the bits, so contraction is off and
# fast-math is never enabled.
add_compile_options(-ffp-contract=off -fno-fast-math -Wall -Wextra)

# CORVEXEL_SANITIZE: "address" (AddressSanitizer + UndefinedBehaviorSanitizer,
# including out-of-range float-to-integer conversions, which GCC leaves out of
# -fsanitize=undefined;
# halting on the first report), "thread" (ThreadSanitizer) or "fuzz" (clang:
# libFuzzer's coverage instrumentation with AddressSanitizer and
# UndefinedBehaviorSanitizer; the fuzz targets link libFuzzer itself).
set(CORVEXEL_SANITIZE "" CACHE STRING "Sanitizer build: address, thread or fuzz")
if(CORVEXEL_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined,float-cast-overflow -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined,float-cast-overflow -fno-sanitize-recover=all)
elseif(CORVEXEL_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(CORVEXEL_SANITIZE STREQUAL "fuzz")
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined,float-cast-overflow
                      -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined,float-cast-overflow -fno-sanitize-recover=all)
elseif(NOT CORVEXEL_SANITIZE STREQUAL "")
  message(FATAL_ERROR "CORVEXEL_SANITIZE must be empty, address, thread or fuzz")
endif()
