# Cross build for the target board: 32-bit ARMv7-A Linux, hard-float (Debian armhf).
# Tests run under qemu-user; binfmt_misc is not assumed, so the emulator is named explicitly.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR armv7l)

set(KIT_ARMHF_TRIPLE arm-linux-gnueabihf)
set(CMAKE_C_COMPILER ${KIT_ARMHF_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${KIT_ARMHF_TRIPLE}-g++)

set(CMAKE_FIND_ROOT_PATH /usr/${KIT_ARMHF_TRIPLE} /usr/lib/${KIT_ARMHF_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_LIBRARY_ARCHITECTURE ${KIT_ARMHF_TRIPLE})

set(CMAKE_C_FLAGS_INIT "-march=armv7-a -mfpu=vfpv3-d16 -mfloat-abi=hard")
set(CMAKE_CXX_FLAGS_INIT "-march=armv7-a -mfpu=vfpv3-d16 -mfloat-abi=hard -Wno-psabi")

set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm -L /usr/${KIT_ARMHF_TRIPLE})
set(KIT_DEB_ARCH armhf)
