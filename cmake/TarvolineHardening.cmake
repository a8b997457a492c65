# The hardening Debian builds its packages with, for every build but the sanitizer and fuzzing
# builds (their instrumentation does the checking there, and fortified calls would hide the
# accesses it is meant to see): a stack protector in every function with a local array or an
# address taken, the C library's checked string and memory calls where the compiler optimises
# (the checks need the object sizes that only an optimising build knows), position-independent
# programs, and relocations resolved at start and then made read-only.

include(CheckPIESupported)
check_pie_supported(LANGUAGES CXX)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)

add_compile_options(-fstack-protector-strong -Wformat -Werror=format-security)
# _FORTIFY_SOURCE warns and does nothing without optimisation: Debug builds go without it.
add_compile_definitions($<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
add_link_options(-Wl,-z,relro -Wl,-z,now)
