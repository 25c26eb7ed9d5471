# What an install holds beside the program and its module, and the Debian package.
#
# Components: `frameprobe` is the program, its FFmpeg module, the shared library,
# the Python module, man pages, completions and documents; `libframeprobe-dev`
# is the headers, the static library and the files build systems find the
# library by. Install rules name one of the two.

set(FRAMEPROBE_PACKAGE_CONTACT "frameprobe maintainers <maintainers@frameprobe.invalid>"
  CACHE STRING "Maintainer named in the Debian package and its changelog")

# Man pages, made from docs/man/*.md by pandoc. Debian installs them compressed.
find_program(FRAMEPROBE_PANDOC pandoc)
find_program(FRAMEPROBE_GZIP gzip)
file(GLOB FRAMEPROBE_MAN_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/man/*.md)
set(FRAMEPROBE_MAN_DIR ${PROJECT_BINARY_DIR}/man)
set(FRAMEPROBE_MAN_PAGES "")
if(FRAMEPROBE_PANDOC AND FRAMEPROBE_GZIP)
  foreach(source ${FRAMEPROBE_MAN_SOURCES})
    get_filename_component(page ${source} NAME_WLE)   # frameprobe.1
    set(troff ${FRAMEPROBE_MAN_DIR}/${page})
    add_custom_command(OUTPUT ${troff} ${troff}.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${FRAMEPROBE_MAN_DIR}
      COMMAND ${FRAMEPROBE_PANDOC} --standalone --to man
              --metadata "footer=frameprobe ${PROJECT_VERSION}" --metadata "header=User Commands"
              --output ${troff} ${source}
      COMMAND ${FRAMEPROBE_GZIP} -9 --no-name --force --keep ${troff}
      DEPENDS ${source}
      COMMENT "Man page ${page}"
      VERBATIM)
    list(APPEND FRAMEPROBE_MAN_PAGES ${troff})
    install(FILES ${troff}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT frameprobe)
  endforeach()
  add_custom_target(man-pages ALL DEPENDS ${FRAMEPROBE_MAN_PAGES})
else()
  message(WARNING "pandoc or gzip not found: no man pages (scripts/install-deps.sh --package installs pandoc)")
endif()

# Shell completions, where each shell looks for them.
install(FILES completions/frameprobe.bash DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
  RENAME frameprobe COMPONENT frameprobe)
install(FILES completions/_frameprobe DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions COMPONENT frameprobe)
install(FILES completions/frameprobe.fish DESTINATION ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d
  COMPONENT frameprobe)

# Documents, and the changelog compressed as Debian's policy wants it.
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/changelog.gz
  COMMAND ${FRAMEPROBE_GZIP} -9 --no-name --stdout ${PROJECT_SOURCE_DIR}/packaging/changelog
          > ${PROJECT_BINARY_DIR}/changelog.gz
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog
  COMMENT "Package changelog")
add_custom_target(package-changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/changelog.gz)
install(FILES ${PROJECT_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT frameprobe)
# The documents keep the source tree's layout, so that the README's links (docs/qc.md) resolve.
file(GLOB FRAMEPROBE_DOCS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/*.md ${PROJECT_SOURCE_DIR}/docs/*.png)
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT frameprobe)
install(FILES ${FRAMEPROBE_DOCS} DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs COMPONENT frameprobe)
# Shared data (profiles and the like) goes to ${CMAKE_INSTALL_DATADIR}/frameprobe,
# where the program looks for it relative to itself.

# The Debian package: `cpack -G DEB` in the build directory.
set(CPACK_PACKAGE_NAME frameprobe)
set(CPACK_PACKAGE_VENDOR frameprobe)
set(CPACK_PACKAGE_CONTACT ${FRAMEPROBE_PACKAGE_CONTACT})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  set(CPACK_GENERATOR DEB)
else()
  set(CPACK_GENERATOR TGZ)
endif()
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_FRAMEPROBE_PACKAGE_NAME frameprobe)
# Each description is its summary line, then the long text. CPack would put the
# project's description before each unless the summary keeps CPack's default.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${CMAKE_PROJECT_NAME} built using CMake")
set(CPACK_DEBIAN_FRAMEPROBE_DESCRIPTION "${PROJECT_DESCRIPTION}
frameprobe measures up to fifteen no-reference quality indicators on the luma
plane of every frame of a video: raw YUV, Y4M and every container FFmpeg's
libraries read, from files or pipes. It writes a table, JSON, JSON Lines or
CSV, finds black, frozen, letterboxed and flickering stretches, gates runs on
QC conditions and writes a self-contained HTML report.")
set(CPACK_DEBIAN_LIBFRAMEPROBE-DEV_PACKAGE_NAME libframeprobe-dev)
set(CPACK_DEBIAN_LIBFRAMEPROBE-DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_LIBFRAMEPROBE-DEV_DESCRIPTION "frameprobe's library: headers and build files
The headers, static library, CMake package and pkg-config file to build
programs that measure frameprobe's indicators through its library.")
set(CPACK_COMPONENT_LIBFRAMEPROBE-DEV_DEPENDS frameprobe)
# One package per component that has files (none would be an empty package); a
# file installed without a component would land in a package of its own.
# The Python module links no libpython, so the computed dependencies miss the interpreter.
if(FRAMEPROBE_PYTHON)
  set(CPACK_DEBIAN_FRAMEPROBE_PACKAGE_DEPENDS
    "python3 (>= ${Python_VERSION_MAJOR}.${Python_VERSION_MINOR}~), python3 (<< ${Python_VERSION_MAJOR}.${Python_VERSION_MINOR}.99), python3-numpy")
endif()
get_cmake_property(CPACK_COMPONENTS_ALL COMPONENTS)
if("Unspecified" IN_LIST CPACK_COMPONENTS_ALL)
  message(FATAL_ERROR "an install() rule names no COMPONENT: give it frameprobe or libframeprobe-dev")
endif()
include(CPack)
