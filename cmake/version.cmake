# The product version, the product and maker names and the web addresses live here
# and nowhere else. The version is a major and a two-digit minor, shown as "1.05".
# Resource scripts and code read the generated header.
set(PV_VERSION_MAJOR 1)
set(PV_VERSION_MINOR 05)
math(EXPR PV_VERSION_MINOR_NUM "${PV_VERSION_MINOR}")
set(PV_VERSION_TEXT "${PV_VERSION_MAJOR}.${PV_VERSION_MINOR}")
set(PV_PRODUCT_NAME "Pomvault")
set(PV_MAKER_NAME "Sorvane")
# The product has no pages of its own yet: these point into the reserved domain.
set(PV_HOME_URL "https://pomvault.example.com/")
set(PV_FAQ_URL "https://pomvault.example.com/faq/")
configure_file(${CMAKE_SOURCE_DIR}/res/version.h.in ${CMAKE_BINARY_DIR}/generated/pv_version.h @ONLY)
