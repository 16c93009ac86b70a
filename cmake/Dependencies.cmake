# Every third-party library comes from Debian packages (scripts/setup installs them).
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
find_package(nlohmann_json 3 REQUIRED)

pkg_check_modules(GLIB REQUIRED IMPORTED_TARGET glib-2.0 gio-2.0)
pkg_check_modules(ALSA REQUIRED IMPORTED_TARGET alsa)

if(NOT CORVANE_FUZZ)
  find_package(GTest REQUIRED)
  find_package(benchmark REQUIRED)
  pkg_check_modules(LIBUSB REQUIRED IMPORTED_TARGET libusb-1.0)
  pkg_check_modules(CAIRO REQUIRED IMPORTED_TARGET cairo pangocairo pango harfbuzz fontconfig)
  pkg_check_modules(GTK REQUIRED IMPORTED_TARGET gtk+-3.0)
  pkg_check_modules(APPINDICATOR REQUIRED IMPORTED_TARGET ayatana-appindicator3-0.1)
  find_package(CURL REQUIRED)
endif()
