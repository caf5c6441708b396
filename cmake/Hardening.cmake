# The hardening Debian builds its packages with (dpkg-buildflags with
# hardening=+all): a stack protector, the C library's checked functions
# (_FORTIFY_SOURCE), position-independent executables, and relocations made
# read-only and resolved at start (RELRO and BIND_NOW). Applied to every
# target, the helper converter included. Left out under the sanitizers, which
# bring checks of their own and do not combine with the checked functions.

option(QUARBE_HARDENING "Build with the stack protector, _FORTIFY_SOURCE, PIE, RELRO and BIND_NOW" ON)

if(QUARBE_HARDENING AND NOT QUARBE_SANITIZE)
  include(CheckCXXCompilerFlag)
  include(CheckPIESupported)
  check_pie_supported()
  set(CMAKE_POSITION_INDEPENDENT_CODE ON)

  add_compile_options(-fstack-protector-strong -Wformat -Werror=format-security)
  # The checked functions need the optimiser; a Debug build would only warn.
  # Undefined first: some compilers define their own level.
  add_compile_options("$<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
  check_cxx_compiler_flag(-fcf-protection QUARBE_HAS_CF_PROTECTION)
  if(QUARBE_HAS_CF_PROTECTION)
    add_compile_options(-fcf-protection)
  endif()
  add_link_options(LINKER:-z,relro LINKER:-z,now)
endif()
