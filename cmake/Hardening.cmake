# SPDX-License-Identifier: GPL-3.0-or-later
# The hardening Debian builds its packages with (dpkg-buildflags with
# hardening=+all): fortified libc calls, stack protector and clash
# protection, control-flow protection, format checks, PIE, full RELRO and
# immediate binding. On by default, so the packages CPack makes from an
# ordinary build are hardened; sanitizer and fuzz builds go without (their
# run-times do not mix with fortified calls).
option(MAROVANE_HARDENING "Build with Debian's hardening flags" ON)
if(MAROVANE_HARDENING AND NOT MV_SANITIZE AND NOT MV_TSAN AND NOT MAROVANE_FUZZ)
  include(CheckCXXCompilerFlag)
  include(CheckPIESupported)
  check_pie_supported(LANGUAGES C CXX)
  set(CMAKE_POSITION_INDEPENDENT_CODE ON)
  # Fortification needs the optimiser: an -O0 debug build would only warn.
  add_compile_options(
    "$<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>"
    -fstack-protector-strong -Wformat -Werror=format-security)
  foreach(flag -fstack-clash-protection -fcf-protection)
    string(MAKE_C_IDENTIFIER "mv_has${flag}" var)
    check_cxx_compiler_flag(${flag} ${var})
    if(${var})
      add_compile_options(${flag})
    endif()
  endforeach()
  add_link_options(-Wl,-z,relro -Wl,-z,now)
endif()
