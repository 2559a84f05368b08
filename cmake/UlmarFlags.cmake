# Flags shared by every target of this project (never by a consumer's own targets).
# The engine's arithmetic is specified operation by operation: no FMA contraction,
# no fast-math, no host-specific instruction sets.
add_library(ulmar_flags INTERFACE)
target_compile_options(ulmar_flags INTERFACE
    -Wall -Wextra -ffp-contract=off -fno-fast-math
    $<$<CONFIG:Release>:-O2>)

add_library(ulmar_sanitize INTERFACE)
if(ULMAR_SANITIZE)
    target_compile_options(ulmar_sanitize INTERFACE -fsanitize=address,undefined -fno-sanitize-recover=all
                                                    -fno-omit-frame-pointer)
    target_link_options(ulmar_sanitize INTERFACE -fsanitize=address,undefined)
endif()
