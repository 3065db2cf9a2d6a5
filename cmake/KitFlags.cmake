# Compiler flags shared by every target of the kit, the extra ones for what we ship, and the prefix
# that starts one of our programs in a test (the emulator of a cross build).

# Flags for the kit's own sources: warnings fatal, and no contraction of a*b+c into fused
# multiply-adds, so the arithmetic gives the same bits on x86-64 and on ARM.
macro(kit_apply_project_flags)
    add_compile_options(-Wall -Wextra -Wpedantic -Werror -Wshadow -Wconversion -Wsign-conversion
                        -Wcast-qual -Wformat=2 -Wundef -Wnull-dereference -Wdouble-promotion
                        -ffp-contract=off)
    if(KIT_SANITIZE)
        # No vptr check: it needs the RTTI that the kit's own code is built without (the simulated
        # board's device models are polymorphic, and tests built with RTTI call them).
        add_compile_options(-fsanitize=address,undefined -fno-sanitize=vptr -fno-sanitize-recover=all
                            -fno-omit-frame-pointer)
        add_link_options(-fsanitize=address,undefined)
    endif()
endmacro()

# What we ship stays small: no exceptions (on ARM they alone pull in libgcc_s), no RTTI, and only
# the documented interface visible.
function(kit_deliverable target)
    target_compile_options(${target} PRIVATE -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables)
    set_target_properties(${target} PROPERTIES
        CXX_VISIBILITY_PRESET hidden C_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
endfunction()

# A test command that spawns one of our programs must name the emulator itself in the cross build:
# CTest only adds it when the test's COMMAND is a target.
if(CMAKE_CROSSCOMPILING AND CMAKE_CROSSCOMPILING_EMULATOR)
    set(KIT_RUN_PREFIX ${CMAKE_CROSSCOMPILING_EMULATOR})
else()
    set(KIT_RUN_PREFIX "")
endif()
string(JOIN " " KIT_RUN_PREFIX_STRING ${KIT_RUN_PREFIX})
