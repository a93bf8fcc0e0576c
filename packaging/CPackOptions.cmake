# Read by cpack: refuses to package a build that must not be shipped.
if(CPACK_SM_SANITIZE)
    # The sanitizer runtimes would become dependencies and slow every probe down.
    message(FATAL_ERROR "This build uses the sanitizers (SM_SANITIZE=ON); package a Release "
        "build without them (scripts/package.sh)")
endif()
if(NOT CPACK_SM_INSTALL_PREFIX STREQUAL "/usr")
    # Only a build for /usr has the multiarch library folder the package's paths need.
    message(FATAL_ERROR "This build is configured for ${CPACK_SM_INSTALL_PREFIX}; package a build "
        "configured with -DCMAKE_INSTALL_PREFIX=/usr (scripts/package.sh)")
endif()
