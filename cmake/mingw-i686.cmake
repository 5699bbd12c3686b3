# Cross toolchain for the 32-bit Windows build of Q7.EXE.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
# Windows 95 and NT 3.51 ran on the 80386: the compiler's i686 default
# (CMOV from the Pentium Pro on) would stop the program there with an
# invalid-opcode fault. The support routines linked from libgcc are checked
# with the program itself (tests/product/check_product.sh).
set(CMAKE_C_FLAGS_INIT "-march=i386 -mtune=generic")
set(CMAKE_CXX_FLAGS_INIT "-march=i386 -mtune=generic")
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
