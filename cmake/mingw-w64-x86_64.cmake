# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 toolchain
# (package g++-mingw-w64-x86-64-posix). The -posix compilers are used because
# Qt needs std::thread and friends, which only the posix threading model has.
#
#   cmake -S . -B build-windows \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#         -DCMAKE_PREFIX_PATH=$HOME/.cache/vantor/qt-mingw-6.4.2
#
# scripts/windows/build-qt builds that Qt with this same file.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VANTOR_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VANTOR_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VANTOR_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VANTOR_MINGW_TRIPLE}-windres)

# Headers, libraries and CMake packages come from the MinGW tree only, never
# from the Linux system; programs (moc, rcc, ...) are the host's.
set(CMAKE_FIND_ROOT_PATH /usr/${VANTOR_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Windows-built prefixes named in CMAKE_PREFIX_PATH (the Qt from the cache)
# are roots of their own, otherwise the ONLY modes above would not look there.
foreach(prefix IN LISTS CMAKE_PREFIX_PATH)
  list(APPEND CMAKE_FIND_ROOT_PATH "${prefix}")
endforeach()
if(DEFINED ENV{CMAKE_PREFIX_PATH})
  string(REPLACE ":" ";" env_prefixes "$ENV{CMAKE_PREFIX_PATH}")
  foreach(prefix IN LISTS env_prefixes)
    list(APPEND CMAKE_FIND_ROOT_PATH "${prefix}")
  endforeach()
endif()
list(REMOVE_DUPLICATES CMAKE_FIND_ROOT_PATH)

# Lets CTest run the Windows test programs through Wine. Debian keeps wine64
# out of PATH; /usr/bin/wine would nag about the missing 32-bit part.
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(VANTOR_WINE NAMES wine64 wine HINTS /usr/lib/wine)
  if(VANTOR_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR "${VANTOR_WINE}")
  endif()
endif()
