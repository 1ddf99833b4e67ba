# The product version lives here and nowhere else: major and a two-digit minor,
# shown as "1.05". Resource scripts and code read the generated header.
set(PV_VERSION_MAJOR 1)
set(PV_VERSION_MINOR 05)
math(EXPR PV_VERSION_MINOR_NUM "${PV_VERSION_MINOR}")
set(PV_VERSION_TEXT "${PV_VERSION_MAJOR}.${PV_VERSION_MINOR}")
configure_file(${CMAKE_SOURCE_DIR}/res/version.h.in ${CMAKE_BINARY_DIR}/generated/pv_version.h @ONLY)
